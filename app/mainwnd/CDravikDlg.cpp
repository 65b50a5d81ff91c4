// The main window: its face and controls, moving, folding, menu and keyboard, and the commands of
// the recording and playback states.
#include "CDravikDlg.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSessionManager>
#include <QTimer>
#include <QWindow>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "BrevonWMA.h"
#include "CSkinButton.h"
#include "CSkinLamp.h"
#include "CSkinMeter.h"
#include "CSkinSlider.h"
#include "CSkinTextDisplay.h"
#include "CSkinTimeDisplay.h"
#include "format_tables.h"
#include "help.h"
#include "message_box.h"
#include "platform/system.h"
#include "setting.h"
#include "settings/folder_repair.h"
#include "skin.h"
#include "skin_common.h"
#include "stream_headers.h"
#include "take_files.h"
#include "window_messages.h"

using mainwnd::WindowState;

namespace {

// Skin strings the window uses.
constexpr int kProductNameString = 1;
constexpr int kVersionString = 2;
constexpr int kDeviceFailedString = 38;
constexpr int kDiscardTakeString = 41;
constexpr int kExitQuestionString = 42;
constexpr int kCopyTitleString = 93;
constexpr int kCopyCannotOpenString = 95;
constexpr int kCopyDiskFullString = 96;
constexpr int kCopyErrorString = 97;
constexpr int kTimePlayingTooltip = 15;
constexpr int kTimeRecordingTooltip = 18;

constexpr int kMeterFullScale = 32768;
constexpr int kClipLampX = 147;

// Texts of the system's own.
constexpr const char* kRefusedRecording = "Please stop recording and save it first.";
constexpr const char* kRefusedTake = "Please save the recorded file first.";
constexpr const char* kRefusedFile = "Please close the file first.";
constexpr const char* kOpenFilter =
    "supported audio files (*.mp3 *.wma *.wav *.flac *.opus *.ogg);;mp3 files (*.mp3);;wma files "
    "(*.wma);;wav files (*.wav);;flac files (*.flac);;opus files (*.opus *.ogg)";

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

// Texts from the skin, with a plain fallback where the skin lacks one.
QString skinText(int id, const char* fallback)
{
    QString s = skinString(id);
    return s.isEmpty() ? QString::fromUtf8(fallback) : s;
}

saveas::TransferTexts transferTexts()
{
    saveas::TransferTexts texts;
    texts.progressTitle = skinText(kCopyTitleString, "Saving the recording");
    texts.cannotOpen = skinText(kCopyCannotOpenString, "The file could not be opened.");
    texts.diskFull = skinText(kCopyDiskFullString, "The disk is full.");
    texts.otherError = skinText(kCopyErrorString, "The file could not be copied.");
    return texts;
}

QString saveFilter(int encoding)
{
    switch (encoding) {
    case 0:
        return QStringLiteral("WMA files (*.wma)");
    case 1:
        return QStringLiteral("MP3 files (*.mp3)");
    case 3:
        return QStringLiteral("FLAC files (*.flac)");
    case 4:
        return QStringLiteral("Opus files (*.opus)");
    default:
        return QStringLiteral("WAV files (*.wav)");
    }
}

// The file-name part of a path: what follows its last separator.
std::string afterLastSeparator(const std::string& path)
{
    size_t at = path.find_last_of("/\\");
    return at == std::string::npos ? path : path.substr(at + 1);
}

void pumpWindowMessages(void*)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

WindowServices withDefaults(WindowServices s)
{
    if (!s.askYesNo)
        s.askYesNo = [](QWidget* parent, const QString& question) {
            return messagebox::askYesNo(parent, CDravikDlg::caption(), question);
        };
    if (!s.tell)
        s.tell = [](QWidget* parent, const QString& message, bool error) -> QWidget* {
            // A notice never holds up the window: it stays open beside it until dismissed.
            QMessageBox* box =
                messagebox::make(error ? QMessageBox::Critical : QMessageBox::Information,
                                 CDravikDlg::caption(), message, QMessageBox::Ok, parent);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::NonModal);
            box->show();
            return box;
        };
    if (!s.openFile)
        s.openFile = [](QWidget* parent, const QString& folder, const QString& filter) {
            return QFileDialog::getOpenFileName(parent, QString(), folder, filter);
        };
    if (!s.saveFile)
        s.saveFile = [](QWidget* parent, const QString& folder, const QString& filter) {
            return QFileDialog::getSaveFileName(parent, QString(), folder, filter, nullptr,
                                                QFileDialog::Options());
        };
    if (!s.confirmOverwrite)
        s.confirmOverwrite = [](QWidget* parent, const QString& path) {
            return messagebox::askYesNo(
                parent, CDravikDlg::caption(),
                QStringLiteral("%1 already exists.\nDo you want to replace it?")
                    .arg(QFileInfo(path).fileName()),
                QMessageBox::Warning);
        };
    if (!s.help)
        s.help = [](QWidget* parent, const QString& topic) { showHelp(topic, parent); };
    if (!s.now)
        s.now = [] { return QDateTime::currentDateTime(); };
    return s;
}

} // namespace

QString CDravikDlg::caption()
{
    return QStringLiteral("%1 %2").arg(skinString(kProductNameString), skinString(kVersionString));
}

