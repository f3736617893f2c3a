// Owns WaveFileReader: the RIFF/WAVE header check, the format block copied out of "fmt ", the
// search for "data", and the copying of sample bytes straight out of the multimedia I/O buffer.
#include "sound/wave_reader.h"

#include <cstdlib>
#include <cstring>

namespace {

const FOURCC FOURCC_WAVE = mmioFOURCC('W', 'A', 'V', 'E');
const FOURCC FOURCC_FMT = mmioFOURCC('f', 'm', 't', ' ');
const FOURCC FOURCC_DATA = mmioFOURCC('d', 'a', 't', 'a');
// The part of "fmt " that every format shares: WAVEFORMATEX without cbSize.
const LONG FORMAT_FIELDS_SIZE = 16;
const DWORD FORMAT_BLOCK_SIZE = sizeof(WAVEFORMATEX);

static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX must have the file's packed layout");

// E_FAIL, the one code every refusal gives, with the check that gave it.
HRESULT refuse(WaveRefusal* why, WaveRefusal reason) {
    if (why) *why = reason;
    return E_FAIL;
}

}  // namespace

WaveFileReader::~WaveFileReader() {
    close();
    std::free(format);
    format = nullptr;
}

HRESULT WaveFileReader::open(const char* path) {
    // A reader is opened once; should it be opened again, the old file is not left open.
    close();
    std::free(format);
    format = nullptr;
    refusal = WaveRefusal::NONE;
    HRESULT result = open_wave_file(path, file, format, riff_chunk, &refusal);
    if (FAILED(result)) return result;
    return reset_to_data();
}

HRESULT WaveFileReader::reset_to_data() {
    refusal = WaveRefusal::NONE;
    if (!file) return refuse(&refusal, WaveRefusal::NOT_OPEN);
    HRESULT result = seek_data_chunk(file, data_chunk, riff_chunk, &refusal);
    if (FAILED(result)) return result;
    return limit_data_to_file(file, data_chunk, format, &refusal);
}

HRESULT WaveFileReader::read(DWORD count, BYTE* destination, DWORD* bytes_read) {
    refusal = WaveRefusal::NONE;
    if (!file) {
        *bytes_read = 0;
        return refuse(&refusal, WaveRefusal::NOT_OPEN);
    }
    return read_data_bytes(file, count, destination, data_chunk, bytes_read, &refusal);
}

HRESULT WaveFileReader::close() {
    if (file) {
        mmioClose(file, 0);
        file = nullptr;
    }
    return S_OK;
}

HRESULT open_wave_file(const char* path, HMMIO& file, WAVEFORMATEX*& format, MMCKINFO& riff_chunk,
                       WaveRefusal* why) {
    // mmioOpenA takes a writable name only for MMIO_PARSE, which is not asked for here.
    HMMIO handle = mmioOpenA(const_cast<LPSTR>(path), nullptr, MMIO_ALLOCBUF | MMIO_READ);
    if (!handle) return refuse(why, WaveRefusal::CANNOT_OPEN);
    HRESULT result = read_wave_header(handle, riff_chunk, format, why);
    if (FAILED(result)) {
        mmioClose(handle, 0);
        return result;
    }
    file = handle;
    return S_OK;
}

