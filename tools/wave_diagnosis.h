// Why the module's WAV reader refused a file, in words for the author who made it, and how
// many bytes a file's "data" chunk declares against what the file holds.
#pragma once

#include <cstdint>
#include <string>

struct WaveDiagnosis {
    std::string reason;  // cannot_open, not_riff, not_wave, no_fmt, fmt_too_short, ...
    std::string detail;
};

// Which of the reader's checks a file fails, read from its bytes. Called only for files the
// reader refused; "unknown" when these bytes do not show why.
WaveDiagnosis diagnose_wave(const std::string& path);

// How many bytes the file's "data" chunk declares, and how many of them the file holds. The
// reader plays what the file holds; the rest is worth a warning.
struct DeclaredData {
    uint64_t size = 0;
    uint64_t held = 0;
};

DeclaredData declared_data(const std::string& path);
