// RIFF file I/O over a POSIX file descriptor. The handle keeps its own position and the file's
// length, so reads and writes go through pread/pwrite and a failed write can be undone.
#include "platform/mmio.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_io.h"

namespace platform {

struct MmioFile {
    int fd = -1;
    int64_t position = 0;
    int64_t length = 0;
};

namespace {

bool readAt(HMMIO file, int64_t offset, void* buffer, size_t count)
{
    IoResult result = readAllAt(file->fd, buffer, count, offset);
    return result.ok() && result.bytes == count;
}

bool writeAt(HMMIO file, int64_t offset, const void* buffer, size_t count)
{
    return writeAllAt(file->fd, buffer, count, offset).ok();
}

// Writes at `offset`; on a failure the file is cut back to its former length so that no partial
// bytes remain past the old end.
bool writeOrUndo(HMMIO file, int64_t offset, const void* buffer, size_t count)
{
    if (writeAt(file, offset, buffer, count)) {
        if (offset + static_cast<int64_t>(count) > file->length)
            file->length = offset + static_cast<int64_t>(count);
        return true;
    }
    if (ftruncate(file->fd, file->length) != 0) {
        // Nothing more can be done; the sizes written at the ascent still exclude these bytes.
    }
    return false;
}

bool writeWord(HMMIO file, int64_t offset, uint32_t value)
{
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return writeOrUndo(file, offset, bytes, sizeof bytes);
}

uint32_t word(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool isContainer(FOURCC id)
{
    return id == FOURCC_RIFF || id == FOURCC_LIST;
}

// Reads the chunk header at `offset` into `chunk`; false when it does not fit before `end`.
bool readHeader(HMMIO file, int64_t offset, int64_t end, MMCKINFO* chunk)
{
    uint8_t header[12];
    if (offset + 8 > end || offset + 8 > UINT32_MAX || !readAt(file, offset, header, 8))
        return false;
    chunk->ckid = word(header);
    chunk->cksize = word(header + 4);
    chunk->dwDataOffset = static_cast<uint32_t>(offset + 8);
    chunk->dwFlags = 0;
    chunk->fccType = 0;
    if (isContainer(chunk->ckid)) {
        if (offset + 12 > end || !readAt(file, offset + 8, header + 8, 4))
            return false;
        chunk->fccType = word(header + 8);
    }
    return true;
}

int64_t dataStart(const MMCKINFO& chunk)
{
    return chunk.dwDataOffset + (isContainer(chunk.ckid) ? 4 : 0);
}

bool matches(const MMCKINFO& found, const MMCKINFO& wanted, uint32_t flags)
{
    if (flags & MMIO_FINDRIFF)
        return found.ckid == FOURCC_RIFF && found.fccType == wanted.fccType;
    if (flags & MMIO_FINDLIST)
        return found.ckid == FOURCC_LIST && found.fccType == wanted.fccType;
    return found.ckid == wanted.ckid;
}

} // namespace

HMMIO mmioOpen(const char* path, uint32_t flags)
{
    if (!path)
        return nullptr;
    int mode = O_RDONLY;
    if (flags & MMIO_WRITE)
        mode = O_WRONLY;
    if (flags & MMIO_READWRITE)
        mode = O_RDWR;
    if (flags & MMIO_CREATE)
        mode = (mode == O_RDONLY ? O_RDWR : mode) | O_CREAT;
    int fd = open(path, mode | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    // An exclusive open keeps other writers of ours off the file (advisory, best effort); a file
    // held by another is refused before it is emptied.
    if ((flags & MMIO_EXCLUSIVE) && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(fd);
        return nullptr;
    }
    if ((flags & MMIO_CREATE) && ftruncate(fd, 0) != 0) {
        struct stat kind {};
        if (fstat(fd, &kind) != 0 || S_ISREG(kind.st_mode)) {
            close(fd);
            return nullptr;
        }
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        close(fd);
        return nullptr;
    }
    auto* file = new MmioFile;
    file->fd = fd;
    file->length = S_ISREG(info.st_mode) ? info.st_size : 0;
    return file;
}

MMRESULT mmioClose(HMMIO file)
{
    if (!file)
        return MMSYSERR_INVALPARAM;
    int result = close(file->fd);
    delete file;
    return result == 0 ? MMSYSERR_NOERROR : MMIOERR_CANNOTWRITE;
}

int32_t mmioRead(HMMIO file, void* buffer, int32_t count)
{
    if (!file || count < 0 || (!buffer && count > 0))
        return -1;
    IoResult result = readAllAt(file->fd, buffer, static_cast<size_t>(count), file->position);
    if (!result.ok())
        return -1;
    const auto done = static_cast<int32_t>(result.bytes);
    file->position += done;
    return done;
}

int32_t mmioWrite(HMMIO file, const void* buffer, int32_t count)
{
    if (!file || count < 0 || (!buffer && count > 0))
        return -1;
    if (!writeOrUndo(file, file->position, buffer, static_cast<size_t>(count)))
        return -1;
    file->position += count;
    return count;
}

int64_t mmioSeek(HMMIO file, int64_t offset, int origin)
{
    if (!file)
        return -1;
    int64_t base = origin == MMIO_SEEK_CUR   ? file->position
                   : origin == MMIO_SEEK_END ? file->length
                                             : 0;
    if (origin != MMIO_SEEK_SET && origin != MMIO_SEEK_CUR && origin != MMIO_SEEK_END)
        return -1;
    if (base + offset < 0)
        return -1;
    file->position = base + offset;
    return file->position;
}

MMRESULT mmioCreateChunk(HMMIO file, MMCKINFO* chunk, uint32_t flags)
{
    if (!file || !chunk)
        return MMSYSERR_INVALPARAM;
    if (flags & MMIO_CREATERIFF)
        chunk->ckid = FOURCC_RIFF;
    else if (flags & MMIO_CREATELIST)
        chunk->ckid = FOURCC_LIST;
    int64_t start = file->position;
    if (start + 12 > UINT32_MAX)
        return MMIOERR_CANNOTEXPAND;
    uint8_t header[12];
    uint32_t fields[3] = {chunk->ckid, chunk->cksize, chunk->fccType};
    for (int i = 0; i < 3; ++i)
        for (int b = 0; b < 4; ++b)
            header[i * 4 + b] = static_cast<uint8_t>(fields[i] >> (8 * b));
    size_t count = isContainer(chunk->ckid) ? 12 : 8;
    if (!writeOrUndo(file, start, header, count))
        return MMIOERR_CANNOTWRITE;
    chunk->dwDataOffset = static_cast<uint32_t>(start + 8);
    chunk->dwFlags = MMIO_DIRTY;
    file->position = start + static_cast<int64_t>(count);
    return MMSYSERR_NOERROR;
}

MMRESULT mmioDescend(HMMIO file, MMCKINFO* chunk, const MMCKINFO* parent, uint32_t flags)
{
    if (!file || !chunk)
        return MMSYSERR_INVALPARAM;
    int64_t end = file->length;
    if (parent) {
        int64_t parentEnd = static_cast<int64_t>(parent->dwDataOffset) + parent->cksize;
        if (parentEnd < end)
            end = parentEnd;
    }
    const uint32_t searching = flags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST);
    int64_t offset = file->position;
    MMCKINFO found;
    // Every step moves forward by at least the 8-byte header, so damaged sizes end the search
    // at the end of the file instead of looping.
    while (readHeader(file, offset, end, &found)) {
        if (!searching || matches(found, *chunk, flags)) {
            *chunk = found;
            file->position = dataStart(found);
            return MMSYSERR_NOERROR;
        }
        offset = static_cast<int64_t>(found.dwDataOffset) + found.cksize + (found.cksize & 1);
    }
    file->position = end > file->position ? end : file->position;
    return MMIOERR_CHUNKNOTFOUND;
}

MMRESULT mmioAscend(HMMIO file, MMCKINFO* chunk, uint32_t /*flags*/)
{
    if (!file || !chunk)
        return MMSYSERR_INVALPARAM;
    if (chunk->dwFlags & MMIO_DIRTY) {
        int64_t size = file->position - chunk->dwDataOffset;
        if (size < 0 || size > UINT32_MAX)
            return MMIOERR_CANNOTWRITE;
        if (static_cast<uint32_t>(size) != chunk->cksize) {
            if (!writeWord(file, chunk->dwDataOffset - 4, static_cast<uint32_t>(size)))
                return MMIOERR_CANNOTWRITE;
            chunk->cksize = static_cast<uint32_t>(size);
        }
        if (size & 1) {
            const uint8_t pad = 0;
            if (!writeOrUndo(file, chunk->dwDataOffset + size, &pad, 1))
                return MMIOERR_CANNOTWRITE;
        }
        chunk->dwFlags &= ~MMIO_DIRTY;
    }
    file->position =
        static_cast<int64_t>(chunk->dwDataOffset) + chunk->cksize + (chunk->cksize & 1);
    return MMSYSERR_NOERROR;
}

MMRESULT mmioUpdateChunkSize(HMMIO file, const MMCKINFO* chunk)
{
    if (!file || !chunk || !(chunk->dwFlags & MMIO_DIRTY))
        return MMSYSERR_INVALPARAM;
    int64_t size = file->position - chunk->dwDataOffset;
    if (size < 0 || size > UINT32_MAX)
        return MMIOERR_CANNOTWRITE;
    return writeWord(file, chunk->dwDataOffset - 4, static_cast<uint32_t>(size))
               ? MMSYSERR_NOERROR
               : MMIOERR_CANNOTWRITE;
}

} // namespace platform
