// WaveFileReader: opens a RIFF/WAVE file through the multimedia file I/O calls, keeps its format
// block, finds the "data" chunk and hands out the sample bytes, again and again from the start.
#pragma once

#include "platform/win32.h"

// Which of the reader's checks refused a file. The module goes by the result codes alone; the
// tools read this to tell an author why a file stays silent.
enum class WaveRefusal {
    NONE,
    CANNOT_OPEN,           // the file does not open for reading
    NO_RIFF_HEADER,        // the first chunk header cannot be read
    NOT_RIFF,              // the first chunk is no "RIFF" chunk
    NOT_WAVE,              // its form type is not "WAVE"
    NO_FORMAT_CHUNK,       // no "fmt " chunk in the RIFF chunk
    FORMAT_TOO_SHORT,      // the "fmt " chunk declares fewer than 16 bytes
    FORMAT_CUT,            // the file ends inside those 16 bytes
    NO_EXTRA_COUNT,        // a format other than PCM without the count of its extra bytes
    EXTRA_CUT,             // the file ends inside the extra bytes
    NO_MEMORY,             // the format block cannot be allocated
    FORMAT_NOT_LEFT,       // the file cannot be left behind the "fmt " chunk
    NO_DATA_CHUNK,         // no "data" chunk in the RIFF chunk
    DATA_NOT_REACHED,      // the file cannot be positioned at the subchunks or the sample data
    NOT_OPEN,              // a read or a reset of a reader that holds no file
    DATA_CUT,              // the file ends or fails inside the sample data
};

class WaveFileReader {
public:
    WaveFileReader() = default;
    ~WaveFileReader();
    WaveFileReader(const WaveFileReader&) = delete;
    WaveFileReader& operator=(const WaveFileReader&) = delete;

    HRESULT open(const char* path);
    HRESULT reset_to_data();
    HRESULT read(DWORD count, BYTE* destination, DWORD* bytes_read);
    HRESULT close();

    // The record keeps one count of sample bytes, `data_chunk.cksize`, which every read lowers;
    // these two say which of its meanings a caller wants.
    // The whole sample data. Holds only while the reader stands at the data start: after an
    // open or a reset_to_data that succeeded, before any read.
    DWORD data_size() const { return data_chunk.cksize; }
    // The sample bytes still to be read from where the reader stands: the whole data at the
    // data start, less after each read, 0 at the end.
    DWORD bytes_left() const { return data_chunk.cksize; }

    // Fields in this order; the slot buffers read `format` and, through the two above,
    // `data_chunk`.
    WAVEFORMATEX* format = nullptr;
    HMMIO file = nullptr;
    MMCKINFO data_chunk = {};
    MMCKINFO riff_chunk = {};
    // Which check refused the last open, reset or read; NONE after one that succeeded.
    WaveRefusal refusal = WaveRefusal::NONE;
};

// The reader's steps, over the handle and chunk records that the reader passes in. Each one that
// fails stores the check that refused the file in `why`, when given.
HRESULT open_wave_file(const char* path, HMMIO& file, WAVEFORMATEX*& format, MMCKINFO& riff_chunk,
                       WaveRefusal* why = nullptr);
HRESULT read_wave_header(HMMIO file, MMCKINFO& riff_chunk, WAVEFORMATEX*& format,
                         WaveRefusal* why = nullptr);
HRESULT seek_data_chunk(HMMIO file, MMCKINFO& data_chunk, const MMCKINFO& riff_chunk,
                        WaveRefusal* why = nullptr);
// A "data" chunk that declares more bytes than the file holds after the chunk's start is taken
// as what the file holds, in whole sample frames of `format`: a truncated file plays what it
// has, and a size field that lies costs no memory. A complete chunk keeps its size. Leaves the
// file at the chunk's first byte.
HRESULT limit_data_to_file(HMMIO file, MMCKINFO& data_chunk, const WAVEFORMATEX* format,
                           WaveRefusal* why = nullptr);
HRESULT read_data_bytes(HMMIO file, DWORD count, BYTE* destination, MMCKINFO& data_chunk,
                        DWORD* bytes_read, WaveRefusal* why = nullptr);
