// The take writers: WAV, MP3, FLAC, Ogg Opus and WMA.
#include "take_writer.h"

#include "BrevonWMA.h"

namespace {

// WAV, MP3, FLAC and Opus share Brevon.File's writer; they differ in how the file is opened and
// in the limit.
class FileLibraryWriter : public TakeWriter {
public:
    FileLibraryWriter(const FileApi& file, const WAVEFORMATEX& format)
        : file_(file), format_(format)
    {
    }
    bool write(WAVEHDR& block) override { return file_.WriteWaveDataCallBackProc(&block); }
    bool close() override { return file_.WriteCloseFile(); }
    bool switchToNext() override { return file_.WriteSwitchToNextFile(); }
    bool closeFinished() override { return file_.WriteCloseFinishedFile(); }
    bool closeNext() override { return file_.WriteCloseNextFile(); }

protected:
    const FileApi& file_;
    const WAVEFORMATEX format_;
};

class WavTakeWriter : public FileLibraryWriter {
public:
    using FileLibraryWriter::FileLibraryWriter;
    bool open(const std::string& path) override
    {
        return file_.WriteOpenWaveFile(path.c_str(), format_);
    }
    bool openNext(const std::string& path) override
    {
        return file_.WriteOpenNextWaveFile(path.c_str(), format_);
    }
    bool canTake(uint64_t fileBytes, uint32_t moreBytes) const override
    {
        return fileBytes + moreBytes <= kLargestWavTakeBytes;
    }
};

class FlacTakeWriter : public FileLibraryWriter {
public:
    using FileLibraryWriter::FileLibraryWriter;
    bool open(const std::string& path) override
    {
        return file_.WriteOpenFLACFile(path.c_str(), format_);
    }
    bool openNext(const std::string& path) override
    {
        return file_.WriteOpenNextFLACFile(path.c_str(), format_);
    }
};

// MP3 and Opus: a bit rate, and an open of each for the current and the next file.
class BitRateTakeWriter : public FileLibraryWriter {
public:
    using Open = bool (*)(const char*, WAVEFORMATEX, int32_t);
    BitRateTakeWriter(const FileApi& file, const WAVEFORMATEX& format, int bitRateKbps,
                      Open openCurrent, Open openNext)
        : FileLibraryWriter(file, format), bitRateKbps_(bitRateKbps), openCurrent_(openCurrent),
          openNext_(openNext)
    {
    }
    bool open(const std::string& path) override
    {
        return openCurrent_(path.c_str(), format_, bitRateKbps_);
    }
    bool openNext(const std::string& path) override
    {
        return openNext_(path.c_str(), format_, bitRateKbps_);
    }

private:
    const int bitRateKbps_;
    const Open openCurrent_;
    const Open openNext_;
};

class WmaTakeWriter : public TakeWriter {
public:
    explicit WmaTakeWriter(const WAVEFORMATEX& format) : format_(format) {}
    bool open(const std::string& path) override { return WMAWriterStart(path.c_str()) == 0; }
    bool write(WAVEHDR& block) override
    {
        // Each sample carries its duration in 100-ns units.
        uint64_t duration =
            static_cast<uint64_t>(block.dwBytesRecorded) * 10000000ull / format_.nAvgBytesPerSec;
        return WMAWriterWriteSample(duration, reinterpret_cast<const uint8_t*>(block.lpData),
                                    block.dwBytesRecorded) == 0;
    }
    bool close() override { return WMAWriterStop() == 0; }
    bool openNext(const std::string& path) override
    {
        return WMAWriterStartNext(path.c_str()) == 0;
    }
    bool switchToNext() override { return WMAWriterSwitchToNext() == 0; }
    bool closeFinished() override { return WMAWriterStopFinished() == 0; }
    bool closeNext() override { return WMAWriterStopNext() == 0; }

private:
    const WAVEFORMATEX format_;
};

} // namespace

std::unique_ptr<TakeWriter> makeWavTakeWriter(const FileApi& file, const WAVEFORMATEX& format)
{
    return std::make_unique<WavTakeWriter>(file, format);
}

std::unique_ptr<TakeWriter> makeMp3TakeWriter(const FileApi& file, const WAVEFORMATEX& format,
                                              int bitRateKbps)
{
    return std::make_unique<BitRateTakeWriter>(file, format, bitRateKbps, file.WriteOpenMP3File,
                                               file.WriteOpenNextMP3File);
}

std::unique_ptr<TakeWriter> makeFlacTakeWriter(const FileApi& file, const WAVEFORMATEX& format)
{
    return std::make_unique<FlacTakeWriter>(file, format);
}

std::unique_ptr<TakeWriter> makeOpusTakeWriter(const FileApi& file, const WAVEFORMATEX& format,
                                               int bitRateKbps)
{
    return std::make_unique<BitRateTakeWriter>(file, format, bitRateKbps, file.WriteOpenOpusFile,
                                               file.WriteOpenNextOpusFile);
}

std::unique_ptr<TakeWriter> makeWmaTakeWriter(const WAVEFORMATEX& format)
{
    return std::make_unique<WmaTakeWriter>(format);
}
