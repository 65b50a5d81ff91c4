// The recorder.
#include "recorder.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

#include "BrevonWMA.h"
#include "format_tables.h"
#include "platform/alsa_errors.h"
#include "platform/mixer.h"
#include "platform/wavedev.h"
#include "take_files.h"

namespace {

// The engine's callbacks are plain functions; they reach the one recorder through this pointer.
// Written by the window thread while no device runs, read by the capture thread.
std::atomic<CRecorder*> g_recorder{nullptr};

int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int32_t hundredths(uint64_t bytes, uint32_t avgBytesPerSec)
{
    if (avgBytesPerSec == 0)
        return 0;
    return static_cast<int32_t>(static_cast<int64_t>(bytes) * 100 / avgBytesPerSec);
}

} // namespace

CRecorder::CRecorder(WindowHandle mainWindow, SettingsStore& store)
    : store_(store), mainWindow_(mainWindow)
{
    g_recorder = this;
    if (!engine_.bind()) {
        setError(engine_.error);
        return;
    }
    engine_.wave.WaveInOpenCallBack(&CRecorder::OnOpened);
    engine_.wave.WaveInDataCallBack(&CRecorder::OnLevels);
    engine_.wave.WaveInDataReadyCallBack(&CRecorder::OnBlock);
    engine_.wave.WaveInBufferCallBack(&CRecorder::OnBuffer);
}

CRecorder::~CRecorder()
{
    if (deviceStarted_)
        StopDevice();
    handover_.waitUntilIdle();
    if (outputOpen_)
        closeOutputFile();
    discardNextFile();
    WMAWriterDelete();
    g_recorder = nullptr;
}

void CRecorder::setError(const std::string& reason)
{
    std::lock_guard lock(errorMutex_);
    error_ = reason;
}

std::string CRecorder::lastError() const
{
    std::lock_guard lock(errorMutex_);
    return error_;
}

std::string CRecorder::temporaryPath() const
{
    std::lock_guard lock(pathMutex_);
    return temporaryPath_;
}

uint32_t CRecorder::gapCount() const
{
    return engine_.bound ? engine_.wave.WaveInGetGapCount() : 0;
}

int64_t CRecorder::msSinceLastBlock() const
{
    int64_t last = lastBlockNs_;
    return last == 0 ? 0 : (nowNs() - last) / 1000000;
}

int32_t CRecorder::FileHundredths() const
{
    return hundredths(fileBytes_, format_.nAvgBytesPerSec);
}

int32_t CRecorder::TotalHundredths() const
{
    return hundredths(totalBytes_, format_.nAvgBytesPerSec);
}

void CRecorder::clearInputClipped()
{
    inputClipped_[0] = false;
    inputClipped_[1] = false;
}

CRecorder::TakePeaks CRecorder::takePeaks() const
{
    TakePeaks peaks;
    for (int c = 0; c < 2; ++c) {
        peaks.peak[c] = takePeak_[c];
        peaks.clipped[c] = takeClipped_[c];
    }
    return peaks;
}

void CRecorder::SetVoxHold(int blocks)
{
    voxHold_ = blocks;
}

void CRecorder::SetVoxLevel(int percent)
{
    gate_.setLevelPercent(percent);
}

void CRecorder::TogglePause()
{
    paused_ = !paused_;
}

