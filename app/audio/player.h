// The player: plays a WAV file pulled through the file library, or any other file decoded by the
// WMA reader and pushed into the wave engine. Operations run on the window's thread; the engine's
// callbacks only post messages to the window.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/records.h"
#include "wave_file_api.h"
#include "window_messages.h"

// Sent with WM_PLAY_FILE_INFO.
struct PlayFileInfo {
    uint32_t avgBytesPerSec;
    uint32_t reserved;
    uint64_t duration;
};

class CPlayer {
public:
    explicit CPlayer(WindowHandle mainWindow);
    ~CPlayer();
    CPlayer(const CPlayer&) = delete;
    CPlayer& operator=(const CPlayer&) = delete;

    // False (with lastError()) when the file cannot be read or a library is missing.
    bool Open(const std::string& path);
    void Close();
    // Start position in 100-ns units, as its low and high halves; a and b are passed as 0.
    void Start(uint32_t startLow, uint32_t startHigh, uint32_t a = 0, uint32_t b = 0);
    void Pause();
    void Resume();
    void Stop();
    // In 100-ns units.
    uint64_t Duration() const;
    uint32_t BitRate() const;
    int Channels() const { return format_.nChannels; }
    int SampleRate() const { return static_cast<int>(format_.nSamplesPerSec); }
    int BitsPerSample() const { return format_.wBitsPerSample; }

    bool playing() const { return playing_; }
    bool paused() const { return paused_; }
    bool fileOpen() const { return fileOpen_; }
    bool readerMode() const { return readerMode_; }
    // Cleared by the window when it handles WM_PLAY_ENDED.
    void setPlaying(bool playing) { playing_ = playing; }
    const WAVEFORMATEX& format() const { return format_; }
    uint32_t blockBytes() const { return blockBytes_; }
    const std::string& lastError() const { return error_; }

    // Engine callbacks (playback thread).
    static intptr_t OnOpened(void* data, intptr_t);
    static intptr_t OnLevels(void* data, intptr_t);
    static intptr_t OnClosed(void* data, intptr_t);

private:
    static uint32_t blockBytesOf(const WAVEFORMATEX& format);

    const WindowHandle mainWindow_;
    EngineLibraries engine_;

    WAVEFORMATEX formatBuffer_{};
    WAVEFORMATEX format_{};
    bool readerMode_ = false;
    uint64_t dataSize_ = 0;
    uint32_t blockBytes_ = 0;
    PlayFileInfo fileInfo_{};
    // Written by the window thread; the flags a window reads.
    std::atomic<bool> paused_{false};
    std::atomic<bool> playing_{false};
    std::atomic<bool> fileOpen_{false};
    // Set by the playback thread when it posts WM_PLAY_PROGRESS, cleared by the window when it has
    // handled it: the levels block the message points at is read once, however far behind. The
    // message shares the flag, so one still queued when the player goes away writes nothing freed.
    std::shared_ptr<std::atomic<bool>> progressPending_ =
        std::make_shared<std::atomic<bool>>(false);
    std::string error_;
};
