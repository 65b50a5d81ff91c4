// The WAV reader: open, play through with the engine's fills, and play again from the middle.
#include <vector>

#include "BrevonFile.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzz::writeInput(data, size, "input.wav");
    WAVEFORMATEX format{};
    if (!ReadOpenWaveFile(path.c_str(), &format))
        return 0;
    std::vector<uint8_t> buffer(4096);
    for (uint64_t offset : {uint64_t{0}, GetDataSize() / 2}) {
        if (!WaveOutPlayStartCallBackProc(&offset, 0))
            continue;
        for (;;) {
            FillRequest request{buffer.data(), static_cast<uint32_t>(buffer.size()), 0};
            FillWaveDataCallBackProc(&request, 0);
            if (request.length == 0)
                break;
        }
    }
    ReadCloseFile();
    return 0;
}
