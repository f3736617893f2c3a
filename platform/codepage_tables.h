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

// A lower-case letter and its upper case, sorted by the first.
struct CaseMapping {
    char16_t lower;
    char16_t upper;
};

extern const SingleBytePage single_byte_pages[];
extern const int single_byte_page_count;
extern const CaseMapping upper_case_letters[];
extern const size_t upper_case_letter_count;

}  // namespace codepage
