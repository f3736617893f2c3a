// WaveFileReader: opens a RIFF/WAVE file through the multimedia file I/O calls, keeps its format
// block, finds the "data" chunk and hands out the sample bytes, again and again from the start.
#pragma once

#include "platform/win32.h"

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

    // Fields in this order; the slot buffers read `format` and `data_chunk`.
    WAVEFORMATEX* format = nullptr;
    HMMIO file = nullptr;
    MMCKINFO data_chunk = {};
    MMCKINFO riff_chunk = {};
};

// The reader's steps, over the handle and chunk records that the reader passes in.
HRESULT open_wave_file(const char* path, HMMIO& file, WAVEFORMATEX*& format, MMCKINFO& riff_chunk);
HRESULT read_wave_header(HMMIO file, MMCKINFO& riff_chunk, WAVEFORMATEX*& format);
HRESULT seek_data_chunk(HMMIO file, MMCKINFO& data_chunk, const MMCKINFO& riff_chunk);
// A "data" chunk that declares more bytes than the file holds after the chunk's start is taken
// as what the file holds, in whole sample frames of `format`: a truncated file plays what it
// has, and a size field that lies costs no memory. A complete chunk keeps its size. Leaves the
// file at the chunk's first byte.
HRESULT limit_data_to_file(HMMIO file, MMCKINFO& data_chunk, const WAVEFORMATEX* format);
HRESULT read_data_bytes(HMMIO file, DWORD count, BYTE* destination, MMCKINFO& data_chunk,
                        DWORD* bytes_read);
