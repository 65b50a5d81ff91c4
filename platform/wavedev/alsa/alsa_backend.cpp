// The ALSA backend: one device per sound card that has a capture (or playback) PCM, named by the
// card's name and opened through the plug layer; the wave mapper is ALSA's "default" PCM.
#include <alsa/asoundlib.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "../src/backend.h"
#include "alsa_params.h"

namespace platform::wavedev {

namespace {

snd_pcm_format_t alsaFormat(uint32_t bytesPerSample)
{
    switch (bytesPerSample) {
    case 1:
        return SND_PCM_FORMAT_U8;
    case 2:
        return SND_PCM_FORMAT_S16_LE;
    case 3:
        return SND_PCM_FORMAT_S24_3LE;
    default:
        return SND_PCM_FORMAT_S32_LE;
    }
}

class AlsaStream : public PcmStream {
public:
    AlsaStream(snd_pcm_t* pcm, snd_pcm_uframes_t period, bool canPause)
        : pcm_(pcm), period_(period), canPause_(canPause)
    {
    }
    ~AlsaStream() override { snd_pcm_close(pcm_); }

    uint32_t chunkFrames() const override { return uint32_t(period_); }

    Transfer read(uint8_t* data, uint32_t frames) override
    {
        return transfer(frames, [&](uint32_t done) {
            return snd_pcm_readi(pcm_, data + snd_pcm_frames_to_bytes(pcm_, done), frames - done);
        });
    }

    Transfer write(const uint8_t* data, uint32_t frames) override
    {
        return transfer(frames, [&](uint32_t done) {
            return snd_pcm_writei(pcm_, data + snd_pcm_frames_to_bytes(pcm_, done), frames - done);
        });
    }

    void resume() override
    {
        if (paused_) {
            paused_ = false;
            if (snd_pcm_pause(pcm_, 0) == 0)
                return;
        }
        if (snd_pcm_state(pcm_) != SND_PCM_STATE_PREPARED &&
            snd_pcm_state(pcm_) != SND_PCM_STATE_RUNNING)
            snd_pcm_prepare(pcm_);
    }

    void pause() override
    {
        if (canPause_ && snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING &&
            snd_pcm_pause(pcm_, 1) == 0) {
            paused_ = true;
            return;
        }
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }

    void drop() override
    {
        paused_ = false;
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }

    void drain() override
    {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING)
            snd_pcm_drain(pcm_);
    }

    uint64_t delayFrames() override
    {
        snd_pcm_sframes_t delay = 0;
        return snd_pcm_delay(pcm_, &delay) == 0 && delay > 0 ? uint64_t(delay) : 0;
    }

private:
    // Moves all frames, recovering from an overrun or underrun (reported as a gap); any other
    // error (a vanished device) ends the stream.
    template <typename Step> Transfer transfer(uint32_t frames, Step step)
    {
        Transfer t;
        while (t.frames < frames) {
            snd_pcm_sframes_t n = step(t.frames);
            if (n >= 0) {
                t.frames += uint32_t(n);
                continue;
            }
            if (n == -EPIPE)
                t.gap = true;
            if (n == -EAGAIN || (n != -ENODEV && snd_pcm_recover(pcm_, int(n), 1) == 0))
                continue;
            t.failed = true;
            t.error = MMSYSERR_NODRIVER;
            break;
        }
        return t;
    }

    snd_pcm_t* pcm_;
    const snd_pcm_uframes_t period_;
    const bool canPause_;
    bool paused_ = false;
};

struct AlsaDevice : DeviceEntry {
    std::string pcmName;

    std::unique_ptr<PcmStream> open(Direction direction, const WAVEFORMATEXTENSIBLE& format,
                                    MMRESULT& error) const override
    {
        const bool capture = direction == Direction::Capture;
        snd_pcm_t* pcm = nullptr;
        if (snd_pcm_open(&pcm, pcmName.c_str(),
                         capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, 0) < 0) {
            error = MMSYSERR_ALLOCATED;
            return nullptr;
        }
        const SampleLayout layout = layoutOf(format);
        snd_pcm_uframes_t buffer = 0, period = 0;
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        if (setPcmParams(pcm, alsaFormat(layout.bytesPerSample), layout.channels, layout.rate,
                         capture) < 0 ||
            snd_pcm_get_params(pcm, &buffer, &period) < 0 ||
            snd_pcm_hw_params_current(pcm, hw) < 0) {
            snd_pcm_close(pcm);
            error = WAVERR_BADFORMAT;
            return nullptr;
        }
        if (period == 0)
            period = layout.rate / 100;
        return std::make_unique<AlsaStream>(pcm, period, snd_pcm_hw_params_can_pause(hw) == 1);
    }
};

// The first PCM device of the card that works in the direction, or -1.
int firstPcmDevice(int card, Direction direction)
{
    snd_ctl_t* ctl = nullptr;
    const std::string name = "hw:" + std::to_string(card);
    if (snd_ctl_open(&ctl, name.c_str(), 0) < 0)
        return -1;
    snd_pcm_info_t* info = nullptr;
    snd_pcm_info_alloca(&info);
    int device = -1, found = -1;
    while (found < 0 && snd_ctl_pcm_next_device(ctl, &device) == 0 && device >= 0) {
        snd_pcm_info_set_device(info, unsigned(device));
        snd_pcm_info_set_subdevice(info, 0);
        snd_pcm_info_set_stream(info, direction == Direction::Capture ? SND_PCM_STREAM_CAPTURE
                                                                      : SND_PCM_STREAM_PLAYBACK);
        if (snd_ctl_pcm_info(ctl, info) == 0)
            found = device;
    }
    snd_ctl_close(ctl);
    return found;
}

// Set when a close was left behind: its thread may still be inside ALSA.
std::atomic<bool> closeAbandoned{false};

// ALSA keeps the configuration it has read for the process; when the library that used it goes
// (the engine is unloaded), it is given back so that leak checkers see nothing left, unless a
// close left behind may still be using it.
struct ConfigRelease {
    ~ConfigRelease()
    {
        if (!closeAbandoned)
            snd_config_update_free_global();
    }
} configRelease;

} // namespace