// An encoding outside 0..4 records WAV; a WAV row outside the table keeps the format held
// before, or the first row when none was held.
bool CRecorder::configureFormat()
{
    int encoding = store_.readInt(settings::Encode);
    if (formats::rowCount(encoding) == 0)
        encoding = formats::kWAV;
    encoding_ = encoding;
    // No writer until the format is settled: a recording cannot start without one. The
    // hand-over thread is done with the old one first.
    handover_.waitUntilIdle();
    discardNextFile();
    writer_.reset();
    switch (encoding) {
    case formats::kWMA: {
        // Made on first use: it loads the media runtime, which a WAV or MP3 recording never needs.
        if (!wmaWriter_)
            wmaWriter_ = WMAWriterCreate() == 0;
        if (!wmaWriter_) {
            setError("the WMA writer could not be created");
            return false;
        }
        WAVEFORMATEX format{};
        if (WMAWriterConfigure(store_.readInt(settings::nWMAFormat), &format) != 0 ||
            format.nAvgBytesPerSec == 0) {
            setError("the WMA encoder refused the recording format");
            return false;
        }
        format_ = format;
        writer_ = makeWmaTakeWriter(format_);
        break;
    }
    case formats::kMP3: {
        int row = store_.readInt(settings::nMP3Format);
        format_ = formats::mp3CaptureFormat(row);
        writer_ = makeMp3TakeWriter(engine_.file, format_, formats::mp3Row(row).kbps);
        break;
    }
    case formats::kFLAC:
        format_ = formats::flacFormat(store_.readInt(settings::nFLACFormat));
        writer_ = makeFlacTakeWriter(engine_.file, format_);
        break;
    case formats::kOpus: {
        int row = store_.readInt(settings::nOpusFormat);
        format_ = formats::opusCaptureFormat(row);
        writer_ = makeOpusTakeWriter(engine_.file, format_, formats::opusRow(row).kbps);
        break;
    }
    default: {
        auto format = formats::wavFormat(store_.readInt(settings::nWAVFormat));
        if (format)
            format_ = *format;
        else if (!formatSet_)
            format_ = *formats::wavFormat(0);
        writer_ = makeWavTakeWriter(engine_.file, format_);
        break;
    }
    }
    formatSet_ = true;
    return true;
}

uint32_t CRecorder::chooseDevice() const
{
    uint32_t mixer = static_cast<uint32_t>(store_.readInt(settings::uMxId));
    uint32_t mixers = platform::mixerGetNumDevs();
    if (mixers == 0)
        return WAVE_MAPPER;
    if (mixer >= mixers)
        mixer = 0;
    platform::MIXERCAPS mixerCaps{};
    if (platform::mixerGetDevCaps(mixer, &mixerCaps) != 0)
        return WAVE_MAPPER;
    uint32_t devices = platform::waveInGetNumDevs();
    for (uint32_t id = 0; id < devices; ++id) {
        platform::WAVEINCAPS caps{};
        if (platform::waveInGetDevCaps(id, &caps) == platform::MMSYSERR_NOERROR &&
            std::string(caps.szPname) == mixerCaps.szPname)
            return id;
    }
    return WAVE_MAPPER;
}

bool CRecorder::StartDevice()
{
    if (!engine_.bound) {
        // The reason was kept when the libraries were bound.
        return false;
    }
    if (deviceStarted_)
        StopDevice();
    // A take still open was written in the old format: it is completed before the format changes.
    if (outputOpen_)
        closeOutputFile();
    if (!configureFormat())
        return false;
    uint32_t device = chooseDevice();
    // A device that never delivers a block counts from its start.
    lastBlockNs_ = nowNs();
    blocksHandled_ = 0;
    blocksGated_ = 0;
    blockNsTotal_ = 0;
    blockNsLargest_ = 0;
    platform::clearAlsaError();
    deviceStarted_ = engine_.wave.WaveInStart2(device, &format_);
    if (!deviceStarted_ && encoding_ == formats::kFLAC && format_.wBitsPerSample == 24) {
        // A card without 24-bit capture records 16 bits, and the file says 16 bits.
        format_ = formats::pcmFormat(format_.nChannels, format_.nSamplesPerSec, 16);
        writer_ = makeFlacTakeWriter(engine_.file, format_);
        deviceStarted_ = engine_.wave.WaveInStart2(device, &format_);
    }
    if (!deviceStarted_) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "cannot open the input device for %u Hz, %u-bit, %u channel(s)",
                      format_.nSamplesPerSec, format_.wBitsPerSample, format_.nChannels);
        setError(platform::withAlsaReason(text));
        return false;
    }
    engine_.wave.WaveInRecordStart();
    return true;
}

void CRecorder::StopDevice()
{
    recording_ = false;
    deviceStarted_ = false;
    if (!engine_.bound)
        return;
    engine_.wave.WaveInRecordStop();
    engine_.wave.WaveInStop();
}

