// The FLAC and Ogg header readers behind the format caption and dravik-cli info: any bytes give
// an answer within the bounds of the fields they read, never a read past the input.
#include <cstdlib>

#include "stream_headers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (auto info = headers::flacStreamInfo(data, size)) {
        if (info->channels < 1 || info->channels > 8 || info->bitsPerSample < 1 ||
            info->bitsPerSample > 32 || info->sampleRate == 0)
            std::abort();
    }
    (void)headers::isOggOpus(data, size);
    return 0;
}
