// Interrupted takes: finding, mending, offering, and the leftovers around them.
#include "take_recovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <span>

#include "BrevonWMA.h"
#include "platform/file_io.h"
#include "take_files.h"

namespace takerecovery {

TakeHold::~TakeHold()
{
    if (fd_ >= 0)
        close(fd_);
}

namespace {

// How long a file without sound must have been left alone before it counts as a leftover.
constexpr std::time_t kSettleSeconds = 2;

struct Encoding {
    const char* extension;
    const char* name;
};
constexpr std::array<Encoding, 5> kEncodings = {
    {{".wav", "WAV"}, {".mp3", "MP3"}, {".wma", "WMA"}, {".flac", "FLAC"}, {".opus", "Opus"}}};

// "tmp0001.wav" or ".tmp0001.wav" (a file opened ahead for the next split): its encoding.
const Encoding* takeEncoding(const std::string& name)
{
    size_t at = name.size() > 0 && name[0] == '.' ? 1 : 0;
    if (name.compare(at, 3, "tmp") != 0 || name.size() < at + 7)
        return nullptr;
    for (size_t i = at + 3; i < at + 7; ++i)
        if (name[i] < '0' || name[i] > '9')
            return nullptr;
    std::string extension = name.substr(at + 7);
    for (const Encoding& e : kEncodings)
        if (extension == e.extension)
            return &e;
    return nullptr;
}

// ".NAME.part-XXXXXX" (a move across file systems) or ".NAME.partial-XXXXXXXX" (Save As).
bool isPartialCopy(const std::string& name)
{
    if (name.empty() || name[0] != '.')
        return false;
    auto endsWithMarker = [&](const char* marker, size_t randomLength) {
        size_t markerLength = std::strlen(marker);
        if (name.size() < 2 + markerLength + randomLength)
            return false;
        size_t at = name.size() - randomLength - markerLength;
        if (name.compare(at, markerLength, marker) != 0)
            return false;
        return std::all_of(name.begin() + static_cast<long>(at + markerLength), name.end(),
                           [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
    };
    return endsWithMarker(".part-", 6) || endsWithMarker(".partial-", 8);
}

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return names;
    while (dirent* entry = readdir(dir))
        names.emplace_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Opens a regular file (never through a link) and takes its lock unless someone holds it; -1
// when it is not a regular file, cannot be opened for writing, is held, or was renamed meanwhile.
int openUnheld(const std::string& path)
{
    int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat opened {
    }, named{};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        lstat(path.c_str(), &named) != 0 || named.st_ino != opened.st_ino ||
        named.st_dev != opened.st_dev) {
        close(fd);
        return -1;
    }
    return fd;
}

uint64_t fileSize(int fd)
{
    struct stat info {};
    return fstat(fd, &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

uint64_t little(const uint8_t* bytes, int count)
{
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

bool readAt(int fd, void* buffer, size_t length, uint64_t at)
{
    platform::IoResult got = platform::readAllAt(fd, buffer, length, static_cast<off_t>(at));
    return got.ok() && got.bytes == length;
}

bool writeLittle(int fd, uint64_t value, int count, uint64_t at)
{
    uint8_t bytes[8];
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return platform::writeAllAt(fd, bytes, static_cast<size_t>(count), static_cast<off_t>(at)).ok();
}

// What a look at a take's bytes found.
struct Inspection {
    bool empty = false;      // no sound at all: a leftover
    int64_t hundredths = -1; // -1: the format does not say, or the file cannot be read
    bool repaired = false;
};

// WAV: the data chunk's size (and the RIFF size) from the sound on disk, in whole sample frames.
// A file whose header already matches, or that has chunks after its data, is left as it is.
Inspection inspectWave(int fd, bool mend)
{
    Inspection result;
    const uint64_t size = fileSize(fd);
    uint8_t riff[12];
    if (!readAt(fd, riff, sizeof riff, 0) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0)
        return result;
    uint32_t blockAlign = 0, avgBytes = 0;
    uint64_t at = 12;
    std::optional<uint64_t> dataStart;
    uint64_t declared = 0;
    uint8_t chunk[8];
    while (at + 8 <= size && readAt(fd, chunk, sizeof chunk, at)) {
        uint64_t length = little(chunk + 4, 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t format[16];
            if (length < 16 || !readAt(fd, format, sizeof format, at + 8))
                return result;
            avgBytes = static_cast<uint32_t>(little(format + 8, 4));
            blockAlign = static_cast<uint32_t>(little(format + 12, 2));
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            dataStart = at + 8;
            declared = length;
            break;
        }
        at += 8 + length + (length & 1);
    }
    if (blockAlign == 0 || avgBytes == 0)
        return result;
    if (!dataStart) {
        // The header was written but no sound followed it.
        result.empty = true;
        return result;
    }
    const uint64_t onDisk = size > *dataStart ? size - *dataStart : 0;
    uint64_t whole = onDisk - onDisk % blockAlign;
    // The 32-bit sizes of a take that passed 4 GiB cannot say more than this.
    const uint64_t limit = 0xFFFFFFFFull - *dataStart;
    whole = std::min(whole, limit - limit % blockAlign);
    result.hundredths = static_cast<int64_t>(whole * 100 / avgBytes);
    result.empty = whole == 0;
    if (declared > 0 && declared <= onDisk) {
        // A known chunk after the data, reaching no further than the file: a completed file.
        // Anything less strict could take sound for a chunk and the take for an empty one.
        uint64_t after = *dataStart + declared + (declared & 1);
        uint8_t next[8];
        static constexpr std::array<const char*, 7> kTrailing = {"LIST", "id3 ", "ID3 ", "fact",
                                                                 "cue ", "JUNK", "bext"};
        if (after + 8 <= size && readAt(fd, next, sizeof next, after) &&
            std::any_of(kTrailing.begin(), kTrailing.end(),
                        [&](const char* id) { return std::memcmp(next, id, 4) == 0; }) &&
            after + 8 + little(next + 4, 4) <= size) {
            result.hundredths =
                static_cast<int64_t>(declared / blockAlign * blockAlign * 100 / avgBytes);
            result.empty = declared < blockAlign;
            return result;
        }
    }
    const uint64_t end = *dataStart + whole + (whole & 1);
    const uint64_t riffSize = std::min<uint64_t>(end - 8, 0xFFFFFFFFull);
    if (declared == whole && size == end && little(riff + 4, 4) == riffSize)
        return result;
    if (result.empty || !mend)
        return result;
    // A partial sample frame at the end is cut off; an odd data size gets its pad byte. Sound
    // past what the sizes can say stays in the file.
    const bool capped = whole < onDisk - onDisk % blockAlign;
    bool ok = size == end || capped || ftruncate(fd, static_cast<off_t>(end)) == 0;
    ok = ok && writeLittle(fd, whole, 4, *dataStart - 4) && writeLittle(fd, riffSize, 4, 4);
    result.repaired = ok;
    if (!ok)
        result.hundredths = -1;
    return result;
}

// ASF (WMA): the sizes, packet counts and durations of the header from the whole packets on
// disk; a partly written last packet is cut off. A file closed properly (its index follows the
// data) is left as it is.
Inspection inspectAsf(int fd, bool mend)
{
    static constexpr std::array<uint8_t, 16> kHeader = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66,
                                                        0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA,
                                                        0x00, 0x62, 0xCE, 0x6C};
    static constexpr std::array<uint8_t, 16> kData = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66,
                                                      0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA,
                                                      0x00, 0x62, 0xCE, 0x6C};
    static constexpr std::array<uint8_t, 16> kFileProperties = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9,
                                                                0xCF, 0x11, 0x8E, 0xE4, 0x00, 0xC0,
                                                                0x0C, 0x20, 0x53, 0x65};
    Inspection result;
    const uint64_t size = fileSize(fd);
    uint8_t top[30];
    if (!readAt(fd, top, sizeof top, 0) || !std::equal(kHeader.begin(), kHeader.end(), top))
        return result;
    const uint64_t headerSize = little(top + 16, 8);
    if (headerSize < 30 || headerSize > 1 << 20 || headerSize + 50 > size) {
        // The header is there but no data object yet: nothing was recorded.
        result.empty = headerSize >= 30 && headerSize <= 1 << 20;
        return result;
    }
    std::vector<uint8_t> header(headerSize + 50);
    if (!readAt(fd, header.data(), header.size(), 0))
        return result;
    const uint64_t data = headerSize;
    if (!std::equal(kData.begin(), kData.end(), header.begin() + static_cast<long>(data)))
        return result;
    auto found = std::search(header.begin(), header.begin() + static_cast<long>(data),
                             kFileProperties.begin(), kFileProperties.end());
    const uint64_t props = static_cast<uint64_t>(found - header.begin());
    if (found == header.begin() + static_cast<long>(data) || props + 104 > data)
        return result;
    const uint8_t* p = header.data() + props;
    const uint64_t packetSize = little(p + 92, 4);
    if (packetSize == 0 || packetSize != little(p + 96, 4))
        return result;
    const uint64_t prerollMs = little(p + 80, 8);
    const uint64_t packetsStart = data + 50;
    const uint64_t packets = (size - packetsStart) / packetSize;
    const uint64_t declaredSize = little(header.data() + data + 16, 8);
    const uint64_t declaredPackets = little(header.data() + data + 40, 8);
    const uint64_t playDuration = little(p + 64, 8);
    auto lengthOf = [&](uint64_t play) {
        return static_cast<int64_t>(play > prerollMs * 10000 ? (play - prerollMs * 10000) / 100000
                                                             : 0);
    };
    // Closed properly: the declared data is followed by an index object (or ends the file) and
    // the header counts its packets.
    if (declaredSize == 50 + declaredPackets * packetSize && declaredPackets > 0 &&
        declaredPackets <= packets && little(p + 40, 8) == size) {
        result.hundredths = lengthOf(playDuration);
        return result;
    }
    if (packets == 0 || !mend) {
        result.empty = packets == 0;
        return result;
    }
    // The last whole packet's send time and duration (ms) say how far the sound reaches.
    const uint64_t last = packetsStart + (packets - 1) * packetSize;
    uint8_t head[32];
    if (!readAt(fd, head, sizeof head, last))
        return result;
    size_t at = 0;
    if (head[0] & 0x80)
        at = 1 + (head[0] & 0x0F);
    if (at + 2 > sizeof head)
        return result;
    const uint8_t lengthFlags = head[at];
    at += 2;
    auto fieldSize = [](int type) { return type == 3 ? 4 : type; };
    at +=
        static_cast<size_t>(fieldSize((lengthFlags >> 5) & 3) + fieldSize((lengthFlags >> 1) & 3) +
                            fieldSize((lengthFlags >> 3) & 3));
    if (at + 6 > sizeof head)
        return result;
    const uint64_t sendMs = little(head + at, 4);
    const uint64_t spanMs = little(head + at + 4, 2);
    // The send time and span of the last packet reach the start of its last frame, which is as
    // far as the sound decodes (the decoder holds one frame back).
    const uint64_t duration = (sendMs + spanMs) * 10000;
    const uint64_t end = packetsStart + packets * packetSize;
    bool ok = size == end || ftruncate(fd, static_cast<off_t>(end)) == 0;
    ok = ok && writeLittle(fd, end, 8, props + 40) && writeLittle(fd, packets, 8, props + 56) &&
         writeLittle(fd, duration + prerollMs * 10000, 8, props + 64) &&
         writeLittle(fd, duration, 8, props + 72) && writeLittle(fd, end - data, 8, data + 16) &&
         writeLittle(fd, packets, 8, data + 40);
    result.repaired = ok;
    result.hundredths = ok ? static_cast<int64_t>(duration / 100000) : -1;
    return result;
}

// Ogg (Opus): the pages on disk; a page cut short at the end is removed, the length comes from
// the last page's granule position less the pre-skip.
Inspection inspectOgg(int fd, bool mend)
{
    Inspection result;
    const uint64_t size = fileSize(fd);
    uint64_t at = 0;
    int64_t granule = -1;
    uint64_t preSkip = 0;
    int pages = 0;
    uint8_t page[27 + 255];
    while (at < size) {
        if (at + 27 > size || !readAt(fd, page, 27, at) || std::memcmp(page, "OggS", 4) != 0)
            break;
        const int segments = page[26];
        if (at + 27 + static_cast<uint64_t>(segments) > size ||
            !readAt(fd, page + 27, static_cast<size_t>(segments), at + 27))
            break;
        uint64_t body = 0;
        for (int i = 0; i < segments; ++i)
            body += page[27 + i];
        const uint64_t next = at + 27 + static_cast<uint64_t>(segments) + body;
        if (next > size)
            break;
        if (pages == 0) {
            uint8_t head[12];
            if (body >= 12 && readAt(fd, head, sizeof head, at + 27 + segments) &&
                std::memcmp(head, "OpusHead", 8) == 0)
                preSkip = little(head + 10, 2);
        }
        const auto position = static_cast<int64_t>(little(page + 6, 8));
        if (position != -1)
            granule = std::max(granule, position);
        ++pages;
        at = next;
    }
    if (pages == 0)
        return result;
    result.hundredths = granule > static_cast<int64_t>(preSkip)
                            ? (granule - static_cast<int64_t>(preSkip)) / 480
                            : 0;
    result.empty = granule <= 0;
    if (at < size && !result.empty && mend) {
        // Bytes after the last whole page: a page the kill cut short, or something unknown.
        uint8_t magic[4];
        bool partialPage = size - at < 4 || (readAt(fd, magic, sizeof magic, at) &&
                                             std::memcmp(magic, "OggS", 4) == 0);
        if (partialPage)
            result.repaired = ftruncate(fd, static_cast<off_t>(at)) == 0;
    }
    return result;
}

// FLAC frames: their headers (checked by their CRC-8) and their lengths (a frame is whole when
// its CRC-16 matches).
namespace flac {

uint8_t crc8(const uint8_t* bytes, size_t length)
{
    uint8_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

uint16_t crc16(const uint8_t* bytes, size_t length)
{
    static const std::array<uint16_t, 256> table = [] {
        std::array<uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; ++i) {
            unsigned crc = i << 8;
            for (int bit = 0; bit < 8; ++bit)
                crc = crc & 0x8000 ? (crc << 1) ^ 0x8005 : crc << 1;
            t[i] = static_cast<uint16_t>(crc);
        }
        return t;
    }();
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>((crc << 8) ^ table[(crc >> 8) ^ bytes[i]]);
    return crc;
}

// The samples in the frame whose header starts at bytes[at], or 0 when no valid header is there.
uint32_t frameSamples(const uint8_t* bytes, size_t size, size_t at)
{
    if (at + 6 > size || bytes[at] != 0xFF || (bytes[at + 1] & 0xFE) != 0xF8)
        return 0;
    const int blockCode = bytes[at + 2] >> 4;
    const int rateCode = bytes[at + 2] & 0x0F;
    const int channels = bytes[at + 3] >> 4;
    const int sampleSize = (bytes[at + 3] >> 1) & 7;
    if (blockCode == 0 || rateCode == 15 || channels > 10 || sampleSize == 3 || (bytes[at + 3] & 1))
        return 0;
    // The frame or sample number, coded as UTF-8 is.
    size_t p = at + 4;
    int extra = 0;
    for (uint8_t lead = bytes[p]; lead & 0x80; lead = static_cast<uint8_t>(lead << 1))
        ++extra;
    if (extra == 1 || extra > 7)
        return 0;
    p += extra == 0 ? 1 : static_cast<size_t>(extra);
    uint32_t samples = 0;
    if (blockCode == 1)
        samples = 192;
    else if (blockCode <= 5)
        samples = 576u << (blockCode - 2);
    else if (blockCode >= 8)
        samples = 256u << (blockCode - 8);
    const size_t tail = (blockCode == 6   ? 1
                         : blockCode == 7 ? 2
                                          : 0) +
                        (rateCode == 12                     ? 1
                         : rateCode == 13 || rateCode == 14 ? 2
                                                            : 0);
    if (p + tail >= size)
        return 0;
    if (blockCode == 6)
        samples = bytes[p] + 1u;
    else if (blockCode == 7)
        samples = ((uint32_t(bytes[p]) << 8) | bytes[p + 1]) + 1u;
    return crc8(bytes + at, p + tail - at) == bytes[p + tail] ? samples : 0;
}

} // namespace flac

// FLAC: a file whose metadata is all there is holds no sound. A take cut off while recording
// never had its sample count written into STREAMINFO: it is counted from the whole frames on disk
// and written there, and a frame cut short at the end is removed.
Inspection inspectFlac(int fd, bool mend)
{
    Inspection result;
    const uint64_t size = fileSize(fd);
    uint8_t head[8 + 34];
    if (!readAt(fd, head, sizeof head, 0) || std::memcmp(head, "fLaC", 4) != 0 ||
        (head[4] & 0x7F) != 0)
        return result;
    uint64_t at = 4;
    uint8_t block[4];
    for (;;) {
        if (at + 4 > size || !readAt(fd, block, sizeof block, at))
            return result;
        at += 4 + ((uint64_t(block[1]) << 16) | (uint64_t(block[2]) << 8) | block[3]);
        if (block[0] & 0x80)
            break;
    }
    if (at >= size) {
        result.empty = true;
        return result;
    }
    const uint8_t* info = head + 8;
    const uint32_t rate = (uint32_t(info[10]) << 12) | (uint32_t(info[11]) << 4) | (info[12] >> 4);
    const uint64_t declared = (uint64_t(info[13] & 0x0F) << 32) | (uint64_t(info[14]) << 24) |
                              (uint64_t(info[15]) << 16) | (uint64_t(info[16]) << 8) | info[17];
    if (rate == 0)
        return result;
    if (declared > 0 || !mend) {
        result.hundredths = declared > 0 ? static_cast<int64_t>(declared * 100 / rate) : -1;
        return result;
    }
    // The frames are looked at where they lie (a take of hours is hundreds of megabytes).
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED)
        return result;
    const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(mapped) + at, size - at);
    uint64_t samples = 0;
    size_t frame = 0;
    uint32_t frameLength = flac::frameSamples(bytes.data(), bytes.size(), 0);
    size_t wholeEnd = 0;
    while (frameLength > 0) {
        // The next header whose frame before it checks out; else the frame runs to the end.
        size_t next = frame + 6;
        uint32_t nextLength = 0;
        for (; next + 2 <= bytes.size(); ++next) {
            if (bytes[next] != 0xFF)
                continue;
            nextLength = flac::frameSamples(bytes.data(), bytes.size(), next);
            if (nextLength > 0 && flac::crc16(bytes.data() + frame, next - frame - 2) ==
                                      ((uint16_t(bytes[next - 2]) << 8) | bytes[next - 1]))
                break;
            nextLength = 0;
        }
        const size_t end = nextLength > 0 ? next : bytes.size();
        if (end - frame < 8 || flac::crc16(bytes.data() + frame, end - frame - 2) !=
                                   ((uint16_t(bytes[end - 2]) << 8) | bytes[end - 1]))
            break;
        samples += frameLength;
        wholeEnd = end;
        frame = next;
        frameLength = nextLength;
    }
    munmap(mapped, size);
    if (samples == 0 || samples >> 36)
        return result;
    uint8_t field[5] = {static_cast<uint8_t>((info[13] & 0xF0) | (samples >> 32)),
                        static_cast<uint8_t>(samples >> 24), static_cast<uint8_t>(samples >> 16),
                        static_cast<uint8_t>(samples >> 8), static_cast<uint8_t>(samples)};
    const uint64_t end = at + wholeEnd;
    // The signature of the whole sound, if any, no longer fits: zero says there is none.
    const std::array<uint8_t, 16> noSignature{};
    bool ok = (size == end || ftruncate(fd, static_cast<off_t>(end)) == 0) &&
              platform::writeAllAt(fd, field, sizeof field, 8 + 13).ok() &&
              platform::writeAllAt(fd, noSignature.data(), noSignature.size(), 8 + 18).ok();
    result.repaired = ok;
    result.hundredths = ok ? static_cast<int64_t>(samples * 100 / rate) : -1;
    return result;
}

// Without mend, nothing is written: the look says whether the take holds sound.
Inspection inspect(int fd, const Encoding& encoding, bool mend)
{
    const std::string extension = encoding.extension;
    if (extension == ".wav")
        return inspectWave(fd, mend);
    if (extension == ".wma")
        return inspectAsf(fd, mend);
    if (extension == ".opus")
        return inspectOgg(fd, mend);
    if (extension == ".flac")
        return inspectFlac(fd, mend);
    return {};
}

// The start of the recording: when the file was made, unless the sound on it began later (a file
// opened ahead waits for its split); without a birth time, the last write less the length.
std::time_t recordingStart(int fd, int64_t hundredths)
{
    struct statx info {};
    std::time_t lastWrite = 0;
    std::time_t born = 0;
    if (statx(fd, "", AT_EMPTY_PATH, STATX_MTIME | STATX_BTIME, &info) == 0) {
        lastWrite = static_cast<std::time_t>(info.stx_mtime.tv_sec);
        if (info.stx_mask & STATX_BTIME)
            born = static_cast<std::time_t>(info.stx_btime.tv_sec);
    }
    std::time_t fromLength = hundredths > 0 ? lastWrite - hundredths / 100 : lastWrite;
    return born > 0 ? std::max(born, std::min(fromLength, lastWrite)) : fromLength;
}

bool removeQuietly(const std::string& path, int fd, Found& found)
{
    bool removed = unlink(path.c_str()) == 0;
    if (fd >= 0)
        close(fd);
    if (removed)
        found.removed.push_back(path);
    return removed;
}

void removePartialCopies(const std::string& saveFolder, int ageSeconds, Found& found)
{
    const std::time_t now = std::time(nullptr);
    for (const std::string& name : namesIn(saveFolder)) {
        if (!isPartialCopy(name))
            continue;
        const std::string path = saveFolder + "/" + name;
        int fd = openUnheld(path);
        if (fd < 0)
            continue;
        struct stat info {};
        if (fstat(fd, &info) != 0 || now - info.st_mtime < ageSeconds) {
            close(fd);
            continue;
        }
        removeQuietly(path, fd, found);
    }
}

} // namespace

