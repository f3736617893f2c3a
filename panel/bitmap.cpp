// Reading a bitmap's size.
#include "panel/bitmap.h"

#include <cstdint>
#include <cstdlib>

namespace {

uint32_t little(const std::string& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

}  // namespace

bool bitmap_size(const std::string& bytes, int& width, int& height) {
    // BITMAPFILEHEADER (14 bytes, "BM"), then the info header, which begins with its size.
    if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    const uint32_t header = little(bytes, 14, 4);
    long w = 0, h = 0;
    if (header == 12) {
        w = little(bytes, 18, 2);
        h = little(bytes, 20, 2);
    } else if (header >= 40 && bytes.size() >= 26) {
        w = static_cast<int32_t>(little(bytes, 18, 4));
        h = static_cast<int32_t>(little(bytes, 22, 4));
    } else {
        return false;
    }
    if (w <= 0 || h == 0 || w > 1000000 || std::labs(h) > 1000000) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(std::labs(h));
    return true;
}