CDravikDlg::CDravikDlg(SettingsStore& store, WindowServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), store_(store),
      services_(withDefaults(std::move(services)))
{
    // 1-4: icon and face.
    setWindowIcon(QIcon(QPixmap::fromImage(skinBitmap(QStringLiteral("DVKmain1")))));
    composeBackground();
    // 5: folder repair before any control exists.
    tempFolder_ = repairFolder(store_, settings::TempFolder);
    saveFolder_ = repairFolder(store_, settings::SaveFolder);
    // 6-7.
    setAcceptDrops(true);
    setWindowTitle(caption());
    encoding_ = store_.readInt(settings::Encode.name, 2);
    alwaysOnTop_ = store_.readInt(settings::bAlwaysOnTop.name, 1) != 0;
    // 8.
    createControls();
    windowCursor_ = skinCursor(QStringLiteral("CURSOR1"));
    dragCursor_ = skinCursor(QStringLiteral("CURSOR2"));
    if (windowCursor_)
        setCursor(*windowCursor_);

    // 9-11: the recorder with the creation-time VOX hold, the device opened at once so the
    // meters move, and the player. A device that cannot start leaves the window useful: files
    // can be opened and played, and Settings can choose another device.
    recorder_ = std::make_unique<CRecorder>(this, store_);
    controller_ = std::make_unique<RecordingController>(*recorder_, store_, services_.freeSpace);
    controller_->setWatchedFolder(tempFolder_);
    controller_->holdForWindowCreation();
    player_ = std::make_unique<CPlayer>(this);
    // The WMA reader waits in open and close; the window keeps handling its messages meanwhile.
    WMAReaderSetMessagePump(&pumpWindowMessages, nullptr);
    // Takes an earlier run left behind are looked for before anything records, and offered.
    recoveryBox_ =
        RecoveryBox::offer(this, store_, tempFolder_, saveFolder_,
                           {services_.saveFile, services_.confirmOverwrite, services_.tell,
                            [this](const QString& path) { dropFile(path); },
                            [this](const std::string& path) {
                                if (openFilePath_ == path)
                                    closeFile();
                            },
                            nullptr, transferTexts(), services_.transfer});
    if (!recorder_->StartDevice())
        deviceError_ = text(recorder_->lastError());

    // 12-14.
    buildMenu();
    applyAlwaysOnTop();
    connect(&timer_, &QTimer::timeout, this, &CDravikDlg::onTimer);
    timer_.start(kTimerMs);
    applyRegion();
    placeWindow();
    // 15-17.
    setStatusText(QStringLiteral("Ready"));
    if (!deviceError_.isEmpty()) {
        QString why = skinText(kDeviceFailedString, "The recording device could not be started.");
        QTimer::singleShot(0, this, [this, why] {
            tell(why + QStringLiteral("\n\n") + deviceError_ +
                 QStringLiteral("\n\nFiles can still be opened and played; choose another "
                                "device in Settings."));
        });
        setStatusText(QStringLiteral("No recording device"));
    } else if (store_.readInt(settings::nAutoStart) != 0) {
        postWindowMessage(this, WM_REC_BUTTON);
    }
    refreshFormatCaption();
    reportMissedSchedule();
    connect(&scheduleTimer_, &QTimer::timeout, this, &CDravikDlg::checkScheduledStart);
    scheduleTimer_.start(kScheduleCheckMs);
    // A settings file that cannot be saved to is said once, whichever thread finds it.
    store_.onSaveProblem([window = QPointer<CDravikDlg>(this)](const std::string& problem) {
        QMetaObject::invokeMethod(
            qApp,
            [window, message = QString::fromStdString(problem)] {
                if (window)
                    window->tell(message);
            },
            Qt::QueuedConnection);
    });

    qApp->installEventFilter(this);
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::commitDataRequest, this, &CDravikDlg::onCommitData);
}

CDravikDlg::~CDravikDlg()
{
    store_.onSaveProblem({});
    qApp->removeEventFilter(this);
    shutdown();
}

// ---- Building ---------------------------------------------------------------------------------

void CDravikDlg::composeBackground()
{
    panel_ = skinBitmap(QStringLiteral("DVKpanel1"));
    main_ = skinBitmap(QStringLiteral("DVKmain1"));
    QSize panelSize = skin::logicalSize(panel_);
    QSize mainSize = skin::logicalSize(main_);
    if (mainSize.isEmpty())
        mainSize = QSize(settings::kWindowWidth, settings::kWindowHeight - panelSize.height());
    panelHeight_ = panelSize.height();
    backgroundWidth_ = mainSize.width();
    backgroundHeight_ = mainSize.height() + panelSize.height();

    const qreal ratio = std::max(panel_.devicePixelRatio(), main_.devicePixelRatio());
    background_ = QImage(QSize(backgroundWidth_, backgroundHeight_) * ratio,
                         QImage::Format_ARGB32_Premultiplied);
    background_.setDevicePixelRatio(ratio);
    background_.fill(Qt::black);

    auto titleImage = [](const char* name) {
        QImage image = skinBitmap(QString::fromLatin1(name));
        if (image.isNull())
            return image;
        qreal dpr = image.devicePixelRatio();
        image = image.convertToFormat(QImage::Format_ARGB32);
        image.setDevicePixelRatio(dpr);
        CSkinButton::ReplaceColor(image, 255, 255, 255, 0, 0, 0, 0);
        return image;
    };
    QPainter painter(&background_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!panel_.isNull())
        painter.drawImage(QPointF(0, 0), panel_);
    if (!main_.isNull())
        painter.drawImage(QPointF(0, panelHeight_), main_);
    QImage titleBrevon = titleImage("TitleBrevon");
    QImage titleDV = titleImage("TitleDV");
    if (!titleBrevon.isNull())
        painter.drawImage(QPointF(39, 105), titleBrevon);
    if (!titleDV.isNull())
        painter.drawImage(QPointF(75, 106), titleDV);
    painter.end();
    setFixedSize(backgroundWidth_, backgroundHeight_);
}

CSkinButton* CDravikDlg::makeButton(int id, int x, int y, const char* first, const char* second,
                                    int tooltip, int state)
{
    auto* b = new CSkinButton(this, id);
    const SkinModule& module = skinModule();
    b->SetBackground(background_);
    const QString a = QString::fromLatin1(first);
    // Slot 0 sizes the button; 1-4 the first face, 5-8 the second.
    const bool upper = a == a.toUpper();
    auto name = [upper](const QString& base, const char* look) {
        return base + QString::fromLatin1(upper ? QByteArray(look).toUpper() : QByteArray(look));
    };
    b->LoadImage(0, module, name(a, "-out"));
    b->LoadImage(1, module, name(a, "-out"));
    b->LoadImage(2, module, name(a, "-down"));
    b->LoadImage(3, module, name(a, "-over"));
    b->LoadImage(4, module, name(a, "-out"));
    if (second) {
        const QString s = QString::fromLatin1(second);
        const bool up = s == s.toUpper();
        auto name2 = [up](const QString& base, const char* look) {
            return base + QString::fromLatin1(up ? QByteArray(look).toUpper() : QByteArray(look));
        };
        b->LoadImage(5, module, name2(s, "-out"));
        b->LoadImage(6, module, name2(s, "-down"));
        b->LoadImage(7, module, name2(s, "-over"));
        // The Pause face shows its pressed picture when dimmed.
        b->LoadImage(8, module, name2(s, id == dlgid::Record ? "-down" : "-out"));
    }
    b->LoadCursor(module, QStringLiteral("GUIHAND"));
    b->SetPosition(x, y);
    b->SetTooltip(module, tooltip, true);
    b->SetState(state);
    b->SetHoverTracking(true);
    return b;
}

