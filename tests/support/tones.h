// Test sound helpers: writes WAV files of pure tones, so each slot sounds different, and reads
// a rendered or captured WAV file back to tell which tones sound when.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tones {

inline void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
inline void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// A PCM WAV file holding a sine of `frequency` Hz at `amplitude` (0..1) of full scale.
inline bool write_tone(const std::string& path, double frequency, double seconds,
                       uint32_t rate = 22050, uint16_t channels = 1, uint16_t bits = 16,
                       double amplitude = 0.5) {
    const uint32_t frames = static_cast<uint32_t>(seconds * rate);
    const uint16_t block = static_cast<uint16_t>(channels * bits / 8);
    std::string data;
    const double pi = 3.14159265358979323846;
    for (uint32_t i = 0; i < frames; ++i) {
        const double s = amplitude * std::sin(2 * pi * frequency * i / rate);
        for (uint16_t c = 0; c < channels; ++c) {
            if (bits == 8) {
                data += static_cast<char>(static_cast<uint8_t>(128 + std::lround(s * 127)));
            } else {
                put16(data, static_cast<uint16_t>(static_cast<int16_t>(std::lround(s * 32767))));
            }
        }
    }
    std::string file = "RIFF";
    put32(file, 36 + static_cast<uint32_t>(data.size()));
    file += "WAVEfmt ";
    put32(file, 16);
    put16(file, 1);
    put16(file, channels);
    put32(file, rate);
    put32(file, rate * block);
    put16(file, block);
    put16(file, bits);
    file += "data";
    put32(file, static_cast<uint32_t>(data.size()));
    file += data;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}

// A 16-bit PCM WAV file (any channel count) as mono samples in -1..1.
struct Recording {
    uint32_t rate = 0;
    std::vector<float> samples;
};

inline bool read_recording(const std::string& path, Recording& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    auto u32 = [&](size_t at) {
        return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
    };
    if (bytes.size() < 12 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF") return false;
    uint16_t channels = 0, bits = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id(bytes.begin() + at, bytes.begin() + at + 4);
        size_t size = u32(at + 4);
        if (id == "fmt " && at + 24 <= bytes.size()) {
            channels = static_cast<uint16_t>(bytes[at + 10] | bytes[at + 11] << 8);
            out.rate = u32(at + 12);
            bits = static_cast<uint16_t>(bytes[at + 22] | bytes[at + 23] << 8);
        } else if (id == "data") {
            if (bits != 16 || channels == 0) return false;
            // A stream still being written may declare more than it holds.
            size = std::min(size, bytes.size() - at - 8);
            const size_t frames = size / (2u * channels);
            out.samples.resize(frames);
            for (size_t i = 0; i < frames; ++i) {
                double sum = 0;
                for (uint16_t c = 0; c < channels; ++c) {
                    const size_t p = at + 8 + (i * channels + c) * 2;
                    sum += static_cast<int16_t>(bytes[p] | bytes[p + 1] << 8) / 32768.0;
                }
                out.samples[i] = static_cast<float>(sum / channels);
            }
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

// The amplitude of the `frequency` component between `from` and `to` seconds (Goertzel).
inline double tone_level(const Recording& r, double frequency, double from, double to) {
    const size_t first = static_cast<size_t>(std::max(0.0, from) * r.rate);
    const size_t last = std::min(r.samples.size(), static_cast<size_t>(to * r.rate));
    if (last <= first) return 0.0;
    const double w = 2 * 3.14159265358979323846 * frequency / r.rate;
    const double k = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = first; i < last; ++i) {
        const double s0 = r.samples[i] + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    return 2 * std::sqrt(std::max(0.0, power)) / static_cast<double>(last - first);
}

}  // namespace tones
