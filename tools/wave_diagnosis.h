// Why the module's WAV reader refused a file, in words for the author who made it: the reader
// names the check that failed, and this adds what the file holds there.
#pragma once

#include <string>

#include "sound/wave_reader.h"

struct WaveDiagnosis {
    std::string reason;  // cannot_open, not_riff, not_wave, no_fmt, fmt_too_short, ...
    std::string detail;
};

// The reason and its detail for a file at `path` (named as the module names it) that the reader
// refused with `refusal`; "unknown" for a refusal that the file's bytes do not explain.
WaveDiagnosis diagnose_wave(const std::string& path, WaveRefusal refusal);
