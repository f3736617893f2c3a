// The explanation behind a refused WAV file, read from the file's bytes.
#include "tools/wave_diagnosis.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/files.h"
#include "platform/win32.h"

namespace {

struct FileBytes {
    std::FILE* file = nullptr;
    uint64_t size = 0;

    explicit FileBytes(const std::string& path) {
        file = open_regular_file(path, "rb");
        if (file && std::fseek(file, 0, SEEK_END) == 0) {
            const long end = std::ftell(file);
            size = end > 0 ? static_cast<uint64_t>(end) : 0;
        }
    }
    ~FileBytes() {
        if (file) std::fclose(file);
    }
    // The bytes at `offset`; false when the file does not hold them all.
    bool at(uint64_t offset, void* into, size_t count) {
        if (!file || offset + count > size) return false;
        return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
               std::fread(into, 1, count, file) == count;
    }
    uint32_t u32(uint64_t offset, bool& ok) {
        unsigned char b[4] = {};
        ok = at(offset, b, 4);
        return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
    }
};

std::string fourcc_text(uint32_t id) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((id >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

struct Chunk {
    uint32_t id;
    uint64_t size;
    uint64_t data;  // offset of its first data byte
};

// The subchunks of the RIFF chunk as the platform's chunk search walks them: from behind the
// form type to the RIFF chunk's declared end, over pad bytes, until a header cannot be read.
std::vector<Chunk> subchunks(FileBytes& bytes, uint64_t riff_end) {
    std::vector<Chunk> chunks;
    uint64_t at = 12;
    while (at < riff_end && at + 8 <= UINT32_MAX) {
        bool ok_id = false, ok_size = false;
        const uint32_t id = bytes.u32(at, ok_id);
        const uint32_t size = bytes.u32(at + 4, ok_size);
        if (!ok_id || !ok_size) break;
        chunks.push_back(Chunk{id, size, at + 8});
        at += 8 + ((uint64_t{size} + 1) & ~uint64_t{1});
    }
    return chunks;
}

// What a file that is no RIFF file really is, from its first bytes, with what to do.
std::string container_hint(FileBytes& bytes) {
    unsigned char head[4] = {};
    if (!bytes.at(0, head, 4)) return "";
    const std::string magic(reinterpret_cast<const char*>(head), 4);
    const char* kind = nullptr;
    if (magic.compare(0, 3, "ID3") == 0 || (head[0] == 0xFF && (head[1] & 0xE0) == 0xE0))
        kind = "an MP3 file";
    else if (magic == "OggS")
        kind = "an Ogg file (Vorbis or Opus)";
    else if (magic == "fLaC")
        kind = "a FLAC file";
    else if (magic == "FORM")
        kind = "an AIFF file";
    else if (magic == "RF64" || magic == "BW64")
        kind = "a WAV file in the 64-bit RF64 form";
    else if (magic == "RIFX")
        kind = "a big-endian RIFF file";
    if (!kind) return "";
    return std::string(": it is ") + kind +
           " with a .wav name; save it as a WAV file, 16-bit PCM (sox, Audacity: \"WAV, signed "
           "16-bit PCM\")";
}

}  // namespace

WaveDiagnosis diagnose_wave(const std::string& path) {
    FileBytes bytes(path);
    if (!bytes.file) return {"cannot_open", "the file cannot be opened"};
    bool ok = false;
    const uint32_t id = bytes.u32(0, ok);
    if (bytes.size < 8) {
        return {"not_riff", "the file holds only " + std::to_string(bytes.size) +
                                " bytes, too few for a RIFF header"};
    }
    if (id != FOURCC_RIFF)
        return {"not_riff", "the file begins with \"" + fourcc_text(id) + "\", not \"RIFF\"" +
                                container_hint(bytes)};
    const uint32_t form = bytes.u32(8, ok);
    if (!ok) return {"not_wave", "the file ends before the RIFF form type"};
    if (form != mmioFOURCC('W', 'A', 'V', 'E'))
        return {"not_wave", "a RIFF file of form \"" + fourcc_text(form) + "\", not \"WAVE\""};
    const uint64_t riff_end = 8 + uint64_t{bytes.u32(4, ok)};
    const std::vector<Chunk> chunks = subchunks(bytes, riff_end);
    std::string seen;
    for (const Chunk& chunk : chunks) seen += (seen.empty() ? "" : ", ") + fourcc_text(chunk.id);
    if (seen.empty()) seen = "none";
    auto find = [&](const char* name) -> const Chunk* {
        for (const Chunk& chunk : chunks) {
            if (chunk.id == mmioFOURCC(name[0], name[1], name[2], name[3])) return &chunk;
        }
        return nullptr;
    };
    const Chunk* format = find("fmt ");
    if (!format) return {"no_fmt", "no \"fmt \" chunk in the RIFF chunk (chunks: " + seen + ")"};
    if (format->size < 16) {
        return {"fmt_too_short", "the \"fmt \" chunk holds " + std::to_string(format->size) +
                                     " bytes; a format needs 16"};
    }
    unsigned char fields[18] = {};
    if (!bytes.at(format->data, fields, 16))
        return {"fmt_too_short", "the file ends inside the 16 bytes of the \"fmt \" chunk"};
    const unsigned tag = fields[0] | fields[1] << 8;
    if (tag != WAVE_FORMAT_PCM) {
        // The count follows the first 16 bytes, whatever size the chunk declares.
        const bool has_count = bytes.at(format->data + 16, fields + 16, 2);
        const unsigned extra = fields[16] | fields[17] << 8;
        if (!has_count || format->data + 18 + extra > bytes.size) {
            return {"format_extra_missing",
                    "format tag " + std::to_string(tag) + " needs " +
                        (has_count ? std::to_string(extra) + " extra format bytes after its count"
                                   : std::string("a count of extra format bytes")) +
                        ", and the file ends before them"};
        }
    }
    if (!find("data"))
        return {"no_data", "no \"data\" chunk in the RIFF chunk (chunks: " + seen + ")"};
    return {"unknown", "the WAV reader refused it; its bytes do not show why"};
}

DeclaredData declared_data(const std::string& path) {
    FileBytes bytes(path);
    bool ok = false;
    const uint64_t riff_end = 8 + uint64_t{bytes.u32(4, ok)};
    for (const Chunk& chunk : subchunks(bytes, riff_end)) {
        if (chunk.id != mmioFOURCC('d', 'a', 't', 'a')) continue;
        const uint64_t held = bytes.size > chunk.data ? bytes.size - chunk.data : 0;
        return DeclaredData{chunk.size, chunk.size < held ? chunk.size : held};
    }
    return DeclaredData{};
}
