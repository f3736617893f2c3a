// libFuzzer target for WaveFileReader: any file goes through open, read, reset_to_data and read
// again, as a slot's buffer is filled and later refilled. Besides the sanitizers' checks, what
// the reader hands out must be the file's own bytes, the same on both passes.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sound/wave_reader.h"

namespace {

// Data chunks may claim up to 4 GiB; reading is capped as a buffer size would cap it.
const DWORD READ_LIMIT = 1u << 20;

// The file the input is written to: CUEBOX_FUZZ_INPUT, or one per process in memory where
// there is a tmpfs. libFuzzer ends without running exit handlers, so the caller removes it.
const std::string& input_path() {
    static const std::string path = [] {
        const char* chosen = std::getenv("CUEBOX_FUZZ_INPUT");
        if (chosen && *chosen) return std::string(chosen);
        const char* folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(folder) + "/cuebox_fuzz_" + std::to_string(::getpid()) + ".wav";
    }();
    return path;
}

void check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = input_path();
    static std::vector<BYTE> first(READ_LIMIT);
    static std::vector<BYTE> second(READ_LIMIT);

    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return 0;
    bool written = std::fwrite(data, 1, size, out) == size;
    if (std::fclose(out) != 0 || !written) return 0;

    WaveFileReader reader;
    if (reader.open(path.c_str()) != S_OK) {
        // A failed open holds a format block exactly when it keeps the file open.
        check((reader.file == nullptr) == (reader.format == nullptr));
        return 0;
    }

    // The whole format block must be there, 18 bytes and cbSize more, for the platform to read.
    static volatile unsigned sink;
    const BYTE* format = reinterpret_cast<const BYTE*>(reader.format);
    for (size_t i = 0; i < sizeof(WAVEFORMATEX) + reader.format->cbSize; ++i)
        sink = sink + format[i];

    const DWORD total = reader.data_chunk.cksize;
    const DWORD offset = reader.data_chunk.dwDataOffset;
    const DWORD count = std::min(total, READ_LIMIT);
    DWORD got = 1;
    const HRESULT first_result = reader.read(count, first.data(), &got);
    check(first_result == S_OK ? got == count : got == 0);
    check(reader.data_chunk.cksize == total - count);
    if (first_result == S_OK) {
        check(size_t{offset} + count <= size);
        check(std::memcmp(first.data(), data + offset, count) == 0);
    }

    // The file has not changed, so the "data" chunk is found again, with its full size.
    check(reader.reset_to_data() == S_OK);
    check(reader.data_chunk.cksize == total);
    DWORD done = 0;
    while (done < count) {
        const DWORD piece = std::min<DWORD>(count - done, 4099);
        if (reader.read(piece, second.data() + done, &got) != S_OK) break;
        check(got == piece);
        done += got;
    }
    if (first_result == S_OK) {
        check(done == count);
        check(std::memcmp(first.data(), second.data(), count) == 0);
    }
    return 0;
}