void CDravikDlg::createControls()
{
    const SkinModule& module = skinModule();
    auto makeMeter = [&](int id, int y, int tooltip) {
        auto* m = new CSkinMeter(this, id);
        m->SetBackground(background_);
        m->SetMaxValue(kMeterFullScale);
        m->LoadImage(module, QStringLiteral("VUMETER"));
        m->SetPosition(20, y);
        m->SetTooltip(module, tooltip, true);
        m->StartTimer(25);
        m->SetValue(0);
        return m;
    };
    meterLeft_ = makeMeter(dlgid::MeterLeft, 20, 5);
    meterRight_ = makeMeter(dlgid::MeterRight, 35, 6);
    // A clip lamp at the end of each meter: lit by a block that held a full-scale sample.
    auto makeLamp = [&](int id, int y, const char* name) {
        auto* lamp = new CSkinLamp(this, id);
        lamp->SetBackground(background_);
        lamp->LoadImage(module, QStringLiteral("CLIPLAMP"));
        lamp->SetPosition(kClipLampX, y);
        lamp->setToolTip(QString::fromLatin1(name) +
                         QStringLiteral(" (lit after a full-scale sample; click to reset)"));
        lamp->setAccessibleName(QString::fromLatin1(name));
        return lamp;
    };
    clipLeft_ = makeLamp(dlgid::ClipLampLeft, 20, "Left channel clipped");
    clipRight_ = makeLamp(dlgid::ClipLampRight, 35, "Right channel clipped");

    statusLine_ = new QWidget(this);
    statusLine_->setGeometry(7, backgroundHeight_ - 15, backgroundWidth_ - 14, 15);
    statusLine_->setAttribute(Qt::WA_TransparentForMouseEvents);
    statusLine_->setProperty("skinRole", static_cast<int>(QAccessible::StaticText));

    time_ = new CSkinTimeDisplay(this, dlgid::TimeDisplay);
    time_->SetBackground(background_);
    time_->SetDigitColor(255, 0, 255, 0);
    time_->LoadDigits(module, QStringLiteral("DISPLAY0"));
    time_->SetPosition(160, 27);
    time_->SetTooltip(module, kTimePlayingTooltip, true);
    time_->SetValue(0);

    format_ = new CSkinTextDisplay(this, dlgid::FormatLabel);
    format_->SetBackground(background_);
    format_->SetRect(20, 52, 220, 24);
    format_->SetTextColor(200, 255, 255, 0);
    format_->SetFontName(QStringLiteral("Arial"));
    format_->SetFontSize(10);

    slider_ = new CSkinSlider(this, dlgid::SeekSlider);
    slider_->SetBackground(background_);
    slider_->SetSkin(module, CSkinSlider::kSeekStyle);
    slider_->SetPosition(13, 78);
    slider_->SetRange(0, 100);
    slider_->SetValue(0, false);

    const int saveState = autoSaveOn() ? 8 : 4;
    record_ = makeButton(dlgid::Record, 8, 125, "RecM", "RecPauseM", 7, 1);
    stop_ = makeButton(dlgid::Stop, 48, 125, "RecStopM", "PlayStopM", 8, 8);
    play_ = makeButton(dlgid::Play, 88, 125, "PlayM", "PlayPauseM", 9, 4);
    save_ =
        makeButton(dlgid::Save, 128, 125, "SaveM", "CUTSAVEM", mainwnd::kSaveTooltip, saveState);
    open_ = makeButton(dlgid::Open, 168, 125, "OpenM", "CloseM", 19, 1);
    menuButton_ = makeButton(dlgid::Menu, 8, 104, "MenuM", nullptr, 13, 1);
    help_ = makeButton(dlgid::Help, 208, 125, "HelpM", nullptr, 60, 1);
    panelButton_ = makeButton(dlgid::Panel, 208, 140, "PanelM", nullptr, 24, 1);
    settings_ = makeButton(dlgid::Settings, 208, 150, "SettingM", nullptr, 77, 1);
    minimise_ = makeButton(dlgid::Minimise, 222, 109, "MinimiseM", nullptr, 3, 1);
    exit_ = makeButton(dlgid::Exit, 236, 109, "ExitM", nullptr, 4, 1);
}

void CDravikDlg::buildMenu()
{
    menu_ = new QMenu(this);
    QMenu* sub = menu_->addMenu(QStringLiteral("Dravik"));
    auto add = [&](int id, const char* label) {
        QAction* action = sub->addAction(QString::fromLatin1(label));
        action->setData(id);
        return action;
    };
    QAction* about = add(menuid::About, "About Dravik ...");
    onTopAction_ = add(menuid::AlwaysOnTop, "Always On Top");
    onTopAction_->setCheckable(true);
    sub->addSeparator();
    QAction* help = add(menuid::Help, "Help ...");
    sub->addSeparator();
    QAction* exitAction = add(menuid::Exit, "Exit Dravik ");
    connect(about, &QAction::triggered, this, &CDravikDlg::onAbout);
    connect(onTopAction_, &QAction::triggered, this, [this] {
        alwaysOnTop_ = !alwaysOnTop_;
        store_.writeInt(settings::bAlwaysOnTop.name, alwaysOnTop_ ? 1 : 0);
        applyAlwaysOnTop();
    });
    connect(help, &QAction::triggered, this, &CDravikDlg::onHelp);
    connect(exitAction, &QAction::triggered, this, &CDravikDlg::exit);
}

void CDravikDlg::applyRegion()
{
    // Only the face shows; folded, only its lower (main) part.
    const int top = panelShown_ ? 0 : panelHeight_;
    setMask(QRegion(0, top, backgroundWidth_, backgroundHeight_ - top));
}

void CDravikDlg::placeWindow()
{
    QRect screen;
    if (QScreen* s = QGuiApplication::primaryScreen())
        screen = s->availableGeometry();
    const int x = store_.readInt(settings::XPos.name, (screen.width() - backgroundWidth_) / 2);
    const int y = store_.readInt(settings::YPos.name, (screen.height() - backgroundHeight_) / 2);
    move(x, y);
}

