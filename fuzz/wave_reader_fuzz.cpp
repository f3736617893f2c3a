// libFuzzer target for WaveFileReader: any file goes through open, read, reset_to_data and read
// again, as a slot's buffer is filled and later refilled. Besides the sanitizers' checks, what
// the reader hands out must lie inside the file and be the file's own bytes, the same on both
// passes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "sound/wave_reader.h"

namespace {

// Data chunks may claim up to 4 GiB; reading is capped as a buffer size would cap it.
const DWORD READ_LIMIT = 1u << 20;

using fuzz::check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzz::input_path(".wav");
    static std::vector<BYTE> first(READ_LIMIT);
    static std::vector<BYTE> second(READ_LIMIT);
    if (!fuzz::write_input(path, data, size)) return 0;

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

    // What the reader offers lies inside the file: a "data" chunk that claims more is cut to
    // what the file holds, so every read of an unchanged file succeeds.
    const DWORD total = reader.data_size();
    const DWORD offset = reader.data_chunk.dwDataOffset;
    check(size_t{offset} + total <= size);
    const DWORD count = std::min(total, READ_LIMIT);
    DWORD got = 1;
    check(reader.read(count, first.data(), &got) == S_OK);
    check(got == count);
    check(reader.bytes_left() == total - count);
    check(std::memcmp(first.data(), data + offset, count) == 0);

    // The file has not changed, so the "data" chunk is found again, with its full size.
    check(reader.reset_to_data() == S_OK);
    check(reader.data_size() == total);
    DWORD done = 0;
    while (done < count) {
        const DWORD piece = std::min<DWORD>(count - done, 4099);
        if (reader.read(piece, second.data() + done, &got) != S_OK) break;
        check(got == piece);
        done += got;
    }
    check(done == count);
    check(std::memcmp(first.data(), second.data(), count) == 0);
    return 0;
}
