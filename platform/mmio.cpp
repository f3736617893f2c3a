// Owns the multimedia file I/O stand-in: mmioOpenA and the calls on its handles, reading RIFF
// files through an I/O buffer the way Windows' buffered file procedure does. Files are opened
// for reading only, which is all the module asks for.
//
// Files come from strangers, so chunk sizes are never trusted: offsets are kept in 64 bits
// inside, a size near 2^32 cannot wrap a position backwards, and every search ends.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <set>
#include <string>

#include "platform/paths.h"
#include "platform/standin_core.h"
#include "platform/win32.h"

namespace {

// Windows' I/O procedure for ordinary files.
const FOURCC FOURCC_DOS = mmioFOURCC('D', 'O', 'S', ' ');
// Sharing flags (MMIO_EXCLUSIVE ... MMIO_DENYNONE) mean nothing here and are accepted.
const DWORD MMIO_SHARE_FLAGS = 0x00000070;
const DWORD MMIO_RWMODE = 0x00000003;
const int64_t CHUNK_HEADER_SIZE = 8;

// The I/O buffer is a window of cchBuffer bytes that moves through a larger read-ahead block:
// a refill inside the block only moves the window, so sample data is copied once by the kernel
// and once by the caller, and a whole file takes few system calls. pchBuffer therefore moves
// with each refill; mmioAdvance hands the new one back with pchNext and pchEndRead, and callers
// that read through pchNext and pchEndRead, as Windows documents, see no difference.
const LONG READ_AHEAD_SIZE = 64 * 1024;

struct MmioFile {
    int fd = -1;
    MMIOINFO info = {};
    char* block = nullptr;
    int64_t block_size = 0;
    int64_t block_offset = 0;  // file offset of block[0]
    int64_t block_valid = 0;   // bytes of the file in the block
    // File offset of pchBuffer[0] (the file position when unbuffered), and where the next
    // refill reads from. info.lBufOffset and info.lDiskOffset are their LONG copies.
    int64_t buffer_offset = 0;
    int64_t disk_offset = 0;
};

std::set<MmioFile*>& open_files() {
    static std::set<MmioFile*> files;
    return files;
}

MmioFile* lookup(HMMIO handle) {
    MmioFile* file = reinterpret_cast<MmioFile*>(handle);
    return open_files().count(file) ? file : nullptr;
}

LONG as_long(int64_t value) {
    return static_cast<LONG>(std::min<int64_t>(value, LONG_MAX));
}

void sync_offsets(MmioFile& file) {
    file.info.lBufOffset = as_long(file.buffer_offset);
    file.info.lDiskOffset = as_long(file.disk_offset);
}

// Bytes still unread in the buffer. A caller's mmioSetInfo may leave pchNext behind pchEndRead;
// that counts as none rather than as a negative length.
int64_t buffered_bytes(const MmioFile& file) {
    return std::max<int64_t>(0, file.info.pchEndRead - file.info.pchNext);
}

int64_t position(const MmioFile& file) {
    return file.buffer_offset + (file.info.pchNext - file.info.pchBuffer);
}

// Reads up to `count` bytes at `offset`; fewer only at the end of the file. -1 on an error.
int64_t read_at(int fd, int64_t offset, char* destination, int64_t count) {
    int64_t done = 0;
    while (done < count) {
        ssize_t got = ::pread(fd, destination + done, static_cast<size_t>(count - done),
                              static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += got;
    }
    return done;
}

// Fills the buffer with the file's bytes from `start` on: a full buffer unless the file ends.
bool load_buffer(MmioFile& file, int64_t start) {
    const LONG size = file.info.cchBuffer;
    bool ok = true;
    if (start < file.block_offset || start + size > file.block_offset + file.block_valid) {
        int64_t got = read_at(file.fd, start, file.block, file.block_size);
        ok = got >= 0;
        file.block_offset = start;
        file.block_valid = std::max<int64_t>(got, 0);
    }
    int64_t valid = std::min<int64_t>(size, file.block_offset + file.block_valid - start);
    file.info.pchBuffer = file.info.pchNext = file.block + (start - file.block_offset);
    file.info.pchEndRead = file.info.pchBuffer + valid;
    file.info.pchEndWrite = file.info.pchBuffer + size;
    file.buffer_offset = start;
    file.disk_offset = start + valid;
    sync_offsets(file);
    return ok;
}

bool refill(MmioFile& file) {
    return load_buffer(file, file.disk_offset);
}

bool seek_to(MmioFile& file, int64_t target) {
    if (!file.info.pchBuffer) {
        file.buffer_offset = target;
        return true;
    }
    int64_t valid = file.info.pchEndRead - file.info.pchBuffer;
    if (target >= file.buffer_offset && target <= file.buffer_offset + valid) {
        file.info.pchNext = file.info.pchBuffer + (target - file.buffer_offset);
        return true;
    }
    // Outside the buffer, Windows leaves an empty buffer standing at the target: the next read
    // or mmioAdvance fills it from there, so a caller that advances right after a seek gets the
    // bytes at the position it asked for. The read-ahead block still saves the system call when
    // it holds them.
    file.buffer_offset = file.disk_offset = target;
    file.info.pchNext = file.info.pchEndRead = file.info.pchBuffer;
    sync_offsets(file);
    return true;
}

// Reads up to `count` bytes at the file position through the buffer. -1 on an error.
int64_t read_bytes(MmioFile& file, char* destination, int64_t count) {
    if (!file.info.pchBuffer) {
        int64_t got = read_at(file.fd, file.buffer_offset, destination, count);
        if (got > 0) file.buffer_offset += got;
        return got;
    }
    int64_t done = 0;
    while (done < count) {
        int64_t available = buffered_bytes(file);
        if (available == 0) {
            if (!refill(file)) return -1;
            if (file.info.pchEndRead == file.info.pchNext) break;
            continue;
        }
        int64_t run = std::min(count - done, available);
        std::memcpy(destination + done, file.info.pchNext, static_cast<size_t>(run));
        file.info.pchNext += run;
        done += run;
    }
    return done;
}

void trace_open(const char* path, bool found, const std::string& resolved) {
    if (!standin::tracing()) return;
    standin::emit("open", {{"via", "mmioOpenA"},
                           {"path", standin::ansi_field(path)},
                           {"resolved", found ? standin::host_field(resolved) : nullptr}});
}

HMMIO fail_open(LPMMIOINFO info, UINT error) {
    if (info) info->wErrorRet = error;
    return nullptr;
}

}  // namespace

CUEBOX_PLATFORM_API HMMIO mmioOpenA(LPSTR file_name, LPMMIOINFO info, DWORD flags) {
    standin::count_call("mmioOpenA");
    bool found = false;
    std::string resolved = standin::resolve_path(file_name, &found);
    trace_open(file_name, found, resolved);

    if ((flags & MMIO_RWMODE) != MMIO_READ ||
        (flags & ~(MMIO_RWMODE | MMIO_SHARE_FLAGS | MMIO_ALLOCBUF)) != 0)
        return fail_open(info, MMSYSERR_INVALPARAM);
    if (!file_name) return fail_open(info, MMIOERR_CANNOTOPEN);

    int fd = standin::open_regular_file(resolved);
    if (fd < 0) return fail_open(info, errno == EACCES ? MMIOERR_CANNOTOPEN : MMIOERR_FILENOTFOUND);

    MmioFile* file = new (std::nothrow) MmioFile;
    LONG size = (info && info->cchBuffer > 0) ? info->cchBuffer : MMIO_DEFAULTBUFFER;
    int64_t block_size = int64_t{size} * std::max<LONG>(1, READ_AHEAD_SIZE / size);
    if (file && (flags & MMIO_ALLOCBUF)) {
        file->block = new (std::nothrow) char[block_size]();
        file->block_size = block_size;
    }
    if (!file || ((flags & MMIO_ALLOCBUF) && !file->block)) {
        delete file;
        ::close(fd);
        return fail_open(info, MMIOERR_OUTOFMEMORY);
    }

    HMMIO handle = reinterpret_cast<HMMIO>(file);
    file->fd = fd;
    file->info.dwFlags = flags;
    file->info.fccIOProc = FOURCC_DOS;
    file->info.cchBuffer = file->block ? size : 0;
    file->info.pchBuffer = file->info.pchNext = file->info.pchEndRead = file->block;
    file->info.pchEndWrite = file->block ? file->block + size : nullptr;
    file->info.adwInfo[0] = static_cast<DWORD>(fd);
    file->info.hmmio = handle;
    open_files().insert(file);
    if (info) info->wErrorRet = MMSYSERR_NOERROR;
    return handle;
}

CUEBOX_PLATFORM_API long standin_open_mmio_files(void) {
    return static_cast<long>(open_files().size());
}

CUEBOX_PLATFORM_API MMRESULT mmioClose(HMMIO handle, UINT) {
    standin::count_call("mmioClose");
    MmioFile* file = lookup(handle);
    if (!file) return MMSYSERR_INVALHANDLE;
    open_files().erase(file);
    int closed = ::close(file->fd);
    delete[] file->block;
    delete file;
    return closed == 0 ? MMSYSERR_NOERROR : MMIOERR_CANNOTCLOSE;
}

CUEBOX_PLATFORM_API LONG mmioRead(HMMIO handle, HPSTR destination, LONG count) {
    standin::count_call("mmioRead");
    MmioFile* file = lookup(handle);
    if (!file || (count > 0 && !destination)) return -1;
    // Wine reads nothing for a negative count and says so with 0.
    if (count <= 0) return 0;
    return static_cast<LONG>(read_bytes(*file, destination, count));
}

CUEBOX_PLATFORM_API LONG mmioSeek(HMMIO handle, LONG offset, int origin) {
    standin::count_call("mmioSeek");
    MmioFile* file = lookup(handle);
    // Wine answers a bad handle with the error code itself, not -1.
    if (!file) return MMSYSERR_INVALHANDLE;
    int64_t base = 0;
    if (origin == SEEK_CUR) {
        base = position(*file);
    } else if (origin == SEEK_END) {
        struct stat status;
        if (::fstat(file->fd, &status) != 0) return -1;
        // "lOffset bytes from the end": Wine counts a positive offset back from the end.
        base = status.st_size;
        offset = -offset;
    } else if (origin != SEEK_SET) {
        return -1;
    }
    int64_t target = base + offset;
    if (target < 0 || target > LONG_MAX || !seek_to(*file, target)) return -1;
    return static_cast<LONG>(target);
}

// Where a chunk ends: behind its data and the pad byte that follows odd-sized data.
static int64_t chunk_end(const MMCKINFO& chunk) {
    return int64_t{chunk.dwDataOffset} + ((int64_t{chunk.cksize} + 1) & ~int64_t{1});
}

CUEBOX_PLATFORM_API MMRESULT mmioDescend(HMMIO handle, LPMMCKINFO chunk, LPCMMCKINFO parent,
                                         UINT flags) {
    standin::count_call("mmioDescend");
    MmioFile* file = lookup(handle);
    if (!file) return MMSYSERR_INVALHANDLE;
    if (!chunk) return MMSYSERR_INVALPARAM;

    // What to look for; with none of the FIND flags, the chunk at the current position.
    FOURCC wanted_id = 0;
    FOURCC wanted_type = 0;
    if (flags & MMIO_FINDCHUNK) {
        wanted_id = chunk->ckid;
    } else if (flags & MMIO_FINDRIFF) {
        wanted_id = FOURCC_RIFF;
        wanted_type = chunk->fccType;
    } else if (flags & MMIO_FINDLIST) {
        wanted_id = FOURCC_LIST;
        wanted_type = chunk->fccType;
    }

    const int64_t start = position(*file);
    int64_t end = INT64_MAX;
    if (parent) {
        end = int64_t{parent->dwDataOffset} + parent->cksize;
        if (start < parent->dwDataOffset || start >= end) return MMIOERR_CHUNKNOTFOUND;
    }

    int64_t at = start;
    bool any = false;
    MMCKINFO last = {};
    // A chunk whose header starts at the parent's end or later is not the parent's; neither is
    // one whose data would begin beyond what dwDataOffset can say.
    while (at < end && at + CHUNK_HEADER_SIZE <= UINT32_MAX && seek_to(*file, at)) {
        DWORD header[2];
        if (read_bytes(*file, reinterpret_cast<char*>(header), sizeof header) != sizeof header)
            break;
        MMCKINFO found = {header[0], header[1], 0, static_cast<DWORD>(at + CHUNK_HEADER_SIZE), 0};
        any = true;
        last = found;
        if (found.ckid == FOURCC_RIFF || found.ckid == FOURCC_LIST) {
            if (read_bytes(*file, reinterpret_cast<char*>(&found.fccType), sizeof(FOURCC)) !=
                sizeof(FOURCC))
                break;
            last.fccType = found.fccType;
        }
        if ((!wanted_id || found.ckid == wanted_id) &&
            (!wanted_type || found.fccType == wanted_type)) {
            // The file now stands at the chunk's data, or behind the form type of a RIFF or LIST.
            *chunk = found;
            return MMSYSERR_NOERROR;
        }
        // On to the next chunk.
        at = chunk_end(found);
    }
    // Windows reads each header into the caller's record, so a failed search leaves the last
    // one read there (but its size).
    if (any) {
        chunk->ckid = last.ckid;
        chunk->fccType = last.fccType;
        chunk->dwDataOffset = last.dwDataOffset;
    }
    seek_to(*file, start);
    return MMIOERR_CHUNKNOTFOUND;
}

CUEBOX_PLATFORM_API MMRESULT mmioAscend(HMMIO handle, LPMMCKINFO chunk, UINT) {
    standin::count_call("mmioAscend");
    MmioFile* file = lookup(handle);
    if (!file) return MMSYSERR_INVALHANDLE;
    if (!chunk) return MMSYSERR_INVALPARAM;
    // Nothing is ever written here, so a chunk marked dirty cannot have its size corrected.
    if (chunk->dwFlags & MMIO_DIRTY) return MMIOERR_CANNOTWRITE;
    return seek_to(*file, chunk_end(*chunk)) ? MMSYSERR_NOERROR : MMIOERR_CANNOTSEEK;
}

CUEBOX_PLATFORM_API MMRESULT mmioGetInfo(HMMIO handle, LPMMIOINFO info, UINT) {
    standin::count_call("mmioGetInfo");
    MmioFile* file = lookup(handle);
    if (!file) return MMSYSERR_INVALHANDLE;
    if (!info) return MMSYSERR_INVALPARAM;
    sync_offsets(*file);
    *info = file->info;
    return MMSYSERR_NOERROR;
}

CUEBOX_PLATFORM_API MMRESULT mmioSetInfo(HMMIO handle, LPCMMIOINFO info, UINT) {
    standin::count_call("mmioSetInfo");
    MmioFile* file = lookup(handle);
    if (!file) return MMSYSERR_INVALHANDLE;
    if (!info) return MMSYSERR_INVALPARAM;
    const char* first = file->info.pchBuffer;
    const char* last = first + file->info.cchBuffer;
    for (const char* pointer : {info->pchNext, info->pchEndRead}) {
        if (pointer < first || pointer > last) return MMSYSERR_INVALPARAM;
    }
    file->info.pchNext = info->pchNext;
    file->info.pchEndRead = info->pchEndRead;
    return MMSYSERR_NOERROR;
}

CUEBOX_PLATFORM_API MMRESULT mmioAdvance(HMMIO handle, LPMMIOINFO info, UINT flags) {
    standin::count_call("mmioAdvance");
    MmioFile* file = lookup(handle);
    if (!file) return MMSYSERR_INVALHANDLE;
    if (!file->info.pchBuffer) return MMIOERR_UNBUFFERED;
    if (flags == MMIO_WRITE) return MMIOERR_CANNOTWRITE;
    if (flags != MMIO_READ) return MMSYSERR_INVALPARAM;
    // The next block is the one after the last block read, whatever the caller did inside the
    // buffer.
    if (!refill(*file)) return MMIOERR_CANNOTREAD;
    if (info) {
        info->pchBuffer = file->info.pchBuffer;
        info->pchNext = file->info.pchNext;
        info->pchEndRead = file->info.pchEndRead;
        info->pchEndWrite = file->info.pchEndWrite;
        info->lBufOffset = file->info.lBufOffset;
        info->lDiskOffset = file->info.lDiskOffset;
    }
    return MMSYSERR_NOERROR;
}