HRESULT read_wave_header(HMMIO file, MMCKINFO& riff_chunk, WAVEFORMATEX*& format,
                         WaveRefusal* why) {
    format = nullptr;
    if (mmioDescend(file, &riff_chunk, nullptr, 0) != MMSYSERR_NOERROR)
        return refuse(why, WaveRefusal::NO_RIFF_HEADER);
    if (riff_chunk.ckid != FOURCC_RIFF) return refuse(why, WaveRefusal::NOT_RIFF);
    if (riff_chunk.fccType != FOURCC_WAVE) return refuse(why, WaveRefusal::NOT_WAVE);

    MMCKINFO format_chunk = {};
    format_chunk.ckid = FOURCC_FMT;
    if (mmioDescend(file, &format_chunk, &riff_chunk, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return refuse(why, WaveRefusal::NO_FORMAT_CHUNK);
    if (format_chunk.cksize < static_cast<DWORD>(FORMAT_FIELDS_SIZE))
        return refuse(why, WaveRefusal::FORMAT_TOO_SHORT);

    WAVEFORMATEX fields = {};
    if (mmioRead(file, reinterpret_cast<HPSTR>(&fields), FORMAT_FIELDS_SIZE) < FORMAT_FIELDS_SIZE)
        return refuse(why, WaveRefusal::FORMAT_CUT);

    if (fields.wFormatTag == WAVE_FORMAT_PCM) {
        // PCM has no extra bytes; whatever else the chunk holds is skipped.
        format = static_cast<WAVEFORMATEX*>(std::malloc(FORMAT_BLOCK_SIZE));
        if (!format) return refuse(why, WaveRefusal::NO_MEMORY);
        std::memcpy(format, &fields, FORMAT_FIELDS_SIZE);
        format->cbSize = 0;
    } else {
        // The count is the two bytes after the first 16, whatever size the chunk declares.
        WORD extra = 0;
        if (mmioRead(file, reinterpret_cast<HPSTR>(&extra), sizeof extra) < LONG{sizeof extra})
            return refuse(why, WaveRefusal::NO_EXTRA_COUNT);
        format = static_cast<WAVEFORMATEX*>(std::malloc(FORMAT_BLOCK_SIZE + extra));
        if (!format) return refuse(why, WaveRefusal::NO_MEMORY);
        std::memcpy(format, &fields, FORMAT_FIELDS_SIZE);
        format->cbSize = extra;
        if (mmioRead(file, reinterpret_cast<HPSTR>(format) + FORMAT_BLOCK_SIZE, extra) < extra) {
            std::free(format);
            format = nullptr;
            return refuse(why, WaveRefusal::EXTRA_CUT);
        }
    }

    if (mmioAscend(file, &format_chunk, 0) != MMSYSERR_NOERROR) {
        std::free(format);
        format = nullptr;
        return refuse(why, WaveRefusal::FORMAT_NOT_LEFT);
    }
    return S_OK;
}

HRESULT seek_data_chunk(HMMIO file, MMCKINFO& data_chunk, const MMCKINFO& riff_chunk,
                        WaveRefusal* why) {
    // The first subchunk begins right behind the form type.
    LONG first_subchunk = static_cast<LONG>(riff_chunk.dwDataOffset + sizeof(FOURCC));
    if (mmioSeek(file, first_subchunk, SEEK_SET) == -1)
        return refuse(why, WaveRefusal::DATA_NOT_REACHED);
    data_chunk.ckid = FOURCC_DATA;
    if (mmioDescend(file, &data_chunk, &riff_chunk, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return refuse(why, WaveRefusal::NO_DATA_CHUNK);
    return S_OK;
}

HRESULT limit_data_to_file(HMMIO file, MMCKINFO& data_chunk, const WAVEFORMATEX* format,
                           WaveRefusal* why) {
    const LONG end = mmioSeek(file, 0, SEEK_END);
    // Back to the first sample byte, where the search for "data" left the file.
    if (mmioSeek(file, static_cast<LONG>(data_chunk.dwDataOffset), SEEK_SET) == -1)
        return refuse(why, WaveRefusal::DATA_NOT_REACHED);
    if (end == -1) return S_OK;
    const DWORD held = static_cast<DWORD>(end) > data_chunk.dwDataOffset
                           ? static_cast<DWORD>(end) - data_chunk.dwDataOffset
                           : 0;
    if (data_chunk.cksize <= held) return S_OK;
    data_chunk.cksize = held;
    if (format && format->nBlockAlign > 1) data_chunk.cksize -= held % format->nBlockAlign;
    return S_OK;
}

HRESULT read_data_bytes(HMMIO file, DWORD count, BYTE* destination, MMCKINFO& data_chunk,
                        DWORD* bytes_read, WaveRefusal* why) {
    *bytes_read = 0;
    MMIOINFO info;
    if (mmioGetInfo(file, &info, 0) != MMSYSERR_NOERROR) return refuse(why, WaveRefusal::DATA_CUT);

    // The count comes off what is left before any byte is copied, so a read that fails part way
    // has still used up its share; reset_to_data starts over.
    DWORD n = count < data_chunk.cksize ? count : data_chunk.cksize;
    data_chunk.cksize -= n;

    // Straight out of the I/O buffer, a whole buffered run at a time. "Used up" includes a
    // pchNext past pchEndRead, so nothing outside the valid bytes is ever copied.
    DWORD copied = 0;
    while (copied < n) {
        if (info.pchEndRead - info.pchNext <= 0) {
            if (mmioAdvance(file, &info, MMIO_READ) != MMSYSERR_NOERROR)
                return refuse(why, WaveRefusal::DATA_CUT);
            if (info.pchEndRead - info.pchNext <= 0)  // the file has ended
                return refuse(why, WaveRefusal::DATA_CUT);
        }
        size_t available = static_cast<size_t>(info.pchEndRead - info.pchNext);
        size_t run = n - copied < available ? n - copied : available;
        std::memcpy(destination + copied, info.pchNext, run);
        info.pchNext += run;
        copied += static_cast<DWORD>(run);
    }

    if (mmioSetInfo(file, &info, 0) != MMSYSERR_NOERROR) return refuse(why, WaveRefusal::DATA_CUT);
    *bytes_read = n;
    return S_OK;
}
