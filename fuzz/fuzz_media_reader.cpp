// The media (WMA) reader: open through the runtime, start, let the clock release everything and
// wait for the end of the delivery, then close.
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "BrevonWMA.h"
#include "fuzz_input.h"

namespace {

std::mutex mutex;
std::condition_variable ended;
bool atEnd = false;
uint64_t checksum = 0;

intptr_t onSample(WMASampleInfo* info, uint64_t*)
{
    std::lock_guard lock(mutex);
    // Every byte delivered is read, so that the sanitizers see a buffer that is too short.
    for (uint32_t i = 0; i < info->byteCount; ++i)
        checksum += info->data[i];
    if (info->byteCount == 0) {
        atEnd = true;
        ended.notify_all();
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool created = [] {
        if (WMAReaderCreate() != 0)
            std::abort();
        WMAReaderOnSample(onSample);
        return true;
    }();
    (void)created;
    const std::string path = fuzz::writeInput(data, size, "input.wma");
    if (WMAReaderOpen(path.c_str()) != 0)
        return 0;
    WAVEFORMATEX format{};
    WMAReaderGetWfx(&format);
    {
        std::lock_guard lock(mutex);
        atEnd = false;
    }
    if (WMAReaderStart(0, 0) == 0) {
        // Ten hours of clock: everything the file holds is released at once.
        uint64_t clock = 10ull * 3600 * 10'000'000;
        WMAReaderGetSampleProc(&clock, 0);
        std::unique_lock lock(mutex);
        ended.wait(lock, [] { return atEnd; });
    }
    WMAReaderStop();
    WMAReaderClose();
    return 0;
}
