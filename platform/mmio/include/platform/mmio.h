// RIFF file I/O: open a file, create chunks, descend into and ascend out of them (ascending out
// of a created chunk writes its size and pad byte), read, write and seek. Backed by POSIX files.
#pragma once

#include <cstdint>

namespace platform {

using FOURCC = uint32_t;
using MMRESULT = uint32_t;

constexpr FOURCC mmioFOURCC(char a, char b, char c, char d)
{
    return static_cast<FOURCC>(static_cast<uint8_t>(a)) |
           static_cast<FOURCC>(static_cast<uint8_t>(b)) << 8 |
           static_cast<FOURCC>(static_cast<uint8_t>(c)) << 16 |
           static_cast<FOURCC>(static_cast<uint8_t>(d)) << 24;
}

constexpr FOURCC FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
constexpr FOURCC FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');

// Open flags.
constexpr uint32_t MMIO_READ = 0x0000;
constexpr uint32_t MMIO_WRITE = 0x0001;
constexpr uint32_t MMIO_READWRITE = 0x0002;
constexpr uint32_t MMIO_EXCLUSIVE = 0x0010;
constexpr uint32_t MMIO_CREATE = 0x1000;

// Chunk flags: how to descend or create, and the mark of a chunk created by this handle.
constexpr uint32_t MMIO_FINDCHUNK = 0x0010;
constexpr uint32_t MMIO_FINDRIFF = 0x0020;
constexpr uint32_t MMIO_FINDLIST = 0x0040;
constexpr uint32_t MMIO_CREATERIFF = 0x0020;
constexpr uint32_t MMIO_CREATELIST = 0x0040;
constexpr uint32_t MMIO_DIRTY = 0x10000000;

// Results.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMIOERR_CANNOTREAD = 259;
constexpr MMRESULT MMIOERR_CANNOTWRITE = 260;
constexpr MMRESULT MMIOERR_CANNOTSEEK = 261;
constexpr MMRESULT MMIOERR_CANNOTEXPAND = 262;
constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = 263;

// Seek origins (those of lseek).
constexpr int MMIO_SEEK_SET = 0;
constexpr int MMIO_SEEK_CUR = 1;
constexpr int MMIO_SEEK_END = 2;

// A chunk: its id, size (of the data; for RIFF and LIST including the form type), form type,
// the file offset of its data, and flags.
struct MMCKINFO {
    FOURCC ckid = 0;
    uint32_t cksize = 0;
    FOURCC fccType = 0;
    uint32_t dwDataOffset = 0;
    uint32_t dwFlags = 0;
};

struct MmioFile;
using HMMIO = MmioFile*;

// Opens a file; MMIO_CREATE creates or truncates it. Null when the file cannot be opened.
HMMIO mmioOpen(const char* path, uint32_t flags);
MMRESULT mmioClose(HMMIO file);

// Bytes read or written, or -1 on an error. A failed write leaves the position where it was and
// the file as long as it was, so a partly written block never counts.
int32_t mmioRead(HMMIO file, void* buffer, int32_t count);
int32_t mmioWrite(HMMIO file, const void* buffer, int32_t count);
// The new position, or -1.
int64_t mmioSeek(HMMIO file, int64_t offset, int origin);

// Writes a chunk header at the current position (with the form type for RIFF and LIST) and
// leaves the position at the start of the chunk's data.
MMRESULT mmioCreateChunk(HMMIO file, MMCKINFO* chunk, uint32_t flags);
// Reads the chunk header at the current position, or searches (MMIO_FINDCHUNK, MMIO_FINDRIFF,
// MMIO_FINDLIST) for the chunk named in `chunk` up to the end of `parent` (or of the file).
// On success the position is at the chunk's data (after the form type for RIFF and LIST).
MMRESULT mmioDescend(HMMIO file, MMCKINFO* chunk, const MMCKINFO* parent, uint32_t flags);
// Leaves a chunk: a created one gets its size written and a pad byte after odd data; the
// position moves past the chunk's end.
MMRESULT mmioAscend(HMMIO file, MMCKINFO* chunk, uint32_t flags);

// Writes the size of a created chunk as it stands at the current position into its header,
// without leaving the chunk or moving the position: a file cut short keeps valid sizes.
MMRESULT mmioUpdateChunkSize(HMMIO file, const MMCKINFO* chunk);

} // namespace platform
