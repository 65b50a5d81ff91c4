// The exports of Brevon.File: one writer (WAV or MP3, the module chosen when a file is opened)
// and one reader (WAV or MP3) held as library state, and the byte counters that outlive each file.
#include <atomic>

#include "BrevonCodec.h"
#include "BrevonFile.h"
#include "mp3_reader.h"
#include "mp3_writer.h"
#include "wav_reader.h"
#include "wav_writer.h"

namespace {

// Writer state: the writing calls come from one thread at a time (the recorder's).
WAVEFORMATEX writeFormat{};
file::WavWriter wavWriter;
file::Mp3Writer mp3Writer;
// The module of the file opened last. Written by the writing thread, read by any (the counters).
std::atomic<file::FileWriter*> writer{&wavWriter};
// Written by the writing thread, read by the main thread for the time display.
std::atomic<uint64_t> pcmBytes{0};

// Reader state: opened and closed on the main thread; the play-start and fill procedures run
// on the engine's playback thread in between.
bool mp3Reading = false;
file::WavReader wavReader;
file::Mp3Reader mp3Reader;

// Completes a file still open, so that opening the next never abandons a recording.
void closeWriter()
{
    file::FileWriter* open = writer.load();
    if (open->isOpen())
        open->finish();
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
    closeWriter();
    writeFormat = format;
    writer = &wavWriter;
    return wavWriter.open(path, format);
}

bool WriteOpenMP3File(const char* path, WAVEFORMATEX format, int32_t bitRateKbps)
{
    closeWriter();
    writeFormat = format;
    writer = &mp3Writer;
    return mp3Writer.open(path, format, bitRateKbps);
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
    return writer.load()->storedBytes();
}

uint64_t GetWaveInPosition()
{
    return pcmBytes.load();
}

int64_t GetWaveInTime()
{
    if (writeFormat.nAvgBytesPerSec == 0)
        return 0;
    return static_cast<int64_t>(pcmBytes.load()) * 100 /
           static_cast<int64_t>(writeFormat.nAvgBytesPerSec);
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
