// Test helper: a WAVEFORMATEX for a plain format, its block and byte rate derived as Windows
// expects them.
#pragma once

#include "platform/win32.h"

inline WAVEFORMATEX make_format(WORD tag, WORD channels, DWORD rate, WORD bits) {
    WAVEFORMATEX format = {};
    format.wFormatTag = tag;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    return format;
}
