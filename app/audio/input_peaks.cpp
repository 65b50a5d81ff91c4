// Block peaks and full-scale counts: one pass over the samples, channels in turn.
#include "input_peaks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

BlockPeaks measureBlockPeaks(const uint8_t* data, uint32_t length, const WAVEFORMATEX& format)
{
    BlockPeaks peaks;
    const int channels = std::clamp<int>(format.nChannels, 1, 2);
    if (format.wBitsPerSample == 16) {
        const uint32_t samples = length / 2;
        for (uint32_t i = 0; i < samples; ++i) {
            int16_t v;
            std::memcpy(&v, data + size_t(i) * 2, 2);
            const int c = channels == 2 ? int(i & 1) : 0;
            const auto magnitude = static_cast<uint32_t>(std::abs(int32_t(v)));
            peaks.peak[c] = std::max(peaks.peak[c], magnitude);
            peaks.fullScale[c] += (v == 32767 || v == -32768) ? 1 : 0;
        }
    } else if (format.wBitsPerSample == 8) {
        for (uint32_t i = 0; i < length; ++i) {
            const int b = data[i];
            const int c = channels == 2 ? int(i & 1) : 0;
            // 0 and 255 are both full scale: 128 below and 127 above the middle.
            const auto magnitude =
                static_cast<uint32_t>(b >= 128 ? (b - 128) * 32768 / 127 : (128 - b) * 256);
            peaks.peak[c] = std::max(peaks.peak[c], magnitude);
            peaks.fullScale[c] += (b == 0 || b == 255) ? 1 : 0;
        }
    }
    if (channels == 1) {
        peaks.peak[1] = peaks.peak[0];
        peaks.fullScale[1] = peaks.fullScale[0];
    }
    return peaks;
}

double peakDbfs(uint32_t peak)
{
    if (peak == 0)
        return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(double(peak) / 32768.0);
}