CRecorder::TempName CRecorder::claimTemporaryFile(bool hidden)
{
    std::lock_guard lock(namesMutex_);
    // Created exclusively: a take kept from an earlier run, or another recorder's, is never
    // opened over; its number is skipped.
    TempName claim = takefiles::claimTemporaryFile(store_.readString(settings::TempFolder),
                                                   tempCounter_, encoding_, hidden);
    tempCounter_ = claim.counter;
    return claim;
}

std::function<void()> CRecorder::nameWrite(const TempName& name)
{
    return [store = &store_, counter = name.counter, text = name.name] {
        store->writeInt(settings::NumInst.name, static_cast<int>(counter));
        store->writeString(settings::sTempFileName.name, text);
    };
}

void CRecorder::setCurrentFile(const std::string& path, takefiles::SharedTakeLock lock)
{
    std::lock_guard guard(pathMutex_);
    temporaryPath_ = path;
    currentLock_ = std::move(lock);
}

takefiles::SharedTakeLock CRecorder::currentLock() const
{
    std::lock_guard guard(pathMutex_);
    return currentLock_;
}

bool CRecorder::openOutputFile(std::function<void()>* deferredNameWrite)
{
    TempName next = claimTemporaryFile(false);
    partHandedOver_ = false;
    outputOpen_ = false;
    if (!next.lock) {
        setCurrentFile(next.path, nullptr);
        setError("cannot create the recording file " + next.path + ": " +
                 std::strerror(next.error));
        return false;
    }
    setCurrentFile(next.path, next.lock);
    // A settings write replaces the store's file; at a split that waits for another thread.
    if (deferredNameWrite)
        *deferredNameWrite = nameWrite(next);
    else
        nameWrite(next)();

    bool opened = writer_ && writer_->open(next.path);
    outputOpen_ = opened;
    if (!opened) {
        setError("cannot create the recording file " + next.path);
        // The file was created here a moment ago: whatever the writer left of it is no take.
        unlink(next.path.c_str());
        setCurrentFile(next.path, nullptr);
    }
    return opened;
}

void CRecorder::prepareNextFile()
{
    nextFile_ = NextFile::Opening;
    handover_.post([this] { openNextFile(); });
}

// The next file is opened under a hidden name ("." before its own), so that until the recording
// goes on in it nobody takes it for a take, and a crash leaves no empty take behind; the hand-over
// after the switch gives it its name.
void CRecorder::openNextFile()
{
    TempName next = claimTemporaryFile(true);
    if (next.lock && writer_ && writer_->openNext(next.openedAs)) {
        nextName_ = std::move(next);
        nextFile_ = NextFile::Ready;
        return;
    }
    // The split then opens its file itself, and reports it when that fails too.
    if (next.lock)
        unlink(next.openedAs.c_str());
    nextFile_ = NextFile::None;
}

void CRecorder::discardNextFile()
{
    if (nextFile_.exchange(NextFile::None) != NextFile::Ready)
        return;
    writer_->closeNext();
    unlink(nextName_.openedAs.c_str());
    nextName_.lock.reset();
}

void CRecorder::reportUncompleted(const std::string& path)
{
    // What was written stays readable (a WAV header is kept up to date while it is written),
    // but the user must not believe the file is whole.
    std::string reason = "the recording file " + path +
                         " could not be completed; it may end early (is the disk full?)";
    setError(reason);
    postWindowMessage(mainWindow_, WM_REC_FAILED, 0, 0, reason);
}

void CRecorder::closeOutputFile()
{
    if (!outputOpen_)
        return;
    outputOpen_ = false;
    if (!writer_->close())
        reportUncompleted(temporaryPath());
}

