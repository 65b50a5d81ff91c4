// What the recorder and player tests share: a Qt application, a window that collects the
// messages it is posted, a settings store of its own, and the virtual sound card.
#pragma once

#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "testsupport/testsupport.h"
#include "window_messages.h"

// The application the window messages need; made once for the test program.
inline QCoreApplication& testApplication()
{
    static int argc = 1;
    static char name[] = "dravik-audio-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

struct ReceivedMessage {
    uint32_t message;
    uintptr_t wParam;
    std::string text;
};

// A window that records what it is posted and may answer some messages.
class MessageLog : public QObject {
public:
    std::vector<ReceivedMessage> received;
    std::function<void(const ReceivedMessage&)> onMessage;

    bool event(QEvent* e) override
    {
        if (e->type() != WindowMessage::eventType())
            return QObject::event(e);
        auto* m = static_cast<WindowMessage*>(e);
        received.push_back({m->message, m->wParam, m->text});
        if (onMessage)
            onMessage(received.back());
        return true;
    }

    size_t count(uint32_t message) const
    {
        size_t n = 0;
        for (const auto& m : received)
            n += m.message == message;
        return n;
    }
};

// Dispatches posted messages until done() holds or the time runs out; false on time-out.
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Dispatches whatever is posted for a while.
inline void pumpFor(int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A settings store in a temporary folder, with temporary and save folders made.
struct TestSettings {
    testsupport::TempDir dir;
    std::unique_ptr<SettingsStore> store;
    std::filesystem::path temp;
    std::filesystem::path save;

    TestSettings()
    {
        testApplication();
        store = std::make_unique<SettingsStore>((dir / "Dravik.ini").string(), "1.0",
                                                dir.path().string());
        temp = dir / "Temp";
        save = dir / "Save";
        std::filesystem::create_directories(temp);
        std::filesystem::create_directories(save);
        store->writeString("TempFolder", temp.string());
        store->writeString("SaveFolder", save.string());
    }

    std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) const
    {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        return files;
    }
};

inline void useVirtualCard(const std::string& options)
{
    setenv("DRAVIK_AUDIO", ("virtual:" + options).c_str(), 1);
}
