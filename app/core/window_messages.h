// Messages between the program's windows and its recorder and player. A window is any QObject;
// a message is posted to it as a WindowMessage event carrying (number, wParam, lParam), which is
// safe from any thread and never waits for the window.
#pragma once

#include <QEvent>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

using WindowHandle = QObject*;

constexpr uint32_t WM_USER = 0x0400;

constexpr uint32_t WM_PAGE_LEVELS = WM_USER + 102;   // 0x466
constexpr uint32_t WM_VOX_LEVELS = WM_USER + 128;    // 0x480
constexpr uint32_t WM_PLAY_OPENED = WM_USER + 137;   // 0x489
constexpr uint32_t WM_PLAY_PROGRESS = WM_USER + 138; // 0x48A
constexpr uint32_t WM_PLAY_ENDED = WM_USER + 139;    // 0x48B
constexpr uint32_t WM_PLAY_FILE_INFO = WM_USER + 140;
constexpr uint32_t WM_PLAY_FILE_CLOSED = WM_USER + 141;
constexpr uint32_t WM_REC_OPENED = WM_USER + 142;   // 0x48E
constexpr uint32_t WM_REC_LEVEL = WM_USER + 143;    // 0x48F
constexpr uint32_t WM_REC_BUTTON = WM_USER + 1010;  // 0x7F2
constexpr uint32_t WM_STOP_BUTTON = WM_USER + 1011; // 0x7F3
constexpr uint32_t WM_PLAY_BUTTON = WM_USER + 1012;
constexpr uint32_t WM_SAVE_BUTTON = WM_USER + 1016;
// The recorder tells the window why a recording stopped by itself through a failure (a file that
// cannot be opened or written, a device that stopped delivering); the reason is the message's text.
constexpr uint32_t WM_REC_FAILED = WM_USER + 150;
// wParam of WM_REC_FAILED: the recording itself ended (0), or only a finished part could not be
// moved into the save folder and the recording goes on (kRecFailedPartNotSaved).
constexpr uintptr_t kRecFailedPartNotSaved = 1;
// A take was saved: the text is its path, wParam its length in hundredths of a second.
constexpr uint32_t WM_REC_SAVED = WM_USER + 151;
// Sound was lost by the capture device during the recording (wParam: gaps counted so far).
constexpr uint32_t WM_REC_GAP = WM_USER + 152;
// Finished parts of a recording still being moved into the save folder (wParam: how many); posted
// whenever the count changes, 0 when the last one is done.
constexpr uint32_t WM_REC_SAVING = WM_USER + 153;
// A mixer opened for a window has gone with its device (an unplugged card); wParam: its handle.
constexpr uint32_t WM_MIXER_GONE = WM_USER + 154;

class WindowMessage : public QEvent {
public:
    static QEvent::Type eventType();

    WindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, std::string text = {})
        : QEvent(eventType()), message(message), wParam(wParam), lParam(lParam),
          text(std::move(text))
    {
    }
    ~WindowMessage() override
    {
        if (pending_)
            pending_->store(false, std::memory_order_release);
        if (sharedPending_)
            sharedPending_->store(false, std::memory_order_release);
    }

    const uint32_t message;
    const uintptr_t wParam;
    const intptr_t lParam;
    // A text that travels with the message and is freed with it.
    const std::string text;

private:
    friend bool postWindowMessageOnce(WindowHandle, std::atomic<bool>&, uint32_t, uintptr_t,
                                      intptr_t);
    friend bool postWindowMessageOnce(WindowHandle, const std::shared_ptr<std::atomic<bool>>&,
                                      uint32_t, uintptr_t, intptr_t);
    // Cleared once the window has handled (or dropped) the message.
    std::atomic<bool>* pending_ = nullptr;
    // The same, for a sender that may go away while the message waits: the flag lives as long
    // as the last message that holds it.
    std::shared_ptr<std::atomic<bool>> sharedPending_;
};

// Posts a message to a window; does nothing for a null window.
void postWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam = 0,
                       intptr_t lParam = 0, std::string text = {});

// Posts a message unless the previous one posted with the same flag is still waiting in the
// window's queue: for messages that point at values the sender keeps up to date (the levels),
// so that a window that falls behind reads the newest values once instead of a backlog.
// False when nothing was posted.
bool postWindowMessageOnce(WindowHandle window, std::atomic<bool>& pending, uint32_t message,
                           uintptr_t wParam = 0, intptr_t lParam = 0);
// The same with a flag the message shares, for a sender destroyed before its window (the
// recorder): a message still queued then never writes into the sender's freed memory.
bool postWindowMessageOnce(WindowHandle window, const std::shared_ptr<std::atomic<bool>>& pending,
                           uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
