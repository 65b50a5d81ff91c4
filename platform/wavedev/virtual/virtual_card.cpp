// The virtual sound card, switched on by DRAVIK_AUDIO=virtual[:in=...,out=...,pace=...,fail=...]:
// captures a generated signal or a looped WAV file, writes playback to a WAV file or nowhere,
// at the pace of the sound or as fast as it is asked, and can act as a device that is unplugged.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "../src/backend.h"
#include "virtual_mixer.h"
#include "wav_file.h"

namespace platform::wavedev {

namespace {

using Clock = std::chrono::steady_clock;

struct CardConfig {
    std::string in = "tone";
    std::string out = "null";
    bool fast = false;
    double failAfterSeconds = -1; // negative: never
    bool closeHangs = false;      // closing never returns, as a sound server that has gone
};

// Reads DRAVIK_AUDIO afresh: empty when the card is not switched on.
std::optional<CardConfig> readConfig()
{
    const char* value = std::getenv("DRAVIK_AUDIO");
    if (!value || std::strncmp(value, "virtual", 7) != 0 || (value[7] != 0 && value[7] != ':'))
        return std::nullopt;
    CardConfig config;
    std::string rest = value[7] ? value + 8 : "";
    size_t at = 0;
    while (at < rest.size()) {
        size_t end = rest.find(',', at);
        if (end == std::string::npos)
            end = rest.size();
        const std::string item = rest.substr(at, end - at);
        at = end + 1;
        const size_t eq = item.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = item.substr(0, eq), val = item.substr(eq + 1);
        if (key == "in")
            config.in = val;
        else if (key == "out")
            config.out = val;
        else if (key == "pace")
            config.fast = val == "fast";
        else if (key == "fail")
            config.failAfterSeconds = std::atof(val.c_str());
        else if (key == "close")
            config.closeHangs = val == "hang";
    }
    return config;
}

// One second of a generated signal (three for the bursts) in the capture layout, played in a loop.
std::vector<uint8_t> generate(const std::string& kind, const SampleLayout& layout)
{
    const uint32_t seconds = kind == "bursts" ? 3 : 1;
    std::vector<uint8_t> loop(size_t(layout.rate) * seconds * layout.frameBytes());
    std::minstd_rand noise(12345);
    std::uniform_real_distribution<double> uniform(-0.5, 0.5);
    for (size_t frame = 0; frame < size_t(layout.rate) * seconds; ++frame) {
        double v = 0.0;
        if (kind == "noise")
            v = uniform(noise);
        else if (kind == "tone" || (kind == "bursts" && frame < layout.rate))
            v = 0.5 * std::sin(2 * M_PI * 440.0 * double(frame % layout.rate) / layout.rate);
        for (uint32_t c = 0; c < layout.channels; ++c)
            encodeSample(v, loop.data() + frame * layout.frameBytes() + c * layout.bytesPerSample,
                         layout.bytesPerSample);
    }
    return loop;
}

class VirtualStream : public PcmStream {
public:
    VirtualStream(const CardConfig& config, const SampleLayout& layout)
        : layout_(layout), fast_(config.fast), closeHangs_(config.closeHangs),
          failAfterFrames_(config.failAfterSeconds < 0
                               ? UINT64_MAX
                               : uint64_t(config.failAfterSeconds * layout.rate))
    {
    }

    std::vector<uint8_t> loop; // capture: a generated sound played in a loop
    WavFileLoop fileLoop;      // capture: a WAV file played in a loop, when in= names one
    bool fromFile = false;
    WavWriter writer; // playback: where the sound goes, when out= names a file
    bool writing = false;
    bool capturing = false;

    // At the pace of the sound, capture moves 40 ms a step, the engine's block, so that the
    // device thread wakes once a block; playback moves 10 ms.
    uint32_t chunkFrames() const override
    {
        if (fast_)
            return 16384;
        return std::max<uint32_t>(1, layout_.rate / (capturing ? 25 : 100));
    }

    bool timeCritical() const override { return !fast_; }

    ~VirtualStream() override
    {
        while (closeHangs_)
            std::this_thread::sleep_for(std::chrono::hours(1));
    }

