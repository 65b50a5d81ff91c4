// The player.
#include "player.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "BrevonWMA.h"
#include "platform/wavedev.h"

namespace {

// The engine's callbacks are plain functions; they reach the one player through this pointer.
std::atomic<CPlayer*> g_player{nullptr};

// A FIFO, a device or a folder named like a sound file would hang or mislead every reader: only
// regular files are played. Empty when the path may be read, else why not.
std::string refusedKind(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return "cannot read " + path + ": " + std::strerror(errno);
    if (S_ISREG(info.st_mode))
        return {};
    const char* kind = S_ISDIR(info.st_mode)                            ? "a folder"
                       : S_ISFIFO(info.st_mode)                         ? "a FIFO"
                       : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                       : S_ISSOCK(info.st_mode)                         ? "a socket"
                                                                        : "not a regular file";
    return "cannot play " + path + ": it is " + std::string(kind) + ", not a sound file";
}

std::string describe(const WAVEFORMATEX& format)
{
    const bool floating = format.wFormatTag == 3;
    return std::to_string(format.nChannels) + " channel(s), " +
           std::to_string(format.wBitsPerSample) + "-bit" + (floating ? " float" : "") + ", " +
           std::to_string(format.nSamplesPerSec) + " Hz";
}

} // namespace

CPlayer::CPlayer(WindowHandle mainWindow) : mainWindow_(mainWindow)
{
    g_player = this;
    WMAReaderCreate();
    if (!engine_.bind()) {
        error_ = engine_.error;
        return;
    }
    // Decoded samples go from the reader straight into the engine.
    WMAReaderOnSample(
        reinterpret_cast<WMASampleCallback>(engine_.wave.WaveOutOnSampleCallBackProc));
    engine_.wave.WaveOutOpenCallBack(&CPlayer::OnOpened);
    engine_.wave.WaveOutDoneCallBack(&CPlayer::OnLevels);
    engine_.wave.WaveOutCloseCallBack(&CPlayer::OnClosed);
    engine_.wave.WaveOutPlayStartCallBack(
        reinterpret_cast<EngineCallback>(engine_.file.WaveOutPlayStartCallBackProc));
}

CPlayer::~CPlayer()
{
    if (playing_)
        Stop();
    if (fileOpen_)
        Close();
    WMAReaderDelete();
    g_player = nullptr;
}

uint32_t CPlayer::blockBytesOf(const WAVEFORMATEX& format)
{
    return format.nBlockAlign * (format.nSamplesPerSec / 25);
}

bool CPlayer::Open(const std::string& path)
{
    if (fileOpen_)
        Close();
    std::string tail = path.size() >= 3 ? path.substr(path.size() - 3) : path;
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    playing_ = false;
    paused_ = false;
    fileOpen_ = false;
    if (!engine_.bound)
        return false;
    if (std::string refused = refusedKind(path); !refused.empty()) {
        error_ = refused;
        return false;
    }

    // A WAV file whose samples the output device does not take as they are (floating point,
    // more than two channels) is decoded by the reader, which hands on 16-bit PCM in at most two.
    std::string wavFormat;
    if (tail == "wav") {
        readerMode_ = false;
        engine_.wave.WMAReaderGetSampleCallBack(nullptr);
        if (!engine_.file.ReadOpenWaveFile(path.c_str(), &formatBuffer_)) {
            error_ = "cannot read " + path + ": not a WAV file that can be played";
            return false;
        }
        if (platform::checkWaveFormat(&formatBuffer_) != 0) {
            wavFormat = describe(formatBuffer_);
            engine_.file.ReadCloseFile();
            tail.clear();
        }
    }
    if (tail == "wav") {
        engine_.wave.WaveOutFillDataCallBack(
            reinterpret_cast<EngineCallback>(engine_.file.FillWaveDataCallBackProc));
        dataSize_ = engine_.file.GetDataSize();
        blockBytes_ = blockBytesOf(formatBuffer_);
        fileOpen_ = true;
        format_ = formatBuffer_;
        fileInfo_.duration = Duration();
        fileInfo_.avgBytesPerSec = static_cast<uint32_t>(engine_.file.GetAvgBytesPerSec());
        fileInfo_.reserved = 0;
        postWindowMessage(mainWindow_, WM_PLAY_FILE_INFO, reinterpret_cast<uintptr_t>(&fileInfo_));
        return true;
    }

    readerMode_ = true;
    // The reader's clock procedure takes (time*, unused 32-bit), which the engine calls as an
    // EngineCallback with (time*, 0).
    engine_.wave.WMAReaderGetSampleCallBack(
        reinterpret_cast<EngineCallback>(reinterpret_cast<void (*)()>(&WMAReaderGetSampleProc)));
    // A file the reader cannot open, or one without sound, is refused.
    if (WMAReaderOpen(path.c_str()) != 0 || WMAReaderGetWfx(&formatBuffer_) != 0 ||
        formatBuffer_.nAvgBytesPerSec == 0 || platform::checkWaveFormat(&formatBuffer_) != 0) {
        error_ = wavFormat.empty() ? "cannot play " + path + ": no sound that can be decoded"
                                   : "cannot play " + path + ": its sound (" + wavFormat +
                                         ") cannot be converted for the output device";
        WMAReaderClose();
        return false;
    }
    format_ = formatBuffer_;
    blockBytes_ = blockBytesOf(formatBuffer_);
    fileOpen_ = true;
    return true;
}

