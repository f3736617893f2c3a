// The size of a Windows bitmap (.bmp) from its headers, as a gauge's images are sized.
#pragma once

#include <cstddef>
#include <string>

// No bitmap larger than this is read for its size.
constexpr size_t BITMAP_SIZE_LIMIT = 16u << 20;

// Width and height in pixels of the bitmap in `bytes` (a BITMAPINFOHEADER or a later header,
// or the old BITMAPCOREHEADER; a top-down bitmap's negative height taken as its size). False
// when the bytes are not a bitmap.
bool bitmap_size(const std::string& bytes, int& width, int& height);