int64_t readerLength(const std::string& path)
{
    if (WMAReaderOpen(path.c_str()) != 0) {
        WMAReaderClose();
        return -1;
    }
    WAVEFORMATEX format{};
    const bool sound = WMAReaderGetWfx(&format) == 0 && format.nAvgBytesPerSec > 0;
    const uint64_t duration = WMAReaderm_cnsFileDuration();
    WMAReaderClose();
    return sound ? static_cast<int64_t>(duration / 100000) : -1;
}

Found scan(const std::string& tempFolder, const std::string& saveFolder, const ScanOptions& options)
{
    Found found;
    for (const std::string& name : namesIn(tempFolder)) {
        const Encoding* encoding = takeEncoding(name);
        if (!encoding)
            continue;
        const std::string path = tempFolder + "/" + name;
        int fd = openUnheld(path);
        if (fd < 0)
            continue;
        // A file without sound is a leftover once nobody has touched it for a while; until
        // then it may be one a recorder has just created and not yet locked.
        const bool empty = fileSize(fd) == 0 || inspect(fd, *encoding, false).empty;
        if (empty) {
            struct stat info {};
            if (fstat(fd, &info) == 0 && std::time(nullptr) - info.st_mtime >= kSettleSeconds)
                removeQuietly(path, fd, found);
            else
                close(fd);
            continue;
        }
        Inspection look = inspect(fd, *encoding, true);
        if (look.hundredths < 0 && options.measure && options.probe &&
            std::string(encoding->extension) != ".wav")
            look.hundredths = options.probe(path);
        Take take;
        take.path = path;
        take.name = name;
        take.encoding = encoding->name;
        take.extension = encoding->extension;
        take.hundredths = look.hundredths;
        take.repaired = look.repaired;
        take.recorded = recordingStart(fd, look.hundredths);
        take.hold = std::make_shared<TakeHold>(fd);
        found.takes.push_back(std::move(take));
    }
    std::stable_sort(found.takes.begin(), found.takes.end(),
                     [](const Take& a, const Take& b) { return a.recorded < b.recorded; });
    if (!saveFolder.empty())
        removePartialCopies(saveFolder, options.partialAgeSeconds, found);
    return found;
}

