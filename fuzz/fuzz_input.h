// Shared pieces of the fuzz targets: the file an input is written to for the parsers that read
// files through the platform (the WAV reader, the profile reader), and the check that stops the
// run when something the parser promises does not hold.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// Ends the run as a crash, so libFuzzer keeps the input; the sanitizers find the rest.
inline void check(bool condition) {
    if (!condition) __builtin_trap();
}

// The file an input goes into: CUEBOX_FUZZ_INPUT, or one per process in memory where there is
// a tmpfs. libFuzzer ends without running exit handlers, so the caller removes it.
inline const std::string& input_path(const char* suffix) {
    static const std::string path = [suffix] {
        const char* chosen = std::getenv("CUEBOX_FUZZ_INPUT");
        if (chosen && *chosen) return std::string(chosen) + suffix;
        const char* folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(folder) + "/cuebox_fuzz_" + std::to_string(::getpid()) + suffix;
    }();
    return path;
}

// Writes `size` bytes to the input file; false when it cannot.
inline bool write_input(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, out) == size;
    return std::fclose(out) == 0 && written;
}

}  // namespace fuzz
