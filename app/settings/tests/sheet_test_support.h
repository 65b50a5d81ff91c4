// What the settings sheet tests share: a widget application, a settings store of their own, a
// context that records what the pages hand the recorder and the main window, and a way to answer
// the modal dialogs (message boxes, folder dialog) that a click opens.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTimer>
#include <QtTest/QTest>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "setting.h"
#include "settings/settings_store.h"
#include "testsupport/testsupport.h"

inline QApplication& widgetApplication()
{
    static int argc = 1;
    static char name[] = "dravik-settings-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// A settings store in a temporary folder.
struct SheetStore {
    testsupport::TempDir dir;
    std::unique_ptr<SettingsStore> store;

    SheetStore()
    {
        widgetApplication();
        store = std::make_unique<SettingsStore>((dir / "Dravik.ini").string(), "1.0",
                                                dir.path().string());
    }

    // Every value of the version section as the file holds it.
    std::map<std::string, std::string> file() const
    {
        std::map<std::string, std::string> values;
        QSettings ini(QString::fromStdString(store->filePath()), QSettings::IniFormat);
        ini.beginGroup(QString::fromStdString(store->section()));
        for (const QString& key : ini.childKeys())
            values[key.toStdString()] = ini.value(key).toString().toStdString();
        return values;
    }
    std::string fileValue(const std::string& name) const
    {
        auto values = file();
        auto it = values.find(name);
        return it == values.end() ? "<missing>" : it->second;
    }
    int readInt(const char* name) const { return store->readInt(name, -12345); }
    std::string readString(const char* name) const { return store->readString(name, "<missing>"); }
};

// Records what the pages hand the recorder and the main window.
class WatchedContext : public SettingContext {
public:
    WatchedContext(SettingsStore& store, CRecorder* recorder = nullptr)
        : SettingContext(store, recorder, nullptr)
    {
        setSaveButton = [this](int state) { saveButtonStates.push_back(state); };
        showHelp = [this](const std::string& topic) { helpTopics.push_back(topic); };
    }

    void setMeterListenerB(WindowHandle window) override
    {
        listener = window;
        listenerChanges.push_back(window);
        SettingContext::setMeterListenerB(window);
    }
    void setVoxLevel(int level) override
    {
        levels.push_back(level);
        SettingContext::setVoxLevel(level);
    }
    void setVoxHold(int ticks) override
    {
        holds.push_back(ticks);
        SettingContext::setVoxHold(ticks);
    }
    bool voiceActive() const override { return recorder() ? SettingContext::voiceActive() : voice; }

    WindowHandle listener = nullptr;
    std::vector<WindowHandle> listenerChanges;
    std::vector<int> levels;
    std::vector<int> holds;
    std::vector<int> saveButtonStates;
    std::vector<std::string> helpTopics;
    bool voice = false;
};

// The page list entry of a caption in the program's list.
inline const SettingPageInfo& pageInfo(const char* caption)
{
    for (const SettingPageInfo& info : settingPages()) {
        if (std::string(info.caption) == caption)
            return info;
    }
    throw std::runtime_error(std::string("no page ") + caption);
}

// One page of the program's list alone in a sheet of its own; open() shows the sheet and
// takes the page, as the page class given.
template <class Page = CSettingPage> struct OnePageSheet {
    SheetStore store;
    WatchedContext context{*store.store};
    const SettingPageInfo pages[1];
    std::unique_ptr<CSetting> sheet;
    Page* page = nullptr;

    explicit OnePageSheet(const char* caption) : pages{pageInfo(caption)} {}
    void open()
    {
        sheet = std::make_unique<CSetting>(nullptr, context, pages);
        sheet->show();
        QCoreApplication::processEvents();
        page = static_cast<Page*>(sheet->page(0));
    }
    void ok() { sheet->okButton()->click(); }
};

// Runs answer on the next modal dialog that opens over the given one (or over nothing).
inline void answerNextModal(std::function<void(QWidget*)> answer, QWidget* over = nullptr)
{
    auto* timer = new QTimer;
    auto started = std::chrono::steady_clock::now();
    QObject::connect(timer, &QTimer::timeout, [timer, answer, over, started] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != over) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        } else if (std::chrono::steady_clock::now() - started > std::chrono::seconds(10)) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(20);
}

// Clicks a check box or radio button on its box, where a click always lands on the button.
inline void clickButton(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

// Dispatches whatever is posted for a while.
inline void pumpFor(int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}
