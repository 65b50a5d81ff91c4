// The page base class, the pages' context and dialog-unit conversion.
#include "setting_page.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QTimer>

#include "message_box.h"
#include "player.h"
#include "product.h"
#include "recorder.h"
#include "settings/settings_store.h"

SettingContext::SettingContext(SettingsStore& store, CRecorder* recorder, const CPlayer* player)
    : store_(store), recorder_(recorder), player_(player)
{
}

void SettingContext::setMeterListenerB(WindowHandle window)
{
    if (recorder_)
        recorder_->setMeterListenerB(window);
}

void SettingContext::setVoxLevel(int level)
{
    if (recorder_)
        recorder_->SetVoxLevel(level);
}

void SettingContext::setVoxHold(int ticks)
{
    if (recorder_)
        recorder_->SetVoxHold(ticks);
}

bool SettingContext::voiceActive() const
{
    return recorder_ && recorder_->voiceActive();
}

bool SettingContext::recorderPaused() const
{
    return recorder_ && recorder_->paused();
}

bool SettingContext::playerFileOpen() const
{
    return player_ && player_->fileOpen();
}

namespace {

// Rounded a × b ÷ c, as the platform's MulDiv.
int mulDiv(int a, int b, int c)
{
    long long product = static_cast<long long>(a) * b;
    long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

} // namespace

DialogUnits::DialogUnits(const QFont& font)
{
    QFontMetrics metrics(font);
    // The average width of the 52 letters, rounded, and the font's line height.
    static const QString letters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = std::max(1, (metrics.horizontalAdvance(letters) + 26) / 52);
    baseY_ = std::max(1, metrics.height());
}

int DialogUnits::x(int units) const
{
    return mulDiv(units, baseX_, 4);
}

int DialogUnits::y(int units) const
{
    return mulDiv(units, baseY_, 8);
}

QRect DialogUnits::rect(int left, int top, int width, int height) const
{
    // Both edges are converted, as the platform maps a rectangle.
    int x0 = x(left);
    int y0 = y(top);
    return QRect(x0, y0, x(left + width) - x0, y(top + height) - y0);
}

QSize DialogUnits::size(int width, int height) const
{
    return QSize(x(width), y(height));
}

CSettingPage::CSettingPage(SettingContext& context, const SettingPageInfo& info, QWidget* parent)
    : QWidget(parent), context_(context), info_(info), units_(font())
{
    resize(units_.size(info.widthDlu, info.heightDlu));
}

void CSettingPage::OnSetActive()
{
    store().writeInt(settings::RecorderSetting.name, info_.recorderSetting);
}

QImage CSettingPage::ownBackground() const
{
    QImage background(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32);
    QColor face = palette().color(QPalette::Button);
    face.setAlpha(255);
    background.fill(face);
    return background;
}

void CSettingPage::SetModified(bool modified)
{
    if (modified_ == modified)
        return;
    modified_ = modified;
    if (onModified_)
        onModified_();
}

void CSettingPage::fitTexts()
{
    for (QWidget* widget : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        auto* label = qobject_cast<QLabel*>(widget);
        bool button = qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget);
        if ((!label && !button) || widget->sizeHint().width() <= widget->width())
            continue;
        QRect rect = widget->geometry();
        if (label && (label->alignment() & Qt::AlignRight)) {
            rect.setLeft(std::max(0, rect.right() + 1 - label->sizeHint().width()));
            widget->setGeometry(rect);
        }
        // Down to three quarters of the page's font, and no further.
        QFont font = widget->font();
        qreal smallest = font.pointSizeF() * 0.75;
        while (widget->sizeHint().width() > widget->width() &&
               font.pointSizeF() - 0.5 >= smallest) {
            font.setPointSizeF(font.pointSizeF() - 0.5);
            widget->setFont(font);
        }
    }
}

void CSettingPage::showError(const QString& text)
{
    // A page is built while its sheet is being shown; a box run then would hold the sheet
    // unmapped, at the size it had, until answered. It waits until the sheet is on the screen.
    if (!isVisible()) {
        QTimer::singleShot(0, this, [this, text] {
            messagebox::tell(this, QMessageBox::Critical, messageCaption(), text);
        });
        return;
    }
    messagebox::tell(this, QMessageBox::Critical, messageCaption(), text);
}

QString messageCaption()
{
    return QStringLiteral("%1 %2").arg(product::kName, product::kVersionText);
}