    Transfer read(uint8_t* data, uint32_t frames) override
    {
        Transfer t = admit(frames);
        const uint32_t frameBytes = layout_.frameBytes();
        uint8_t* const start = data;
        size_t wanted = fromFile ? 0 : size_t(t.frames) * frameBytes;
        if (fromFile)
            fileLoop.read(data, t.frames);
        while (wanted > 0) {
            const size_t run = std::min(wanted, loop.size() - loopAt_);
            std::memcpy(data, loop.data() + loopAt_, run);
            data += run;
            wanted -= run;
            loopAt_ = (loopAt_ + run) % loop.size();
        }
        applyVirtualMixer(start, t.frames, layout_);
        return t;
    }

    Transfer write(const uint8_t* data, uint32_t frames) override
    {
        Transfer t = admit(frames);
        if (writing && !writer.write(data, size_t(t.frames) * layout_.frameBytes())) {
            t.failed = true;
            t.error = MMSYSERR_ERROR;
        }
        return t;
    }

    void resume() override
    {
        paceStart_ = Clock::now();
        pacedFrames_ = 0;
    }

private:
    // Counts the frames against the unplug limit and keeps the pace of the sound.
    Transfer admit(uint32_t frames)
    {
        Transfer t;
        if (moved_ >= failAfterFrames_) {
            t.failed = true;
            t.error = MMSYSERR_NODRIVER;
            return t;
        }
        t.frames = uint32_t(std::min<uint64_t>(frames, failAfterFrames_ - moved_));
        moved_ += t.frames;
        if (fast_)
            return t;
        pacedFrames_ += t.frames;
        const auto due =
            paceStart_ + std::chrono::nanoseconds(pacedFrames_ * 1000000000ull / layout_.rate);
        const auto now = Clock::now();
        if (now - due > std::chrono::milliseconds(250)) {
            // Nobody moved sound for longer than the card can hold: it was lost.
            t.gap = true;
            resume();
        } else {
            std::this_thread::sleep_until(due);
        }
        return t;
    }

    const SampleLayout layout_;
    const bool fast_;
    const bool closeHangs_;
    const uint64_t failAfterFrames_;
    uint64_t moved_ = 0;
    size_t loopAt_ = 0;
    Clock::time_point paceStart_ = Clock::now();
    uint64_t pacedFrames_ = 0;
};

struct VirtualCard : DeviceEntry {
    CardConfig config;

    std::unique_ptr<PcmStream> open(Direction direction, const WAVEFORMATEXTENSIBLE& format,
                                    MMRESULT& error) const override
    {
        if (config.failAfterSeconds == 0) {
            error = MMSYSERR_NODRIVER; // unplugged from the start
            return nullptr;
        }
        const SampleLayout layout = layoutOf(format);
        auto stream = std::make_unique<VirtualStream>(config, layout);
        if (direction == Direction::Capture) {
            stream->capturing = true;
            if (config.in == "tone" || config.in == "silence" || config.in == "noise" ||
                config.in == "bursts") {
                stream->loop = generate(config.in, layout);
            } else {
                // A file that is unreadable or holds no sound gives nothing to capture.
                std::string reason;
                if (!stream->fileLoop.open(config.in, layout, reason)) {
                    error = MMSYSERR_NODRIVER;
                    return nullptr;
                }
                stream->fromFile = true;
            }
            if (!stream->fromFile && stream->loop.empty()) {
                error = MMSYSERR_NODRIVER; // a WAV file without sound gives nothing to loop
                return nullptr;
            }
        } else if (config.out != "null") {
            if (!stream->writer.create(config.out, format)) {
                error = MMSYSERR_NODRIVER;
                return nullptr;
            }
            stream->writing = true;
        }
        return stream;
    }
};

} // namespace

std::shared_ptr<const DeviceEntry> virtualCard()
{
    auto config = readConfig();
    if (!config)
        return nullptr;
    auto card = std::make_shared<VirtualCard>();
    card->productName = kVirtualCardName;
    card->config = *config;
    return card;
}

} // namespace platform::wavedev