void CPlayer::Close()
{
    // Closing while playing stops first, so no source disappears under the engine.
    if (playing_)
        Stop();
    fileOpen_ = false;
    if (readerMode_) {
        WMAReaderClose();
    } else if (engine_.bound) {
        engine_.file.ReadCloseFile();
        postWindowMessage(mainWindow_, WM_PLAY_FILE_CLOSED);
    }
}

void CPlayer::Start(uint32_t startLow, uint32_t startHigh, uint32_t a, uint32_t b)
{
    if (!engine_.bound || !fileOpen_)
        return;
    playing_ = true;
    paused_ = false;
    if (readerMode_) {
        uint64_t duration = WMAReaderm_cnsFileDuration();
        engine_.wave.PlayStart3(startLow, startHigh, a, b, &formatBuffer_,
                                static_cast<uint32_t>(duration),
                                static_cast<uint32_t>(duration >> 32));
        uint64_t start = (static_cast<uint64_t>(startHigh) << 32) | startLow;
        WMAReaderStart(start, 0);
    } else {
        engine_.wave.PlayStart(startLow, startHigh, &formatBuffer_, blockBytes_);
    }
}

void CPlayer::Pause()
{
    if (paused_ || !engine_.bound)
        return;
    if (readerMode_)
        WMAReaderPause();
    engine_.wave.PlayPause();
    paused_ = true;
}

void CPlayer::Resume()
{
    if (!paused_ || !engine_.bound)
        return;
    if (readerMode_)
        WMAReaderResume();
    engine_.wave.PlayPause();
    paused_ = false;
}

void CPlayer::Stop()
{
    playing_ = false;
    paused_ = false;
    if (!engine_.bound)
        return;
    if (readerMode_)
        WMAReaderStop();
    engine_.wave.PlayStop();
}

uint64_t CPlayer::Duration() const
{
    if (readerMode_)
        return WMAReaderm_cnsFileDuration();
    if (formatBuffer_.nAvgBytesPerSec == 0)
        return 0;
    return static_cast<uint64_t>(static_cast<int64_t>(dataSize_) * 1000 * 10000 /
                                 formatBuffer_.nAvgBytesPerSec);
}

uint32_t CPlayer::BitRate() const
{
    if (readerMode_)
        return WMAReaderGetBitrate();
    return engine_.bound ? static_cast<uint32_t>(engine_.file.GetBitRate()) : 0;
}

intptr_t CPlayer::OnOpened(void*, intptr_t)
{
    if (CPlayer* player = g_player)
        postWindowMessage(player->mainWindow_, WM_PLAY_OPENED);
    return 0;
}

intptr_t CPlayer::OnLevels(void* data, intptr_t)
{
    if (CPlayer* player = g_player)
        postWindowMessageOnce(player->mainWindow_, player->progressPending_, WM_PLAY_PROGRESS,
                              reinterpret_cast<uintptr_t>(data));
    return 0;
}

intptr_t CPlayer::OnClosed(void*, intptr_t)
{
    if (CPlayer* player = g_player)
        postWindowMessage(player->mainWindow_, WM_PLAY_ENDED);
    return 0;
}