std::string autoSavePath(const Take& take, const std::string& saveFolder, const std::string& prefix)
{
    std::tm start{};
    std::time_t when = take.recorded;
    localtime_r(&when, &start);
    return takefiles::distinctPath(saveFolder + "/" + takefiles::safePrefix(prefix) +
                                   takefiles::autoSaveSuffix(1, start, 0, 0) + take.extension);
}

std::string save(Take& take, const std::string& destination, std::string& savedAs)
{
    std::string error;
    // Another program may take the name between the look and the move: then the next one.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string target = takefiles::distinctPath(destination);
        error = takefiles::moveFile(take.path, target);
        if (error.empty()) {
            savedAs = target;
            break;
        }
        std::error_code ignored;
        if (!std::filesystem::exists(std::filesystem::symlink_status(target, ignored)))
            break;
    }
    if (error.empty())
        take.hold.reset();
    return error;
}

std::string discard(Take& take)
{
    if (unlink(take.path.c_str()) != 0 && errno != ENOENT)
        return "cannot delete " + take.path + ": " + std::strerror(errno);
    take.hold.reset();
    return {};
}

std::string lengthText(int64_t hundredths)
{
    if (hundredths < 0)
        return "unknown";
    char text[32];
    std::snprintf(
        text, sizeof text, "%02lld:%02lld:%02lld.%02lld",
        static_cast<long long>(hundredths / 360000), static_cast<long long>(hundredths / 6000 % 60),
        static_cast<long long>(hundredths / 100 % 60), static_cast<long long>(hundredths % 100));
    return text;
}

std::string timeText(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace takerecovery