void CDravikDlg::applyAlwaysOnTop()
{
    alwaysOnTop_ = store_.readInt(settings::bAlwaysOnTop.name, 1) != 0;
    if (onTopAction_)
        onTopAction_->setChecked(alwaysOnTop_);
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == alwaysOnTop_)
        return;
    const bool visible = isVisible();
    const QPoint at = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, alwaysOnTop_);
    if (visible) {
        move(at);
        show();
    }
}

// ---- Looks ------------------------------------------------------------------------------------

void CDravikDlg::setStatusText(const QString& text)
{
    QString shown = text.mid(std::max(text.lastIndexOf('/'), text.lastIndexOf('\\')) + 1);
    if (shown == status_)
        return;
    status_ = shown;
    if (statusLine_)
        statusLine_->setAccessibleName(shown);
    update(0, backgroundHeight_ - 15, backgroundWidth_, 15);
}

void CDravikDlg::refreshFormatCaption()
{
    int encode = store_.readInt(settings::Encode.name, 2);
    if (formats::rowCount(encode) == 0)
        encode = formats::kWAV;
    const QString caption = QString::fromLatin1(formats::encodingName(encode)) + QLatin1Char('|') +
                            text(store_.readString(*formats::textKey(encode)));
    format_->SetText(caption);
}

bool CDravikDlg::autoSaveOn() const
{
    return store_.readInt(settings::nSettingFileCheckButtonSates) != 0;
}

mainwnd::WindowState CDravikDlg::state() const
{
    mainwnd::StateFlags flags;
    flags.recording = recorder_->recording();
    flags.paused = recorder_->paused();
    flags.takeUnsaved = recorder_->IsTakeUnsaved() && !heldTake_.empty();
    flags.fileOpen = player_->fileOpen();
    flags.playing = player_->playing();
    flags.playPaused = player_->paused();
    return mainwnd::stateOf(flags);
}

QString CDravikDlg::playName() const
{
    if (!heldTake_.empty())
        return QStringLiteral("Recorded File");
    return text(afterLastSeparator(openFilePath_));
}

// Applies the look of the state the window is in: the five transport buttons, the Save
// button's tooltip and the status line.
void CDravikDlg::applyLook()
{
    const WindowState now = state();
    const mainwnd::StateLook look = mainwnd::lookOf(now, autoSaveOn());
    record_->SetState(look.record);
    stop_->SetState(look.stop);
    play_->SetState(look.play);
    save_->SetState(look.save);
    open_->SetState(look.open);
    save_->SetTooltip(skinModule(), look.saveTooltip, true);
    setStatusText(text(mainwnd::statusOf(now, playName().toStdString())));
}

QWidget* CDravikDlg::notifyBox(const QString& message, bool error)
{
    return services_.tell(this, message, error);
}

void CDravikDlg::tell(const QString& message, bool error)
{
    notifyBox(message, error);
}

// ---- Painting, moving, folding ----------------------------------------------------------------

void CDravikDlg::paintEvent(QPaintEvent* event)
{
    // The start-up benchmark waits for this line (with "exit", the program then ends).
    static bool firstPaint = true;
    if (firstPaint) {
        firstPaint = false;
        const QByteArray report = qgetenv("DRAVIK_FIRST_PAINT");
        if (!report.isEmpty()) {
            // With the processor time used so far: wall-clock figures mean little on a busy
            // machine.
            std::fprintf(stderr, "dravik: first paint (cpu %.1f ms)\n",
                         1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC);
            if (report == "exit")
                QTimer::singleShot(0, this, [this] {
                    exitConfirmed_ = true;
                    close();
                });
        }
    }
    QPainter painter(this);
    if (isMinimized()) {
        windowIcon().paint(&painter, rect());
        return;
    }
    // The controls repaint 25 times a second over the face: only the part asked for is drawn.
    const QRect area = event->rect();
    const qreal ratio = background_.devicePixelRatio();
    painter.drawImage(
        area, background_,
        QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio));
    const QRect statusLine(7, backgroundHeight_ - 15, backgroundWidth_ - 14, 15);
    if (!area.intersects(statusLine))
        return;
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 255, 255));
    // A long name keeps its start and its end.
    const QString shown =
        painter.fontMetrics().elidedText(status_, Qt::ElideMiddle, statusLine.width());
    painter.drawText(statusLine, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
}

bool CDravikDlg::inDragArea(QPoint p) const
{
    const QSize panel = skin::logicalSize(panel_);
    const QSize main = skin::logicalSize(main_);
    if (!QRect(0, 0, backgroundWidth_, backgroundHeight_).contains(p))
        return false;
    const QRect meters(8, 8, panel.width() - 16, panel.height() - 32);
    const QRect buttons(8, panel.height() + 26, main.width() - 16, main.height() - 42);
    return !meters.contains(p) && !buttons.contains(p);
}

void CDravikDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragStart_ = event->position().toPoint();
    if (meterArea().contains(dragStart_))
        clearClipLamps();
    if (!inDragArea(dragStart_))
        return;
    if (dragCursor_)
        setCursor(*dragCursor_);
    // Where the system does not let a program place its own window, it moves it for us.
    if (QGuiApplication::platformName() == QLatin1String("wayland") && windowHandle() &&
        windowHandle()->startSystemMove())
        return;
    dragging_ = true;
}

void CDravikDlg::mouseMoveEvent(QMouseEvent* event)
{
    setFocus();
    const QPoint at = event->position().toPoint();
    if (dragging_) {
        move(event->globalPosition().toPoint() - dragStart_ + QPoint(0, 1));
        return;
    }
    if (inDragArea(at) && (event->buttons() & Qt::LeftButton) && dragCursor_)
        setCursor(*dragCursor_);
}

void CDravikDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    if (windowCursor_)
        setCursor(*windowCursor_);
    store_.writeInt(settings::XPos.name, pos().x());
    store_.writeInt(settings::YPos.name, pos().y());
}

void CDravikDlg::onPanel()
{
    panelShown_ = !panelShown_;
    applyRegion();
}

void CDravikDlg::onMinimise()
{
    store_.writeInt(settings::XPos.name, pos().x());
    store_.writeInt(settings::YPos.name, pos().y());
    showMinimized();
}