void noteAbandonedClose()
{
    closeAbandoned = true;
}

int setPcmParams(snd_pcm_t* pcm, snd_pcm_format_t format, unsigned channels, unsigned rate,
                 bool capture)
{
    if (!capture)
        return snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, channels, rate, 1,
                                  100000);
    // snd_pcm_set_params would make the periods a quarter of the buffer: 125 ms, three blocks
    // handed on at once and the meters moving eight times a second.
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned period = 20000, buffer = 500000;
    int direction = 0;
    int error = snd_pcm_hw_params_any(pcm, hw);
    if (error >= 0)
        error = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
    if (error >= 0)
        error = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (error >= 0)
        error = snd_pcm_hw_params_set_format(pcm, hw, format);
    if (error >= 0)
        error = snd_pcm_hw_params_set_channels(pcm, hw, channels);
    if (error >= 0)
        error = snd_pcm_hw_params_set_rate(pcm, hw, rate, 0);
    if (error >= 0)
        error = snd_pcm_hw_params_set_period_time_near(pcm, hw, &period, &direction);
    if (error >= 0)
        error = snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &buffer, &direction);
    if (error >= 0)
        error = snd_pcm_hw_params(pcm, hw);
    // A card that cannot take those steps gets what ALSA chooses for half a second.
    if (error < 0)
        error = snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, channels, rate, 1,
                                   500000);
    return error;
}

DeviceList alsaDevices(Direction direction)
{
    DeviceList list;
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        const int device = firstPcmDevice(card, direction);
        if (device < 0)
            continue;
        auto entry = std::make_shared<AlsaDevice>();
        char* cardName = nullptr;
        if (snd_card_get_name(card, &cardName) == 0 && cardName) {
            entry->productName = cardName;
            free(cardName);
        } else {
            entry->productName = "Card " + std::to_string(card);
        }
        entry->pcmName = "plughw:" + std::to_string(card) + "," + std::to_string(device);
        list.push_back(entry);
    }
    return list;
}

std::string alsaDefaultServer()
{
    // A default of type "hw" is a card, listed as such; looking at the definition first spares
    // opening it, which on a machine without cards fills the error output.
    snd_config_t* top = nullptr;
    if (snd_config_update_ref(&top) < 0)
        return {};
    snd_config_t* definition = nullptr;
    snd_config_t* type = nullptr;
    const char* typeName = nullptr;
    bool defined = snd_config_search(top, "ctl.default", &definition) >= 0;
    // A definition may name another one ("cards.ctl.default").
    const char* reference = nullptr;
    for (int hop = 0; defined && hop < 4 && snd_config_get_string(definition, &reference) >= 0;
         ++hop)
        defined = snd_config_search(top, reference, &definition) >= 0;
    const bool hardware = defined && snd_config_search(definition, "type", &type) >= 0 &&
                          snd_config_get_string(type, &typeName) >= 0 &&
                          std::strcmp(typeName, "hw") == 0;
    snd_config_unref(top);
    if (!defined || hardware)
        return {};
    snd_ctl_t* ctl = nullptr;
    if (snd_ctl_open(&ctl, "default", 0) < 0)
        return {};
    std::string name;
    if (snd_ctl_type(ctl) != SND_CTL_TYPE_HW) {
        // The server's plugin names it ("PulseAudio", "PipeWire"); a plugin that does not is
        // still not a card.
        snd_ctl_card_info_t* info = nullptr;
        snd_ctl_card_info_alloca(&info);
        if (snd_ctl_card_info(ctl, info) == 0)
            name = snd_ctl_card_info_get_name(info);
        if (name.empty())
            name = "sound server";
    }
    snd_ctl_close(ctl);
    return name;
}

std::shared_ptr<const DeviceEntry> alsaMapper()
{
    auto entry = std::make_shared<AlsaDevice>();
    entry->productName = "Default sound device";
    entry->pcmName = "default";
    return entry;
}

} // namespace platform::wavedev
