// Test helper: builds RIFF files byte by byte from a list of chunks (with pad bytes, or with
// sizes that lie) and writes them to temporary files. Standard C++ only, so every test program,
// native or Windows, can use it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace riff {

using Bytes = std::vector<uint8_t>;

inline void append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

inline void append_le16(Bytes& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void append_le32(Bytes& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

inline void append_id(Bytes& out, const std::string& id) {
    for (size_t i = 0; i < 4; ++i) out.push_back(i < id.size() ? static_cast<uint8_t>(id[i]) : ' ');
}

inline Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// `count` bytes of a pattern that differs from byte to byte, so misplaced bytes show.
inline Bytes pattern(size_t count, uint32_t seed = 1) {
    Bytes out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<uint8_t>((i * 31 + seed * 7 + i / 251) & 0xFF);
    return out;
}

// A chunk: id, size field, data and, after odd-sized data, a zero pad byte (`pad` false leaves
// it out).
inline Bytes chunk(const std::string& id, const Bytes& data, bool pad = true) {
    Bytes out;
    append_id(out, id);
    append_le32(out, static_cast<uint32_t>(data.size()));
    append(out, data);
    if (pad && data.size() % 2 == 1) out.push_back(0);
    return out;
}

// A chunk whose size field says `declared_size`, whatever it holds; no pad byte is added.
inline Bytes chunk_with_size(const std::string& id, uint32_t declared_size, const Bytes& data) {
    Bytes out;
    append_id(out, id);
    append_le32(out, declared_size);
    append(out, data);
    return out;
}

// A LIST chunk of the given list type holding already built subchunks.
inline Bytes list(const std::string& type, const Bytes& subchunks) {
    Bytes data;
    append_id(data, type);
    append(data, subchunks);
    return chunk("LIST", data);
}

// A LIST/INFO chunk with one comment, as audio tools write them.
inline Bytes info_list(const std::string& comment) {
    Bytes text_bytes = text(comment);
    text_bytes.push_back(0);
    return list("INFO", chunk("ICMT", text_bytes));
}

// The first 16 bytes of a "fmt " chunk.
inline Bytes format_fields(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    uint16_t block_align = static_cast<uint16_t>(channels * ((bits + 7) / 8));
    Bytes out;
    append_le16(out, tag);
    append_le16(out, channels);
    append_le32(out, rate);
    append_le32(out, rate * block_align);
    append_le16(out, block_align);
    append_le16(out, bits);
    return out;
}

inline Bytes pcm_format(uint16_t channels, uint32_t rate, uint16_t bits) {
    return chunk("fmt ", format_fields(1, channels, rate, bits));
}

// A whole RIFF file of the given form around already built chunks.
inline Bytes file(const Bytes& chunks, const std::string& form = "WAVE") {
    Bytes data;
    append_id(data, form);
    append(data, chunks);
    return chunk("RIFF", data, false);
}

// The same with a RIFF size field that says `declared_size`, and another id than "RIFF" if asked.
inline Bytes file_with_size(uint32_t declared_size, const Bytes& chunks,
                            const std::string& form = "WAVE", const std::string& id = "RIFF") {
    Bytes data;
    append_id(data, form);
    append(data, chunks);
    return chunk_with_size(id, declared_size, data);
}

// A plain PCM WAV file: "fmt " then "data".
inline Bytes wav(const Bytes& samples, uint16_t channels = 1, uint32_t rate = 22050,
                 uint16_t bits = 16) {
    Bytes chunks = pcm_format(channels, rate, bits);
    append(chunks, chunk("data", samples));
    return file(chunks);
}

// A file in the temporary folder that is removed when the object goes.
class TempFile {
  public:
    explicit TempFile(const Bytes& contents, const std::string& suffix = ".wav") {
        static unsigned counter = 0;
        std::random_device random;
        path_ = temp_folder() + "cuebox_riff_" + std::to_string(random()) + "_" +
                std::to_string(++counter) + suffix;
        std::FILE* out = std::fopen(path_.c_str(), "wb");
        if (!out) {
            path_.clear();
            return;
        }
        ok_ = contents.empty() ||
              std::fwrite(contents.data(), 1, contents.size(), out) == contents.size();
        ok_ = (std::fclose(out) == 0) && ok_;
    }
    ~TempFile() {
        if (!path_.empty()) std::remove(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const char* path() const { return path_.c_str(); }
    bool ok() const { return ok_; }

    static std::string temp_folder() { return test_folder::temporary(); }

  private:
    std::string path_;
    bool ok_ = false;
};

}  // namespace riff