bool CRecorder::StartRecording()
{
    if (!engine_.bound || !deviceStarted_) {
        setError(engine_.bound ? "the input device is not open" : lastError());
        return false;
    }
    handover_.waitUntilIdle();
    if (outputOpen_)
        closeOutputFile();
    discardNextFile();
    // A take still held from before is the window's no more.
    setCurrentFile({}, nullptr);
    failed_ = false;
    stopPosted_ = false;
    splitRequested_ = false;
    // A new take starts with its lamps out and its peaks at nothing.
    clearInputClipped();
    for (int c = 0; c < 2; ++c) {
        takePeak_[c] = 0;
        takeClipped_[c] = 0;
    }
    {
        std::lock_guard lock(namesMutex_);
        tempCounter_ = store_.readInt(settings::NumInst);
    }
    // The take's name goes into the settings on the hand-over thread, after the next file is
    // opened: replacing the settings file takes milliseconds that neither need wait for.
    std::function<void()> names;
    const bool opened = openOutputFile(&names);
    if (opened)
        prepareNextFile();
    if (names)
        handover_.post(std::move(names));
    if (!opened)
        return false;
    fileBytes_ = 0;
    totalBytes_ = 0;
    session_ = pendingSession_ > 0 ? pendingSession_ : store_.readInt(settings::SessionNum.name, 1);
    pendingSession_ = 0;
    segmentCount_ = 0;
    segmentStarted_ = false;
    // No block is written while recording is clear, so the capture thread leaves the ring alone.
    // A recording without VOX keeps no ring (the settings cannot be changed while it runs).
    preRollMs_ = store_.readInt(settings::nVOXONOFF) == 0
                     ? 0
                     : std::clamp(store_.readInt(settings::nVOXPreRoll), 0, kLongestPreRollMs);
    preRoll_.reserve(static_cast<uint32_t>(static_cast<uint64_t>(format_.nAvgBytesPerSec) *
                                           static_cast<uint64_t>(preRollMs_) / 1000),
                     format_.nBlockAlign);
    // The new threshold first, then the countdown cleared by the capture thread at its next
    // block: a loud block judged by the old threshold cannot hold the gate open into the take.
    gate_.setHold(voxHold_);
    SetVoxLevel(store_.readInt(settings::voxlevel));
    gateResetPending_ = true;
    stopped_ = false;
    takeUnsaved_ = false;
    recording_ = true;
    return true;
}

