// The words behind a refused WAV file. The reader has already said which check failed; this
// opens the file again through the same multimedia I/O calls and reads only what that check
// looked at: the first twelve bytes, the "fmt " chunk's size and fields, the chunks' names.
#include "tools/wave_diagnosis.h"

#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace {

std::string fourcc_text(uint32_t id) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((id >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

uint32_t le32(const unsigned char* b) {
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
}

// The file, opened as the reader opens it.
struct OpenedFile {
    HMMIO handle;
    explicit OpenedFile(const std::string& path)
        : handle(mmioOpenA(const_cast<LPSTR>(path.c_str()), nullptr, MMIO_ALLOCBUF | MMIO_READ)) {}
    ~OpenedFile() {
        if (handle) mmioClose(handle, 0);
    }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
};

// What a file that is no RIFF file really is, from its first bytes, with what to do.
std::string container_hint(const unsigned char* head) {
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

// A file whose first chunk is no RIFF/WAVE chunk, from its first twelve bytes.
WaveDiagnosis header_diagnosis(HMMIO file) {
    const LONG size = mmioSeek(file, 0, SEEK_END);
    unsigned char head[12] = {};
    const LONG got = mmioSeek(file, 0, SEEK_SET) == 0
                         ? mmioRead(file, reinterpret_cast<HPSTR>(head), sizeof head)
                         : 0;
    if (size < 8 || got < 8) {
        return {"not_riff", "the file holds only " + std::to_string(size < 0 ? 0 : size) +
                                " bytes, too few for a RIFF header"};
    }
    const uint32_t id = le32(head);
    if (id != FOURCC_RIFF)
        return {"not_riff", "the file begins with \"" + fourcc_text(id) + "\", not \"RIFF\"" +
                                container_hint(head)};
    if (got < 12) return {"not_wave", "the file ends before the RIFF form type"};
    return {"not_wave", "a RIFF file of form \"" + fourcc_text(le32(head + 8)) + "\", not \"WAVE\""};
}

// The names of the RIFF chunk's subchunks, as the reader's chunk search passes over them.
std::string subchunk_names(HMMIO file, const MMCKINFO& riff) {
    std::string names;
    if (mmioSeek(file, static_cast<LONG>(riff.dwDataOffset + sizeof(FOURCC)), SEEK_SET) == -1)
        return "none";
    MMCKINFO chunk = {};
    for (;;) {
        chunk.dwDataOffset = 0;
        const bool found = mmioDescend(file, &chunk, &riff, 0) == MMSYSERR_NOERROR;
        // A failed descent still leaves the header it read, of a list cut before its type.
        if (chunk.dwDataOffset) names += (names.empty() ? "" : ", ") + fourcc_text(chunk.ckid);
        if (!found) break;
        // A size that reaches past what a chunk offset can say ends the list, as it ends the
        // search.
        if (uint64_t{chunk.dwDataOffset} + chunk.cksize + 9 > UINT32_MAX) break;
        if (mmioAscend(file, &chunk, 0) != MMSYSERR_NOERROR) break;
    }
    return names.empty() ? "none" : names;
}

}  // namespace

WaveDiagnosis diagnose_wave(const std::string& path, WaveRefusal refusal) {
    const WaveDiagnosis unknown = {"unknown", "the WAV reader refused it; its bytes do not show why"};
    OpenedFile opened(path);
    HMMIO file = opened.handle;
    if (refusal == WaveRefusal::CANNOT_OPEN || !file)
        return {"cannot_open", "the file cannot be opened"};
    switch (refusal) {
        case WaveRefusal::NO_RIFF_HEADER:
        case WaveRefusal::NOT_RIFF:
        case WaveRefusal::NOT_WAVE:
            return header_diagnosis(file);
        default:
            break;
    }
    MMCKINFO riff = {};
    if (mmioDescend(file, &riff, nullptr, 0) != MMSYSERR_NOERROR) return unknown;
    switch (refusal) {
        case WaveRefusal::NO_FORMAT_CHUNK:
            return {"no_fmt",
                    "no \"fmt \" chunk in the RIFF chunk (chunks: " + subchunk_names(file, riff) +
                        ")"};
        case WaveRefusal::NO_DATA_CHUNK:
            return {"no_data",
                    "no \"data\" chunk in the RIFF chunk (chunks: " + subchunk_names(file, riff) +
                        ")"};
        case WaveRefusal::FORMAT_TOO_SHORT:
        case WaveRefusal::FORMAT_CUT:
        case WaveRefusal::NO_EXTRA_COUNT:
        case WaveRefusal::EXTRA_CUT:
            break;
        default:
            return unknown;
    }
    MMCKINFO format = {};
    format.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(file, &format, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return unknown;
    if (refusal == WaveRefusal::FORMAT_TOO_SHORT) {
        return {"fmt_too_short", "the \"fmt \" chunk holds " + std::to_string(format.cksize) +
                                     " bytes; a format needs 16"};
    }
    if (refusal == WaveRefusal::FORMAT_CUT)
        return {"fmt_too_short", "the file ends inside the 16 bytes of the \"fmt \" chunk"};
    // The count follows the first 16 bytes, whatever size the chunk declares.
    unsigned char fields[18] = {};
    mmioRead(file, reinterpret_cast<HPSTR>(fields), sizeof fields);
    const unsigned tag = fields[0] | fields[1] << 8;
    const unsigned extra = fields[16] | fields[17] << 8;
    return {"format_extra_missing",
            "format tag " + std::to_string(tag) + " needs " +
                (refusal == WaveRefusal::EXTRA_CUT
                     ? std::to_string(extra) + " extra format bytes after its count"
                     : std::string("a count of extra format bytes")) +
                ", and the file ends before them"};
}