void CDravikDlg::changeEvent(QEvent* event)
{
    // A colour change shows the whole face again; the panel flag stays as it was.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ThemeChange)
        setMask(QRegion(0, 0, backgroundWidth_, backgroundHeight_));
    QWidget::changeEvent(event);
}

void CDravikDlg::onMenu()
{
    applyAlwaysOnTop();
    menu_->actions().first()->menu()->popup(mapToGlobal(QPoint(8, 105)));
}

void CDravikDlg::onHelp()
{
    if (services_.help)
        services_.help(this, QString::fromLatin1(helptopic::kHome));
}

void CDravikDlg::onAbout()
{
    messagebox::tell(this, QMessageBox::Information, skinString(kProductNameString),
                     QStringLiteral("Version : ") + skinString(kVersionString) +
                         QStringLiteral("\n\n") + QString::fromLatin1(kMakerLine));
}

// ---- Keyboard ---------------------------------------------------------------------------------

bool CDravikDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const bool alt = key->modifiers() & Qt::AltModifier;
    if (event->type() == QEvent::ShortcutOverride)
        return alt || key->key() == Qt::Key_F10;
    if (alt && key->key() == Qt::Key_F4) {
        exit();
        return true;
    }
    if (alt && key->key() == Qt::Key_F1) {
        onHelp();
        return true;
    }
    if (alt || key->key() == Qt::Key_F10 || key->key() == Qt::Key_Alt)
        return true;
    // Enter acts on the button the keyboard focus is on (Tab moves it); otherwise, like Esc, it
    // is consumed.
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (auto* focused = qobject_cast<CSkinButton*>(watched); focused && !key->isAutoRepeat())
            focused->Click();
        return true;
    }
    if (key->key() == Qt::Key_Escape)
        return true;
    // A key that a child leaves unaccepted travels up to the window and passes this filter again
    // at every step; Space acts only when it reaches the window, so one press is one command.
    if (key->key() == Qt::Key_Space && !key->isAutoRepeat() && watched == this) {
        if (player_->fileOpen())
            onPlay();
        else if (!recorder_->IsTakeUnsaved())
            onRecord();
    }
    return false;
}

// ---- Messages ---------------------------------------------------------------------------------

bool CDravikDlg::event(QEvent* event)
{
    if (event->type() == WindowMessage::eventType()) {
        auto* m = static_cast<WindowMessage*>(event);
        handleMessage(m->message, m->wParam, m->text);
        return true;
    }
    return QWidget::event(event);
}

void CDravikDlg::handleMessage(uint32_t message, uintptr_t wParam, const std::string& text)
{
    if (shutDown_)
        return;
    // A right-click does nothing on any button. It acted on some and not others; acting on all
    // would let a stray right-click (the desktop's gesture for a menu) end the program or stop
    // a recording, and no button has a second command to give it.
    if (wParam == CSkinButton::kRightClicked && message > WM_USER &&
        button(static_cast<int>(message - WM_USER)))
        return;
    switch (message) {
    case WM_USER + dlgid::Settings:
        onSettings();
        break;
    case WM_USER + dlgid::Exit:
        exit();
        break;
    case WM_USER + dlgid::Menu:
        if (wParam == 0)
            onMenu();
        break;
    case WM_USER + dlgid::Open:
        if (wParam == 0)
            onOpenClose();
        break;
    case WM_USER + dlgid::Minimise:
        onMinimise();
        break;
    case WM_USER + dlgid::Help:
        onHelp();
        break;
    case WM_USER + dlgid::SeekSlider:
        onSeek(static_cast<int>(wParam));
        break;
    case WM_USER + dlgid::Panel:
        onPanel();
        break;
    case WM_PLAY_OPENED:
        seekHeld_ = false;
        break;
    case WM_PLAY_PROGRESS:
        onPlayProgress(reinterpret_cast<const LevelBlock*>(wParam));
        break;
    case WM_PLAY_ENDED:
        onPlayEnded();
        break;
    case WM_REC_LEVEL:
        onLevels(reinterpret_cast<const LevelBlock*>(wParam));
        break;
    case WM_REC_BUTTON:
        if (wParam == 0)
            onRecord();
        break;
    case WM_STOP_BUTTON:
        onStop();
        break;
    case WM_PLAY_BUTTON:
        if (wParam == 0)
            onPlay();
        break;
    case WM_SAVE_BUTTON:
        if (wParam == 0)
            onSave();
        break;
    case WM_REC_FAILED:
        onRecordFailed(text, wParam == kRecFailedPartNotSaved);
        break;
    case WM_REC_SAVED:
        onSaved(text, wParam);
        break;
    case WM_REC_SAVING:
        // Parts of a stopped recording still on their way to the save folder.
        // The count is read when the message is handled: a part reported saved meanwhile has
        // already put its name on the status line.
        if (wParam > 0 && !recorder_->recording() && controller_->partsBeingSaved() > 0)
            setStatusText(QString::fromStdString(controller_->savingText()));
        break;
    case WM_REC_GAP:
        setStatusText(
            QStringLiteral("Sound was lost by the input device (%1 gaps in the take)").arg(wParam));
        break;
    default:
        break;
    }
}

void CDravikDlg::onLevels(const LevelBlock* levels)
{
    if (!levels)
        return;
    // A minimised window shows nothing: its meters and time wait for the levels after it is
    // shown again (one every 40 ms), rather than repainting what nobody sees.
    if (!player_->fileOpen() && !isMinimized()) {
        meterLeft_->SetValue(static_cast<int>(levels->left));
        meterRight_->SetValue(static_cast<int>(levels->right));
        clipLeft_->SetLit(recorder_->inputClipped(0));
        clipRight_->SetLit(recorder_->inputClipped(1));
        if (recorder_->recording())
            time_->SetValue(recorder_->FileHundredths());
    }
    controller_->onLevel();
}

QRect CDravikDlg::meterArea()
{
    return QRect(20, 20, kClipLampX + 8 - 20, 27);
}

void CDravikDlg::clearClipLamps()
{
    recorder_->clearInputClipped();
    clipLeft_->SetLit(false);
    clipRight_->SetLit(false);
}

