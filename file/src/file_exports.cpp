// The exports of Brevon.File: a writer (WAV, MP3, FLAC or Ogg Opus, the module chosen when a file
// is opened) with
// room for a second file opened ahead of a split, one reader (WAV or MP3) held as library state,
// and the byte counters that outlive each file.
#include <array>
#include <atomic>

#include "BrevonCodec.h"
#include "BrevonFile.h"
#include "flac_writer.h"
#include "mp3_reader.h"
#include "mp3_writer.h"
#include "opus_writer.h"
#include "platform/file_roles.h"
#include "wav_reader.h"
#include "wav_writer.h"

namespace {

// One file being written: a module per format, the format of its file choosing which is used.
struct Slot {
    file::WavWriter wav;
    file::Mp3Writer mp3;
    file::FlacWriter flac;
    file::OpusWriter opus;
    file::FileWriter* module = &wav;
    uint32_t avgBytesPerSec = 0;
};

// A slot's modules in one order, so that a format is found at the same place in every slot.
std::array<const file::FileWriter*, 4> modulesOf(const Slot& slot)
{
    return {&slot.wav, &slot.mp3, &slot.flac, &slot.opus};
}

// Three slots take turns as the current file (written by the writing thread), the next one
// (opened ahead by another thread) and the one the last switch finished (completed by another).
std::array<Slot, platform::FileRoles::kSlots> slots;
platform::FileRoles roles;

// The current module and its byte rate. Written by the writing thread, read by any.
std::atomic<file::FileWriter*> writer{&slots[0].wav};
std::atomic<uint32_t> writeAvgBytesPerSec{0};
// Written by the writing thread, read by the main thread for the time display.
std::atomic<uint64_t> pcmBytes{0};

// Reader state: opened and closed on the main thread; the play-start and fill procedures run
// on the engine's playback thread in between.
bool mp3Reading = false;
file::WavReader wavReader;
file::Mp3Reader mp3Reader;

// The format of a file to open, with the bit rate of the lossy ones.
enum class Format { Wav, Mp3, Flac, Opus };
struct Kind {
    Format format = Format::Wav;
    int32_t kbps = 0;
};

// Opens path in a slot in its format, completing a file the slot still holds first,
// so that opening never abandons a recording.
bool openIn(Slot& slot, const char* path, const WAVEFORMATEX& format, Kind kind)
{
    if (slot.module->isOpen())
        slot.module->finish();
    slot.avgBytesPerSec = format.nAvgBytesPerSec;
    switch (kind.format) {
    case Format::Mp3:
        slot.module = &slot.mp3;
        return slot.mp3.open(path, format, kind.kbps);
    case Format::Flac:
        slot.module = &slot.flac;
        return slot.flac.open(path, format);
    case Format::Opus:
        slot.module = &slot.opus;
        return slot.opus.open(path, format, kind.kbps);
    case Format::Wav:
        break;
    }
    slot.module = &slot.wav;
    return slot.wav.open(path, format);
}

bool openCurrent(const char* path, const WAVEFORMATEX& format, Kind kind)
{
    Slot& slot = slots[static_cast<size_t>(roles.current())];
    bool opened = openIn(slot, path, format, kind);
    writer = slot.module;
    writeAvgBytesPerSec = slot.avgBytesPerSec;
    return opened;
}

bool openNext(const char* path, const WAVEFORMATEX& format, Kind kind)
{
    const int index = roles.claimNext();
    if (index < 0)
        return false;
    bool opened = openIn(slots[static_cast<size_t>(index)], path, format, kind);
    roles.endClaimNext(index, opened);
    return opened;
}

// Completes the file of the slot in a role (the next or the finished one) and frees the role
// once it is done; true when the role is empty.
bool finishRole(platform::FileRoles::Role role)
{
    const int index = roles.claim(role);
    if (index < 0)
        return true;
    Slot& slot = slots[static_cast<size_t>(index)];
    bool done = !slot.module->isOpen() || slot.module->finish();
    roles.release(role, index);
    return done;
}

bool closeReaders()
{
    const bool wav = wavReader.close();
    const bool mp3 = mp3Reader.close();
    return wav || mp3;
}

} // namespace

bool WriteOpenWaveFile(const char* path, WAVEFORMATEX format)
{
    return openCurrent(path, format, Kind{});
}

bool WriteOpenMP3File(const char* path, WAVEFORMATEX format, int32_t bitRateKbps)
{
    return openCurrent(path, format, Kind{Format::Mp3, bitRateKbps});
}

bool WriteOpenFLACFile(const char* path, WAVEFORMATEX format)
{
    return openCurrent(path, format, Kind{Format::Flac});
}