void CRecorder::waitForBlockToFinish() const
{
    // The capture thread may be writing the block it took before the flags changed; the file is
    // closed only after that write. A block takes well under a millisecond, a split (closing one
    // file, opening the next) a little longer, so the wait is bounded generously.
    for (int i = 0; i < 10000 && inBlock_; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void CRecorder::StopRecording()
{
    stopped_ = true;
    takeUnsaved_ = true;
    recording_ = false;
    waitForBlockToFinish();
    // No block is written any more: the sound still owed by the pre-roll ends the take.
    if (owed_ > 0) {
        // Within the time limit, whatever the last block knew of it.
        limitBytes_ = timeLimitBytes(true);
        WAVEHDR none{};
        writeOwed(none, owed_);
    }
    // The last split's hand-over comes first, so that the parts reach the saver in order.
    handover_.waitUntilIdle();
    closeOutputFile();
    discardNextFile();
    restoreDeletedTake();
}

void CRecorder::ReleaseTake()
{
    takeUnsaved_ = false;
    if (!recording_)
        setCurrentFile(temporaryPath(), nullptr);
}

void CRecorder::restoreDeletedTake()
{
    takefiles::SharedTakeLock lock = currentLock();
    if (!lock || !lock->unlinked())
        return;
    const std::string path = temporaryPath();
    std::string why;
    takefiles::SharedTakeLock restored = takefiles::restoreUnlinked(*lock, path, why);
    if (!restored) {
        // Nothing is left under the take's name; the take is lost with its folder.
        fileBytes_ = 0;
        setCurrentFile(path, nullptr);
        std::string reason = "the recording could not be kept after its temporary folder was "
                             "deleted: " +
                             why;
        setError(reason);
        postWindowMessage(mainWindow_, WM_REC_FAILED, 0, 0, reason);
        return;
    }
    setCurrentFile(path, std::move(restored));
}

bool CRecorder::CheckDevice()
{
    if (!engine_.bound || !deviceStarted_)
        return false;
    // A check that comes much later than the window's timers ask for means this process was
    // held (stopped by a signal, a paused machine): the capture thread was held as well, and the
    // device's silence counts only from now. The sound lost meanwhile is reported as a gap.
    constexpr int64_t kHeldNs = 1'500'000'000;
    const int64_t now = nowNs();
    if (lastCheckNs_ != 0 && now - lastCheckNs_ > kHeldNs)
        silenceCountsFromNs_ = now;
    lastCheckNs_ = now;
    // Nor does time the capture thread spends inside a block's work.
    if (inBlock_)
        silenceCountsFromNs_ = now;
    const int64_t silentSince = std::max<int64_t>(lastBlockNs_, silenceCountsFromNs_);
    bool failed = engine_.wave.WaveInGetDeviceError() != 0 ||
                  (silentSince != 0 && now - silentSince > 2'000'000'000);
    if (failed && recording_)
        stopForFailure("the input device stopped delivering sound");
    if (!failed && recording_) {
        takefiles::SharedTakeLock lock = currentLock();
        if (lock && lock->unlinked())
            stopForFailure("the temporary folder " + store_.readString(settings::TempFolder) +
                           " was deleted during the recording; the recording stopped, and what "
                           "was recorded is kept there again");
    }
    return !failed;
}

PartSaver::Part CRecorder::finishedPart()
{
    PartSaver::Part part;
    part.source = temporaryPath();
    part.lock = currentLock();
    part.hundredths = FileHundredths();
    part.saveFolder = store_.readString(settings::SaveFolder);
    part.prefix = store_.readString(settings::AutoSavePrefix);
    part.autoSaveMode = store_.readInt(settings::nSettingFileCheckButtonSates);
    part.segmentStart = segmentStart_;
    part.sessionNumber = session_;
    part.segmentCount = segmentCount_;
    part.encoding = encoding_;
    return part;
}

bool CRecorder::AutoSave()
{
    // A take handed over once is the saver's: a second call must not queue its deletion as an
    // empty part (the first move may have failed and left it in the temporary folder).
    if (partHandedOver_)
        return true;
    partHandedOver_ = true;
    saver_.save(finishedPart());
    // The saver lets the take's lock go once it is done with the file.
    setCurrentFile(temporaryPath(), nullptr);
    fileBytes_ = 0;
    return true;
}

// --- Capture thread --------------------------------------------------------------------------

intptr_t CRecorder::OnOpened(void* data, intptr_t)
{
    if (CRecorder* recorder = g_recorder)
        postWindowMessage(recorder->mainWindow_, WM_REC_OPENED, reinterpret_cast<uintptr_t>(data));
    return 0;
}

intptr_t CRecorder::OnLevels(void* data, intptr_t)
{
    constexpr int64_t kLevelPostSpacingNs = 20'000'000;
    CRecorder* recorder = g_recorder;
    auto* levels = static_cast<const LevelBlock*>(data);
    if (!recorder || !levels)
        return 0;
    const int64_t now = nowNs();
    recorder->lastBlockNs_ = now;
    uint16_t left = static_cast<uint16_t>(levels->left);
    uint16_t right = static_cast<uint16_t>(levels->right);
    recorder->leftPeak_ = left;
    recorder->rightPeak_ = right;
    // The meters are told at most every 20 ms: at the pace of the sound that is every 40-ms
    // block, while a device that delivers faster than that would wake the window for each block.
    if (now - recorder->lastLevelPostNs_.load(std::memory_order_relaxed) < kLevelPostSpacingNs)
        return 0;
    recorder->lastLevelPostNs_.store(now, std::memory_order_relaxed);
    postWindowMessageOnce(recorder->mainWindow_, recorder->levelPending_, WM_REC_LEVEL,
                          reinterpret_cast<uintptr_t>(levels));
    uintptr_t packed = static_cast<uintptr_t>(left) | (static_cast<uintptr_t>(right) << 16);
    postWindowMessage(recorder->listenerA_, WM_PAGE_LEVELS, packed, static_cast<intptr_t>(packed));
    postWindowMessage(recorder->listenerB_, WM_VOX_LEVELS, packed, static_cast<intptr_t>(packed));
    return 0;
}

intptr_t CRecorder::OnBuffer(void* data, intptr_t)
{
    CRecorder* recorder = g_recorder;
    auto* header = static_cast<const WAVEHDR*>(data);
    if (!recorder || !header || !header->lpData)
        return 0;
    recorder->bufferPeaks_ = measureBlockPeaks(reinterpret_cast<const uint8_t*>(header->lpData),
                                               header->dwBytesRecorded, recorder->format_);
    for (int c = 0; c < 2; ++c)
        if (recorder->bufferPeaks_.fullScale[c] > 0)
            recorder->inputClipped_[c].store(true, std::memory_order_relaxed);
    return 0;
}

intptr_t CRecorder::OnBlock(void* data, intptr_t)
{
    SettingsStore::keepThreadOffDisk();
    CRecorder* recorder = g_recorder;
    if (recorder && data)
        recorder->handleBlock(static_cast<WAVEHDR*>(data));
    return 0;
}

void CRecorder::postStopOnce()
{
    if (!stopPosted_.exchange(true))
        postWindowMessage(mainWindow_, WM_STOP_BUTTON);
}

void CRecorder::stopForFailure(const std::string& reason)
{
    // Writing stops at once; what was written stays a valid file, closed when the window stops.
    if (failed_.exchange(true))
        return;
    setError(reason);
    postWindowMessage(mainWindow_, WM_REC_FAILED, 0, 0, reason);
    postStopOnce();
}

uint64_t CRecorder::timeLimitBytes(bool writing) const
{
    int limit = store_.readInt(settings::nAutoStopTimeVOX);
    // A negative limit is no limit.
    if (!writing || limit < 0 || store_.readInt(settings::nAutoStopTime) == 0)
        return UINT64_MAX;
    return static_cast<uint64_t>(limit) * format_.nAvgBytesPerSec;
}

// Judged on whether this block is written as it arrived: a stop that clears recording while the
// block is handled must not lift the limit for a block that is then still written.
bool CRecorder::timeLimitReached(bool writing)
{
    limitBytes_ = timeLimitBytes(writing);
    return totalBytes_ >= limitBytes_;
}

bool CRecorder::writeBlock(WAVEHDR* header)
{
    if (!outputOpen_)
        return false;
    if (!writer_->canTake(fileBytes_, header->dwBytesRecorded)) {
        // The file cannot describe more: go on in a new file.
        split();
        if (!outputOpen_)
            return false;
    }
    if (!segmentStarted_) {
        ++segmentCount_;
        std::time_t now = std::time(nullptr);
        localtime_r(&now, &segmentStart_);
        segmentStarted_ = true;
    }
    if (!writer_->write(*header)) {
        stopForFailure("cannot write to the recording file " + temporaryPath() +
                       " (is the disk full?)");
        return false;
    }
    fileBytes_ += header->dwBytesRecorded;
    totalBytes_ += header->dwBytesRecorded;
    for (int c = 0; c < 2; ++c) {
        if (bufferPeaks_.peak[c] > takePeak_[c].load(std::memory_order_relaxed))
            takePeak_[c].store(bufferPeaks_.peak[c], std::memory_order_relaxed);
        takeClipped_[c].fetch_add(bufferPeaks_.fullScale[c], std::memory_order_relaxed);
    }
    return true;
}

void CRecorder::writeSound(const WAVEHDR& block, const uint8_t* data, uint32_t bytes)
{
    const uint64_t every =
        static_cast<uint64_t>(splitEverySeconds_.load(std::memory_order_relaxed)) *
        format_.nAvgBytesPerSec;
    while (bytes > 0 && outputOpen_ && !failed_) {
        if (totalBytes_ >= limitBytes_) {
            postStopOnce();
            return;
        }
        // A part is cut when more sound comes after its full length, so a recording that ends
        // exactly there leaves no empty part behind.
        if (every > 0 && fileBytes_ >= every) {
            split();
            continue;
        }
        uint64_t room = limitBytes_ - totalBytes_;
        if (every > 0)
            room = std::min(room, every - fileBytes_);
        const uint32_t piece = room < bytes ? static_cast<uint32_t>(room) : bytes;
        WAVEHDR header = block;
        header.lpData = reinterpret_cast<char*>(const_cast<uint8_t*>(data));
        header.dwBytesRecorded = piece;
        header.dwBufferLength = piece;
        if (!writeBlock(&header))
            return;
        data += piece;
        bytes -= piece;
    }
}

void CRecorder::writeOwed(const WAVEHDR& block, uint32_t bytes)
{
    bytes = std::min(bytes, owed_);
    PreRollRing::Pieces owed = preRoll_.front(bytes);
    writeSound(block, owed.first.data(), static_cast<uint32_t>(owed.first.size()));
    writeSound(block, owed.second.data(), static_cast<uint32_t>(owed.second.size()));
    preRoll_.drop(bytes);
    owed_ -= bytes;
}

// The ring holds [sound owed to the take][dropped sound kept]. A dropped block is kept (the
// oldest kept sound is forgotten); an opening gate makes all kept sound owed, and while anything
// is owed each block writes a share of it and queues behind it, so the pre-roll is written within
// the gate's hold, never all in one block. A gate that closes sooner writes the rest at once.
void CRecorder::passThroughPreRoll(WAVEHDR* header, bool pass)
{
    const auto* sound = reinterpret_cast<const uint8_t*>(header->lpData);
    const uint32_t bytes = header->dwBytesRecorded;
    if (!pass) {
        if (owed_ > 0)
            writeOwed(*header, owed_);
        preRoll_.keep(sound, bytes);
        return;
    }
    if (preRoll_.size() > owed_) {
        // The gate opens: spread what is owed over the blocks the hold keeps it open.
        owed_ = preRoll_.size();
        const uint64_t blocks = static_cast<uint64_t>(std::max(1, gate_.hold() - 1));
        uint64_t share = std::max<uint64_t>(2ull * bytes, owed_ / blocks + 1 + bytes);
        const uint32_t align = std::max<uint32_t>(1, format_.nBlockAlign);
        share += align - 1 - (share + align - 1) % align;
        drainPerBlock_ = static_cast<uint32_t>(std::min<uint64_t>(share, UINT32_MAX));
    }
    if (owed_ > 0)
        writeOwed(*header, drainPerBlock_);
    // Behind what is still owed, or straight into the take.
    if (owed_ > 0 && preRoll_.room() >= bytes) {
        preRoll_.keep(sound, bytes);
        owed_ += bytes;
        return;
    }
    if (owed_ > 0)
        writeOwed(*header, owed_);
    preRoll_.clear();
    writeSound(*header, sound, bytes);
}

bool CRecorder::voxAutoStopDue(int autoStopVox)
{
    return autoStopVox != 0 && recording_ && gate_.closed() && FileHundredths() > 100;
}

bool CRecorder::splitDue(int autoSaveMode) const
{
    return (recording_ && segmentStarted_ && autoSaveMode != 0 && gate_.closed()) ||
           splitRequested_;
}

// The capture thread switches to the next file, opened ahead; the hand-over thread completes
// the finished part, hands it to the part saver (which moves it into the save folder and
// reports it) and opens the file after. That hand-over takes milliseconds, so in real time it is
// done long before the next split; a split that comes sooner (a fast-paced card) waits for it.
void CRecorder::split()
{
    for (int i = 0; i < 20000 && nextFile_ == NextFile::Opening; ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    segmentStarted_ = false;
    PartSaver::Part part = finishedPart();
    fileBytes_ = 0;
    // Cleared once the new file's length counts from zero: whoever asked may now read it.
    splitRequested_ = false;
    if (nextFile_ == NextFile::Ready && writer_->switchToNext()) {
        TempName current = std::move(nextName_);
        setCurrentFile(current.openedAs, current.lock);
        partHandedOver_ = false;
        nextFile_ = NextFile::Opening;
        handover_.post([this, part = std::move(part), current]() mutable {
            // Renaming a file being written leaves its writing alone. It never replaces a file:
            // a name another recorder took meanwhile gives way to the next free one. Should it
            // fail, the take goes on under the hidden name, which its reports then give.
            int failed = 0;
            if (takefiles::publishTemporaryFile(current, encoding_, failed))
                setCurrentFile(current.path, current.lock);
            if (!writer_->closeFinished())
                reportUncompleted(part.source);
            openNextFile();
            nameWrite(current)();
            saver_.save(std::move(part));
        });
        return;
    }
    // No next file (opening it failed, or it is still being opened after two seconds): close and
    // open here, as a last resort, after the hand-over, so that the parts reach the saver in order.
    handover_.waitUntilIdle();
    discardNextFile();
    closeOutputFile();
    bool opened = openOutputFile(&part.afterwards);
    saver_.save(std::move(part));
    if (!opened) {
        stopForFailure(lastError());
        return;
    }
    prepareNextFile();
}

void CRecorder::noteGaps()
{
    uint32_t gaps = engine_.wave.WaveInGetGapCount();
    if (gaps != gaps_.exchange(gaps) && recording_)
        postWindowMessage(mainWindow_, WM_REC_GAP, gaps);
}

void CRecorder::handleBlock(WAVEHDR* header)
{
    inBlock_ = true;
    const uint64_t gatedBefore = blocksGated_.load(std::memory_order_relaxed);
    int64_t begin = nowNs();
    handleBlockSteps(header);
    const int64_t end = nowNs();
    auto spent = static_cast<uint64_t>(end - begin);
    // A block whose work took long (a split that waited for its next file on a loaded machine)
    // kept the device waiting, not the reverse: its silence counts from the block's end.
    lastBlockNs_ = end;
    inBlock_ = false;
    blocksHandled_.fetch_add(1, std::memory_order_relaxed);
    // Only a block that a recording saw is timed: the blocks before and between takes cost next
    // to nothing and would dilute the mean.
    if (blocksGated_.load(std::memory_order_relaxed) == gatedBefore)
        return;
    blockNsTotal_.fetch_add(spent, std::memory_order_relaxed);
    if (spent > blockNsLargest_.load(std::memory_order_relaxed))
        blockNsLargest_.store(spent, std::memory_order_relaxed);
}

double CRecorder::meanBlockMicros() const
{
    uint64_t blocks = blocksGated_;
    return blocks == 0 ? 0.0
                       : static_cast<double>(blockNsTotal_) / static_cast<double>(blocks) / 1000.0;
}

double CRecorder::largestBlockMicros() const
{
    return static_cast<double>(blockNsLargest_) / 1000.0;
}

void CRecorder::handleBlockSteps(WAVEHDR* header)
{
    noteGaps();
    // Whether this block belongs to the recording is decided once, as it arrives: a recording
    // that starts while the block is judged begins with the next one, whose gate is reset with
    // the new threshold (the reset flag is set before the recording flag, and read after it).
    const bool write = writing();
    // A new recording starts with an empty gate and pre-roll; so does a recording going on
    // after a pause, whose kept sound came before it.
    const bool resetGate = gateResetPending_.exchange(false);
    if (resetGate) {
        gate_.reset();
        owed_ = 0;
    }
    const bool resumed = write && (resetGate || !wasWriting_);
    wasWriting_ = write;
    if (timeLimitReached(write)) {
        postStopOnce();
        return;
    }
    if (resumed) {
        // What was owed before a pause still belongs before it (within this block's limit).
        if (owed_ > 0)
            writeOwed(*header, owed_);
        preRoll_.clear();
    }
    if (write)
        blocksGated_.fetch_add(1, std::memory_order_relaxed);
    if (store_.readInt(settings::nVOXONOFF) == 0) {
        voiceActive_ = true;
        if (write)
            passThroughPreRoll(header, true);
        if (splitRequested_ && recording_ && !failed_) {
            writeOwed(*header, owed_);
            split();
        }
        return;
    }
    gate_.setHold(voxHold_);
    bool pass = gate_.pass(leftPeak_, rightPeak_);
    voiceActive_ = pass;
    // Kept sound is all after the last written block, so a stretch never repeats sound.
    if (write)
        passThroughPreRoll(header, pass);

    int autoSaveMode = store_.readInt(settings::nSettingFileCheckButtonSates);
    int autoStopVox = store_.readInt(settings::nAutoStopVOX);
    if (voxAutoStopDue(autoStopVox)) {
        segmentStarted_ = false;
        postStopOnce();
        return;
    }
    if (splitDue(autoSaveMode) && recording_ && !failed_) {
        // A split asked for by the user cuts after the sound still owed.
        writeOwed(*header, owed_);
        split();
    }
}