void CDravikDlg::onPlayProgress(const LevelBlock* levels)
{
    if (!levels)
        return;
    meterLeft_->SetValue(static_cast<int>(levels->left));
    meterRight_->SetValue(static_cast<int>(levels->right));
    if (!seekHeld_ && player_->playing()) {
        time_->SetValue(static_cast<int64_t>(levels->position / 100000));
        slider_->SetValue(static_cast<int64_t>(levels->position), false);
    }
}

void CDravikDlg::onRecordFailed(const std::string& reason, bool partNotSaved)
{
    QString why = text(reason);
    if (!why.isEmpty())
        why[0] = why[0].toUpper();
    // A part that could not be moved leaves the recording running: saying it stopped would be
    // wrong. Otherwise the recorder posts its stop after this; the Stop sequence ends it.
    if (partNotSaved)
        tell(recorder_->recording() ? QStringLiteral("%1.\nThe recording goes on.").arg(why)
                                    : QStringLiteral("%1.").arg(why),
             true);
    else
        tell(QStringLiteral("The recording stopped: %1.").arg(why), true);
}

void CDravikDlg::onSaved(const std::string& path, uintptr_t hundredths)
{
    Q_UNUSED(hundredths);
    if (!autoSaveOn() && recorder_->recording()) {
        // A WAV take that reached its size limit goes on in a new file; say where the first
        // part went.
        tell(QStringLiteral("The recording reached the largest size a WAV file can hold. The "
                            "part so far was kept as\n%1\nand recording goes on in a new file.")
                 .arg(text(path)));
    }
    const QString name = text(afterLastSeparator(path));
    setStatusText(recorder_->recording() ? QStringLiteral("Recording... saved ") + name
                                         : QStringLiteral("Saved ") + name);
}

// ---- Record, pause, stop ----------------------------------------------------------------------

bool CDravikDlg::ensureDevice()
{
    if (recorder_->deviceStarted())
        return true;
    if (recorder_->StartDevice()) {
        deviceError_.clear();
        return true;
    }
    deviceError_ = text(recorder_->lastError());
    return false;
}

bool CDravikDlg::reopenStalledDevice()
{
    if (recorder_->recording())
        return true;
    if (recorder_->deviceStarted() && !controller_->checkDevice())
        recorder_->StopDevice();
    return ensureDevice();
}

void CDravikDlg::onRecord()
{
    if (recorder_->IsTakeUnsaved() || player_->fileOpen())
        return; // the button is disabled in these states; a queued click changes nothing
    // A device that stopped delivering while nothing was recorded (unplugged, say) is opened
    // again before a recording starts on it.
    if (!reopenStalledDevice()) {
        tell(QStringLiteral("Dravik cannot record: the recording device could not be "
                            "started.\n\n%1\n\nChoose another device in Settings.")
                 .arg(deviceError_));
        return;
    }
    const RecordingController::RecordResult result = controller_->record();
    switch (result.outcome) {
    case RecordingController::RecordOutcome::Started:
        heldTake_.clear();
        clearClipLamps();
        time_->ChangeTooltipText(skinModule(), kTimeRecordingTooltip);
        time_->SetValue(0);
        platform::setProcessPriority(platform::ProcessPriority::Realtime);
        break;
    case RecordingController::RecordOutcome::Paused:
    case RecordingController::RecordOutcome::Resumed:
        break;
    case RecordingController::RecordOutcome::LowDisk:
        lowDisk(result.message);
        return;
    case RecordingController::RecordOutcome::Failed:
        applyLook();
        // The controller's message already says that the recording could not start.
        tell(text(result.message), true);
        return;
    }
    applyLook();
}

void CDravikDlg::onStop()
{
    if (player_->playing()) {
        player_->Stop();
        // The player's end message brings the buttons back.
        setStatusText(heldTake_.empty() ? text(openFilePath_) : QStringLiteral("Recorded"));
        return;
    }
    if (recorder_->recording()) {
        const bool automatic = recorder_->stoppedAutomatically();
        stopRecording();
        if (automatic)
            exitAfterAutoStop();
        return;
    }
    // Nothing runs (a second stop queued after an automatic one, or the disk watch while idle):
    // a held take stays held.
    applyLook();
}

void CDravikDlg::stopRecording()
{
    const RecordingController::StopResult result = controller_->stop();
    platform::setProcessPriority(platform::ProcessPriority::High);
    switch (result.outcome) {
    case RecordingController::StopOutcome::TakeHeld:
        if (player_->Open(result.takePath)) {
            heldTake_ = result.takePath;
            playPosition_ = 0;
            time_->SetValue(0);
            slider_->SetRange(0, static_cast<int64_t>(player_->Duration()));
            slider_->SetValue(0, false);
            applyLook();
            return;
        }
        controller_->releaseTake();
        tell(QStringLiteral("The recording cannot be played back: %1\nIt was kept as\n%2")
                 .arg(text(player_->lastError()), text(result.takePath)),
             true);
        break;
    case RecordingController::StopOutcome::AutoSaved:
    case RecordingController::StopOutcome::Discarded:
    case RecordingController::StopOutcome::NotRecording:
        break;
    }
    backToIdle();
}

void CDravikDlg::backToIdle()
{
    heldTake_.clear();
    time_->SetValue(0);
    applyLook();
}

void CDravikDlg::lowDisk(const std::string& message)
{
    // Whatever runs stops first; the message follows, never two at a time. It says a recording
    // stopped only when one did.
    const bool wasRecording = recorder_->recording();
    onStop();
    if (diskBox_)
        return;
    QString shown = text(!wasRecording     ? RecordingController::kLowDiskNotStartedMessage
                         : message.empty() ? RecordingController::kLowDiskMessage
                                           : message);
    diskBox_ = notifyBox(shown, false);
}

void CDravikDlg::onTimer()
{
    const RecordingController::DiskCheck check = controller_->checkDiskSpace();
    if (!check.ok) {
        lowDisk(check.message);
        return;
    }
    // A capture device that stopped delivering while nothing records is opened again, so the
    // meters move; one that cannot be opened is named on the status line.
    if (recorder_->deviceStarted() && !reopenStalledDevice())
        setStatusText(QStringLiteral("The recording device stopped: ") + deviceError_);
    // A reading the system cannot give does not stop a recording; the user is told once.
    if (!check.known) {
        if (!freeSpaceUnknownShown_)
            setStatusText(QStringLiteral("Free disk space cannot be read"));
        freeSpaceUnknownShown_ = true;
    } else {
        freeSpaceUnknownShown_ = false;
    }
}

