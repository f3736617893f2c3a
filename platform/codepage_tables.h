// The tables behind platform/codepage.cpp: per single-byte code page, the characters of its
// upper 128 bytes and the characters that map onto one of its bytes only as a near fit.
#pragma once

#include <cstddef>

namespace codepage {

struct BestFit {
    char16_t character;
    unsigned char byte;
};

struct SingleBytePage {
    int number;
    const char16_t* upper;    // the characters of bytes 0x80-0xFF
    const BestFit* best_fit;  // sorted by character
    size_t best_fit_count;
};

extern const SingleBytePage single_byte_pages[];
extern const int single_byte_page_count;

}  // namespace codepage
