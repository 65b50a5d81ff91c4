// MP3 reader over the codec library's conversion.
#include "mp3_reader.h"

#include <algorithm>
#include <cstring>

#include "BrevonCodec.h"

namespace file {

bool Mp3Reader::setUp(WAVEFORMATEX* format, uint32_t* decompressedSize)
{
    uint32_t chunk = kChunksPerSecond;
    if (!AcmFileConvert(file_.fd(), &chunk, format, decompressedSize)) {
        CleanUpAcmFileConvert();
        return false;
    }
    firstFrame_ = file_.position();
    compressed_.assign(chunk, 0);
    pcm_.assign(*decompressedSize, 0);
    pcmStart_ = pcmLength_ = 0;
    return true;
}

bool Mp3Reader::open(const char* path, uint32_t* decompressedSize, WAVEFORMATEX* format)
{
    close();
    if (!decompressedSize || !format || !file_.open(path))
        return false;
    if (!setUp(format, decompressedSize)) {
        file_.close();
        return false;
    }
    return true;
}

bool Mp3Reader::close()
{
    if (!file_.isOpen())
        return false;
    CleanUpAcmFileConvert();
    compressed_.clear();
    pcm_.clear();
    pcmStart_ = pcmLength_ = 0;
    return file_.close();
}

bool Mp3Reader::playStart(uint64_t offset)
{
    if (!file_.isOpen())
        return false;
    // A new set-up gives a decoder without the state of the last position.
    WAVEFORMATEX format{};
    uint32_t decompressedSize = 0;
    if (!setUp(&format, &decompressedSize))
        return false;
    return offset <= firstFrame_ || file_.seek(offset);
}

void Mp3Reader::fill(FillRequest& request)
{
    if (pcmLength_ == 0 && file_.isOpen() && !compressed_.empty()) {
        pcmStart_ = 0;
        // A chunk that completes no frame (damaged data) does not end the sound; the end of the
        // file does, once the decoder has given out what it still holds.
        for (;;) {
            uint32_t read =
                file_.read(compressed_.data(), static_cast<uint32_t>(compressed_.size()));
            Decompress(read > 0 ? compressed_.data() : nullptr, read, pcm_.data(), &pcmLength_);
            if (pcmLength_ > 0 || read == 0)
                break;
        }
    }
    const uint32_t delivered = request.buffer ? std::min(request.length, pcmLength_) : 0;
    if (delivered > 0)
        std::memcpy(request.buffer, pcm_.data() + pcmStart_, delivered);
    pcmStart_ += delivered;
    pcmLength_ -= delivered;
    request.length = delivered;
    request.filePosition = file_.position();
}

} // namespace file