// ---- Play, seek -------------------------------------------------------------------------------

void CDravikDlg::onPlay()
{
    if (!player_->fileOpen())
        return;
    if (!player_->playing()) {
        player_->Start(static_cast<uint32_t>(playPosition_),
                       static_cast<uint32_t>(playPosition_ >> 32));
        time_->ChangeTooltipText(skinModule(), kTimePlayingTooltip);
    } else if (player_->paused()) {
        player_->Resume();
    } else {
        player_->Pause();
    }
    applyLook();
}

void CDravikDlg::onSeek(int code)
{
    if (!player_->fileOpen())
        return;
    switch (code) {
    case CSkinSlider::kMoved:
        time_->SetValue(slider_->GetValue() / 100000);
        break;
    case CSkinSlider::kThumbTaken:
        seekHeld_ = true;
        break;
    case CSkinSlider::kThumbReleased:
        // The end message of this restart is ignored until the device is open again.
        seekHeld_ = true;
        if (player_->playing())
            player_->Stop();
        playPosition_ = static_cast<uint64_t>(std::max<int64_t>(0, slider_->GetValue()));
        player_->Start(static_cast<uint32_t>(playPosition_),
                       static_cast<uint32_t>(playPosition_ >> 32));
        time_->ChangeTooltipText(skinModule(), kTimePlayingTooltip);
        {
            const QString kept = status_;
            applyLook();
            setStatusText(kept);
        }
        break;
    default:
        break;
    }
}

void CDravikDlg::onPlayEnded()
{
    if (seekHeld_)
        return;
    player_->setPlaying(false);
    playPosition_ = 0;
    slider_->SetValue(0, false);
    time_->SetValue(0);
    applyLook();
}

// ---- Open, close, drop ------------------------------------------------------------------------

void CDravikDlg::dropFile(const QString& path)
{
    // Ignored while recording or while a take waits to be saved.
    if (recorder_->recording() || recorder_->IsTakeUnsaved())
        return;
    openFile(path);
    if (player_->fileOpen() && !player_->playing())
        onPlay();
    else
        seekHeld_ = false;
}

void CDravikDlg::openFile(const QString& path)
{
    std::string chosen = path.toStdString();
    if (!takefiles::playableEncoding(chosen)) {
        tell(QStringLiteral("%1 cannot be opened: only WAV, MP3, WMA, FLAC and Opus files can be "
                            "played.")
                 .arg(QFileInfo(path).fileName()));
        return;
    }
    if (player_->fileOpen()) {
        if (player_->playing()) {
            // The end message of the playback being replaced is ignored until the next
            // playback opens its device, as after a seek.
            seekHeld_ = true;
            player_->Stop();
            player_->setPlaying(false);
        }
        player_->Close();
    }
    openFilePath_ = chosen;
    // Opening the file (below) and playing it at once.
    if (!player_->Open(chosen)) {
        seekHeld_ = false;
        tell(QStringLiteral("%1 cannot be opened: %2")
                 .arg(QFileInfo(path).fileName(), text(player_->lastError())));
        openFilePath_.clear();
        refreshFormatCaption();
        applyLook();
        return;
    }
    const QString channels =
        player_->Channels() == 2 ? QStringLiteral("stereo") : QStringLiteral("mono");
    encoding_ = *takefiles::playableEncoding(chosen);
    QString caption;
    if (encoding_ == formats::kWAV || encoding_ == formats::kFLAC) {
        // The player decodes FLAC to 16 bits; the file's own sample size is in its header.
        int bits = player_->BitsPerSample();
        if (encoding_ == formats::kFLAC)
            if (auto info = headers::readFlacStreamInfo(chosen))
                bits = info->bitsPerSample;
        caption = QStringLiteral("%1|%2 Hz, %3-bit, %4")
                      .arg(QString::fromLatin1(formats::encodingName(encoding_)))
                      .arg(player_->SampleRate())
                      .arg(bits)
                      .arg(channels);
    } else {
        QString name = QString::fromLatin1(formats::encodingName(encoding_));
        if (encoding_ == formats::kOpus && !headers::fileIsOggOpus(chosen))
            name = QStringLiteral("Ogg");
        caption =
            QStringLiteral("%1|%2 kbps, %3").arg(name).arg(player_->BitRate() / 1000).arg(channels);
    }
    format_->SetText(caption);
    playPosition_ = 0;
    time_->SetValue(0);
    slider_->SetRange(0, static_cast<int64_t>(player_->Duration()));
    slider_->SetValue(0, false);
    heldTake_.clear();
    applyLook();
}

void CDravikDlg::onOpenClose()
{
    if (recorder_->recording())
        return;
    if (player_->fileOpen()) {
        if (player_->playing())
            return; // the button is disabled while playing
        closeFile();
        return;
    }
    QString folder = text(store_.readString(settings::LastOpenSavedFolder.name, saveFolder_));
    QString chosen = services_.openFile(this, folder, QString::fromLatin1(kOpenFilter));
    if (chosen.isEmpty() || !QFileInfo::exists(chosen))
        return;
    std::string path = chosen.toStdString();
    if (!takefiles::playableEncoding(path)) {
        tell(QStringLiteral("%1 cannot be opened: only WAV, MP3, WMA, FLAC and Opus files can be "
                            "played.")
                 .arg(QFileInfo(chosen).fileName()));
        return;
    }
    openFile(chosen);
    if (player_->fileOpen())
        store_.writeString(settings::LastOpenSavedFolder.name,
                           QFileInfo(chosen).absolutePath().toStdString());
}

void CDravikDlg::closeFile()
{
    if (!heldTake_.empty()) {
        if (!services_.askYesNo(this, skinText(kDiscardTakeString,
                                               "The recording has not been saved. Discard it?")))
            return;
        player_->Close();
        std::error_code code;
        std::filesystem::remove(heldTake_, code);
        controller_->releaseTake();
    } else {
        player_->Close();
    }
    openFilePath_.clear();
    refreshFormatCaption();
    encoding_ = store_.readInt(settings::Encode.name, 2);
    restartDeviceIfSettingsChanged();
    backToIdle();
}

void CDravikDlg::restartDeviceIfSettingsChanged()
{
    if (store_.readInt(settings::nSettingChanged) == 0)
        return;
    recorder_->StopDevice();
    ensureDevice();
}

void CDravikDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && !event->mimeData()->urls().isEmpty() &&
        event->mimeData()->urls().first().isLocalFile())
        event->acceptProposedAction();
}

void CDravikDlg::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    dropFile(urls.first().toLocalFile());
}

// ---- Save, Cut and Save -----------------------------------------------------------------------

void CDravikDlg::onSave()
{
    if (recorder_->recording()) {
        controller_->cutAndSave();
        return;
    }
    if (!heldTake_.empty() && recorder_->IsTakeUnsaved() && !player_->playing())
        saveAs();
}

void CDravikDlg::saveAs()
{
    const QString take = text(heldTake_);
    QString folder = text(store_.readString(settings::LastOpenSavedFolder.name, saveFolder_));
    QString chosen = services_.saveFile(this, folder, saveFilter(encoding_));
    if (chosen.isEmpty())
        return;
    // A name typed without the take's extension gets it; the dialog did not see that name, so
    // an existing file under it is asked about here.
    const QString destination = saveas::savePathFor(chosen, take);
    if (destination != chosen && QFileInfo::exists(destination) &&
        QFileInfo(destination).canonicalFilePath() != QFileInfo(take).canonicalFilePath() &&
        !services_.confirmOverwrite(this, destination))
        return;

    const saveas::TransferTexts texts = transferTexts();
    saveas::TransferOptions options = services_.transfer;
    if (options.progressPosition.isNull())
        options.progressPosition = mapToGlobal(QPoint(8, 29));

    setEnabled(false);
    const saveas::TransferResult result = saveas::saveTake(take, destination, texts, this, options);
    setEnabled(true);
    raise();
    activateWindow();
    if (!result.saved()) {
        // The take stays held, and an old file under that name is as it was.
        if (result.outcome == saveas::Outcome::Failed)
            tell(result.reason.isEmpty() ? texts.otherError : result.reason);
        applyLook();
        return;
    }
    player_->Close();
    controller_->releaseTake();
    openFilePath_ = result.destination.toStdString();
    store_.writeString(settings::LastOpenSavedFolder.name,
                       QFileInfo(result.destination).absolutePath().toStdString());
    refreshFormatCaption();
    encoding_ = store_.readInt(settings::Encode.name, 2);
    restartDeviceIfSettingsChanged();
    openFilePath_.clear();
    backToIdle();
    setStatusText(QStringLiteral("Saved ") + QFileInfo(result.destination).fileName());
}

// ---- Settings ---------------------------------------------------------------------------------

void CDravikDlg::onSettings()
{
    if (recorder_->recording()) {
        tell(QString::fromLatin1(kRefusedRecording));
        return;
    }
    if (recorder_->IsTakeUnsaved() || !heldTake_.empty()) {
        tell(QString::fromLatin1(kRefusedTake));
        return;
    }
    if (player_->fileOpen()) {
        tell(QString::fromLatin1(kRefusedFile));
        return;
    }
    if (services_.settings) {
        services_.settings(this, *recorder_);
    } else {
        CSetting sheet(this, recorder_.get(), player_.get(), store_);
        sheet.setSaveButtonHandler([this](int buttonState) { save_->SetState(buttonState); });
        sheet.setHelpHandler([this](const std::string& topic) {
            services_.help(this, QString::fromStdString(topic));
        });
        sheet.exec();
    }
    encoding_ = store_.readInt(settings::Encode.name, 2);
    refreshFormatCaption();
    // Settings may have chosen a device that works where the old one did not.
    if (!recorder_->deviceStarted() && ensureDevice())
        setStatusText(QStringLiteral("Ready"));
    applyLook();
}

// ---- Exit -------------------------------------------------------------------------------------

bool CDravikDlg::confirmExit()
{
    const QString question =
        skinText(kExitQuestionString, "The recording has not been saved. Exit anyway?");
    if (recorder_->recording()) {
        if (!services_.askYesNo(this, question))
            return false;
        onStop();
    } else if (recorder_->IsTakeUnsaved() && !heldTake_.empty()) {
        if (!services_.askYesNo(this, question))
            return false;
    } else if (player_->playing()) {
        onStop();
    }
    timer_.stop();
    return true;
}

void CDravikDlg::exit()
{
    if (exitConfirmed_ || !confirmExit())
        return;
    exitConfirmed_ = true;
    close();
}

void CDravikDlg::endWithoutAsking()
{
    exitConfirmed_ = true;
    // A modal dialog runs its own loop: it is cancelled first (a copy in progress stops and keeps
    // the take), and the window closes once it has gone.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QTimer::singleShot(50, this, &CDravikDlg::endWithoutAsking);
        return;
    }
    close();
}

void CDravikDlg::closeEvent(QCloseEvent* event)
{
    // A close from the window manager or the task bar asks like the Exit button.
    if (!exitConfirmed_) {
        if (!confirmExit()) {
            event->ignore();
            return;
        }
        exitConfirmed_ = true;
    }
    shutdown();
    event->accept();
}

void CDravikDlg::onCommitData(QSessionManager& manager)
{
    if (exitConfirmed_)
        return;
    if (!manager.allowsInteraction() || !confirmExit()) {
        manager.cancel();
        return;
    }
    manager.release();
    exitConfirmed_ = true;
    close();
}

void CDravikDlg::waitForSavedParts()
{
    while (controller_->partsBeingSaved() > 0) {
        setStatusText(text(controller_->savingText()));
        repaint();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

void CDravikDlg::shutdown()
{
    if (shutDown_)
        return;
    timer_.stop();
    scheduleTimer_.stop();
    if (recorder_ && recorder_->recording())
        controller_->stop();
    if (controller_)
        waitForSavedParts();
    shutDown_ = true;
    if (player_) {
        if (player_->playing())
            player_->Stop();
        player_->Close();
    }
    if (recorder_)
        recorder_->StopDevice();
    WMAReaderSetMessagePump(nullptr, nullptr);
    platform::setProcessPriority(platform::ProcessPriority::High);
}

CSkinButton* CDravikDlg::button(int id) const
{
    for (CSkinButton* b : {record_, stop_, play_, save_, open_, menuButton_, help_, panelButton_,
                           settings_, minimise_, exit_})
        if (b && b->id() == id)
            return b;
    return nullptr;
}