bool WriteOpenOpusFile(const char* path, WAVEFORMATEX format, int32_t bitRateKbps)
{
    return openCurrent(path, format, Kind{Format::Opus, bitRateKbps});
}

bool WriteOpenNextWaveFile(const char* path, WAVEFORMATEX format)
{
    return openNext(path, format, Kind{});
}

bool WriteOpenNextMP3File(const char* path, WAVEFORMATEX format, int32_t bitRateKbps)
{
    return openNext(path, format, Kind{Format::Mp3, bitRateKbps});
}

bool WriteOpenNextFLACFile(const char* path, WAVEFORMATEX format)
{
    return openNext(path, format, Kind{Format::Flac});
}

bool WriteOpenNextOpusFile(const char* path, WAVEFORMATEX format, int32_t bitRateKbps)
{
    return openNext(path, format, Kind{Format::Opus, bitRateKbps});
}

bool WriteSwitchToNextFile()
{
    if (!roles.switchToNext())
        return false;
    const Slot& slot = slots[static_cast<size_t>(roles.current())];
    writer = slot.module;
    writeAvgBytesPerSec = slot.avgBytesPerSec;
    return true;
}

bool WriteCloseFinishedFile()
{
    return finishRole(platform::FileRoles::Role::Finished);
}

bool WriteCloseNextFile()
{
    return finishRole(platform::FileRoles::Role::Next);
}

bool WriteWaveDataCallBackProc(WAVEHDR* header)
{
    if (!header || (!header->lpData && header->dwBytesRecorded > 0))
        return false;
    if (!writer.load()->writeBlock(header->lpData, header->dwBytesRecorded))
        return false;
    pcmBytes += header->dwBytesRecorded;
    return true;
}

bool WriteCloseFile()
{
    file::FileWriter* open = writer.load();
    // Nothing open is nothing to fail at.
    return !open->isOpen() || open->finish();
}

uint64_t GetWritePosition()
{
    // What every file of the current format stored, whichever slot it was written in.
    const file::FileWriter* current = writer.load();
    size_t format = 0;
    for (const Slot& slot : slots) {
        const auto modules = modulesOf(slot);
        for (size_t at = 0; at < modules.size(); ++at)
            format = modules[at] == current ? at : format;
    }
    uint64_t stored = 0;
    for (const Slot& slot : slots)
        stored += modulesOf(slot)[format]->storedBytes();
    return stored;
}

uint64_t GetWaveInPosition()
{
    return pcmBytes.load();
}

int64_t GetWaveInTime()
{
    const uint32_t rate = writeAvgBytesPerSec.load();
    if (rate == 0)
        return 0;
    return static_cast<int64_t>(pcmBytes.load()) * 100 / static_cast<int64_t>(rate);
}

bool ReadOpenWaveFile(const char* path, WAVEFORMATEX* format)
{
    closeReaders();
    mp3Reading = false;
    return wavReader.open(path, format);
}

bool ReadOpenMP3File(const char* path, uint32_t* decompressedSize, WAVEFORMATEX* format)
{
    closeReaders();
    mp3Reading = true;
    return mp3Reader.open(path, decompressedSize, format);
}

int32_t ReadCloseFile()
{
    return closeReaders() ? 1 : 0;
}

intptr_t WaveOutPlayStartCallBackProc(void* data, intptr_t /*reserved*/)
{
    if (!data)
        return 0;
    const uint64_t offset = *static_cast<const uint64_t*>(data);
    return (mp3Reading ? mp3Reader.playStart(offset) : wavReader.playStart(offset)) ? 1 : 0;
}

intptr_t FillWaveDataCallBackProc(void* data, intptr_t /*reserved*/)
{
    if (data)
        wavReader.fill(*static_cast<FillRequest*>(data));
    return 0;
}

intptr_t FillMP3DataCallBackProc(void* data, intptr_t /*reserved*/)
{
    if (data)
        mp3Reader.fill(*static_cast<FillRequest*>(data));
    return 0;
}

uint64_t GetPosition()
{
    return mp3Reading ? mp3Reader.position() : wavReader.position();
}

uint64_t GetDataSize()
{
    if (mp3Reading)
        return mp3Reader.dataSize();
    return wavReader.isOpen() ? wavReader.dataSize() : 0;
}

int64_t GetRemain()
{
    return static_cast<int64_t>(GetDataSize()) - static_cast<int64_t>(GetPosition());
}

uint32_t GetAvgBytesPerSec()
{
    return mp3Reading ? GetAvgBytesPerSecOfCompressedBuffer() : wavReader.avgBytesPerSec();
}

int32_t GetBitRate()
{
    return g_nMP3BitRate;
}
