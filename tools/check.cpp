// `cuebox check`: tells a gauge author, before the simulator starts, why a slot would stay
// silent. The configuration comes from the module's own configuration code, the verdict on each
// sound file from the module's own WAV reader and the platform's sound device. What this file
// adds is the explanation: its own reading of the INI text for the mistakes that the module
// passes over in silence, and of a refused WAV file's bytes for the check that failed.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/files.h"
#include "host/results.h"
#include "host/trace.h"
#include "panel/text.h"
#include "platform/codepage.h"
#include "platform/win32.h"
#include "sound/wave_reader.h"
#include "tools/cli.h"
#include "tools/configuration_view.h"
#include "tools/ini_analysis.h"
#include "tools/panel_check.h"
#if !defined(_WIN32)
#include "platform/standin.h"
#endif

namespace {

constexpr unsigned WAVE_FORMAT_EXTENSIBLE_TAG = 0xFFFE;

std::string hex(HRESULT code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

// Where a path that the module hands to the platform leads: off Windows the stand-in's mapping
// of Windows-style paths (the very one the module's opens go through), on Windows the path.
bool resolve(const std::string& path, std::string& resolved) {
#if defined(_WIN32)
    resolved = path;
    struct stat info;
    return stat(path.c_str(), &info) == 0;
#else
    char buffer[4096];
    const int found = standin_resolve_path(path.c_str(), buffer, sizeof buffer);
    resolved = buffer;
    return found != 0;
#endif
}

// The folder where Windows looks for a profile file named without any folder.
std::string windows_folder() {
#if defined(_WIN32)
    char folder[MAX_PATH] = "";
    GetWindowsDirectoryA(folder, sizeof folder);
    return folder;
#else
    return standin_windows_folder();
#endif
}

// ---- The INI file, read as Windows reads it ----

struct IniFacts {
    bool named = false;  // by the gauge's parameter string
    std::string path;    // as the module names it; "" when it reads none
    std::string resolved;
    bool found = false;
    bool readable = false;
    std::string encoding;  // of its text: "ansi", "utf-8-bom", "utf-16le", "utf-16be"
    IniLines lines;
};

// The INI files in the root's Gauges folder that look like ours (a [Sounds] section or an
// LVar key), for an author whose INI is not where the module looks by default.
std::vector<std::string> ini_files_like_ours() {
    std::vector<std::string> found;
    std::string folder;
    if (!resolve(".\\Gauges", folder)) return found;
    DIR* listing = opendir(folder.c_str());
    if (!listing) return found;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() < 5 || lower_text(name.substr(name.size() - 4)) != ".ini") continue;
        std::string text;
        if (!read_regular_file(folder + "/" + name, text)) continue;
        const std::string lower = lower_text(text.substr(0, 1 << 16));
        if (lower.find("[sounds]") != std::string::npos || lower.find("lvar") != std::string::npos)
            found.push_back(name);
    }
    closedir(listing);
    std::sort(found.begin(), found.end());
    return found;
}

void analyse_ini(const CliOptions& options, const ConfigurationView& view, IniFacts& ini,
                 Findings& findings) {
    ini.named = options.has_param && !options.param.empty();
    ini.path = view.ini_path;
    if (ini.named && options.param.size() >= static_cast<size_t>(MODULE_STRING_SIZE)) {
        findings.problem("parameter_too_long", -1, 0,
                         "the parameter string has " + std::to_string(options.param.size()) +
                             " characters; from " + std::to_string(MODULE_STRING_SIZE) +
                             " on the module reads no INI file at all: the variable is " +
                             DEFAULT_VARIABLE_NAME + " and every slot uses its default file");
        ini.path.clear();
        return;
    }
    std::string where = ini.path;
    if (ini.path.find_first_of("\\/") == std::string::npos) {
        where = windows_folder() + "/" + ini.path;
        findings.problem("ini_no_folder", -1, 0,
                         "the INI file \"" + shown(ini.path) +
                             "\" is named without a folder, so Windows looks for it in its own "
                             "folder (" +
                             windows_folder() + "), not in the simulator's: write .\\Gauges\\" +
                             shown(ini.path));
    }
    ini.found = resolve(where, ini.resolved);
    if (!ini.found) {
        if (ini.named) {
            findings.problem("ini_missing", -1, 0,
                             "the INI file " + shown(ini.path) + " was not found (looked for " +
                                 ini.resolved + "): the variable is " + DEFAULT_VARIABLE_NAME +
                                 " and every slot uses its default file");
        } else if (const std::vector<std::string> others = ini_files_like_ours(); !others.empty()) {
            std::string names;
            for (const std::string& name : others) names += (names.empty() ? "" : ", ") + name;
            const std::string example = ".\\Gauges\\" + others.front();
            findings.problem("ini_elsewhere", -1, 0,
                             "no INI file at " + ini.path +
                                 ", where the module looks when its "
                                 "parameter string names none, but Gauges holds " +
                                 names +
                                 ": name yours in the module's line of panel.cfg (gauge00="
                                 "jvb_cuebox2!jvb_cuebox2, 0, 0, 1, 1, " +
                                 example + "), try it here with --param " + example +
                                 ", or rename it jvb_cuebox.ini");
        } else {
            findings.notes.push_back("no INI file at " + shown(ini.path) + ": the variable is " +
                                     DEFAULT_VARIABLE_NAME +
                                     " and every slot uses its default file");
        }
        return;
    }
    std::string text;
    if (!read_regular_file(ini.resolved, text)) {
        findings.problem("ini_unreadable", -1, 0,
                         "the INI file " + ini.resolved + " cannot be read: the variable is " +
                             DEFAULT_VARIABLE_NAME + " and every slot uses its default file");
        return;
    }
    ini.readable = true;
    ini.encoding = codepage::encoding_name(analyse_ini_text(text, ini.lines, findings));
}

void check_variable(const ConfigurationView& view, const IniFacts& ini, Findings& findings) {
    const std::string& name = view.variable_name;
    const std::string from = ini.lines.variable_line
                                 ? " (LVar, line " + std::to_string(ini.lines.variable_line) + ")"
                                 : "";
    if (name.empty()) {
        findings.problem("lvar_empty", -1, ini.lines.variable_line,
                         "LVar is empty" + from +
                             ": the module registers a variable with an empty name, which no "
                             "gauge can write");
        return;
    }
    if (name.find_first_of(" \t") != std::string::npos) {
        findings.problem("lvar_spaces", -1, ini.lines.variable_line,
                         "the variable name \"" + shown(name) + "\" holds spaces" + from +
                             ": every gauge must spell it with exactly these spaces; a name "
                             "without spaces is safer");
    }
    if (lower_text(name).compare(0, 2, "l:") == 0) {
        findings.problem("lvar_prefix", -1, ini.lines.variable_line,
                         "the variable name \"" + shown(name) + "\" starts with L:" + from +
                             ": the module registers it with the prefix, so gauges writing (>L:" +
                             shown(name.substr(2)) +
                             ") write another variable; write LVar=" + shown(name.substr(2)));
    }
}

// ---- WAV files ----

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

struct WaveDiagnosis {
    std::string reason;  // cannot_open, not_riff, not_wave, no_fmt, fmt_too_short, ...
    std::string detail;
};

// Which of the reader's checks a file fails, read from its bytes. Called only for files the
// reader refused; "unknown" when these bytes do not show why.
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

// How many bytes the file's "data" chunk declares, and how many of them the file holds. The
// reader plays what the file holds; the rest is worth a warning.
struct DeclaredData {
    uint64_t size = 0;
    uint64_t held = 0;
};

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

// ---- The sound device ----

struct DeviceProbe {
    IDirectSound* device = nullptr;
    HRESULT result = E_FAIL;
#if !defined(_WIN32)
    HWND window = nullptr;
#endif

    DeviceProbe() {
#if !defined(_WIN32)
        // Only whether a buffer can be made matters here; nothing is played or written.
        standin_set_output(STANDIN_OUTPUT_NONE, nullptr);
        window = standin_register_window("FS98MAIN", "cuebox check");
        HWND main_window = FindWindowA("FS98MAIN", nullptr);
#else
        HWND main_window = GetDesktopWindow();
#endif
        result = DirectSoundCreate(nullptr, &device, nullptr);
        if (FAILED(result)) {
            device = nullptr;
            return;
        }
        result = device->SetCooperativeLevel(main_window, DSSCL_NORMAL);
    }
    ~DeviceProbe() {
        if (device) device->Release();
#if !defined(_WIN32)
        if (window) standin_unregister_window(window);
#endif
    }
    // What the module's CreateSoundBuffer call would answer for this format and size.
    HRESULT try_buffer(WAVEFORMATEX* format, DWORD bytes) {
        DSBUFFERDESC description;
        std::memset(&description, 0, sizeof description);
        description.dwSize = sizeof description;
        description.dwFlags = DSBCAPS_STATIC;
        description.dwBufferBytes = bytes;
        description.lpwfxFormat = format;
        IDirectSoundBuffer* buffer = nullptr;
        const HRESULT created = device->CreateSoundBuffer(&description, &buffer, nullptr);
        if (SUCCEEDED(created) && buffer) buffer->Release();
        return created;
    }
};

// ---- Slots ----

struct SlotReport {
    int slot = 0;
    std::string path;
    bool from_ini = false;
    int line = 0;
    bool exists = false;
    bool folder = false;
    bool special = false;  // a pipe, a socket or a device
    std::string resolved;
    bool header_read = false;  // the reader's open succeeded
    bool accepted = false;     // and all its data could be read
    HRESULT reader_result = S_OK;
    WaveDiagnosis diagnosis;
    bool has_format = false;
    WAVEFORMATEX format = {};
    unsigned subformat = 0;       // an extensible format's sub-format tag, 0 when none is given
    DWORD data_bytes = 0;         // what the reader plays
    uint64_t declared_bytes = 0;  // what the "data" chunk declares
    double duration = -1;
    bool device_tried = false;
    HRESULT device_result = S_OK;
    bool plays = false;
};

void check_slot(SlotReport& report, DeviceProbe& device) {
    const bool found = resolve(report.path, report.resolved);
    struct stat info;
    const bool named = found && stat(report.resolved.c_str(), &info) == 0;
    report.folder = named && S_ISDIR(info.st_mode);
    // Neither a regular file nor a folder: a pipe, a socket or a device.
    report.special = named && !S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode);
    if (found && !report.folder && !report.special) {
        // The module's own test: the file opens for reading.
        std::FILE* file = open_regular_file(report.resolved, "r");
        report.exists = file != nullptr;
        if (file) std::fclose(file);
    }
    if (!report.exists) return;

    WaveFileReader reader;
    report.reader_result = reader.open(report.path.c_str());
    if (reader.format) {
        report.has_format = true;
        report.format = *reader.format;
        // WAVEFORMATEXTENSIBLE: valid bits (2 bytes), channel mask (4), then the sub-format
        // GUID, whose first two bytes are the plain format tag.
        if (reader.format->wFormatTag == WAVE_FORMAT_EXTENSIBLE_TAG &&
            reader.format->cbSize >= 22) {
            const auto* extra = reinterpret_cast<const unsigned char*>(reader.format + 1);
            report.subformat = extra[6] | extra[7] << 8;
        }
    }
    if (SUCCEEDED(report.reader_result)) {
        report.header_read = true;
        report.data_bytes = reader.data_chunk.cksize;
        report.declared_bytes = declared_data(report.resolved).size;
        // All of the data, as a slot's buffer is filled, in pieces so that a size that lies
        // costs no memory.
        std::vector<BYTE> piece(1 << 16);
        while (reader.data_chunk.cksize > 0) {
            DWORD got = 0;
            report.reader_result =
                reader.read(static_cast<DWORD>(piece.size()), piece.data(), &got);
            if (FAILED(report.reader_result) || got == 0) break;
        }
        report.accepted = SUCCEEDED(report.reader_result);
    }
    if (!report.accepted) report.diagnosis = diagnose_wave(report.resolved);
    if (report.has_format) {
        const double per_second = static_cast<double>(report.format.nSamplesPerSec) *
                                  report.format.nChannels * report.format.wBitsPerSample / 8.0;
        if (report.header_read && per_second > 0) report.duration = report.data_bytes / per_second;
    }
    // The module makes the buffer whenever the header could be read; a refused data read only
    // leaves it without its sound.
    if (report.header_read && device.device) {
        report.device_tried = true;
        report.device_result = device.try_buffer(reader.format, report.data_bytes);
    }
    report.plays = report.accepted && report.device_tried && SUCCEEDED(report.device_result);
}

std::string format_text(const SlotReport& r) {
    if (!r.has_format) return "-";
    const WAVEFORMATEX& f = r.format;
    // Compressed formats give no bits per sample: "0-bit" would only puzzle.
    return format_name(f.wFormatTag, r.subformat) + " " + std::to_string(f.nChannels) + " ch " +
           std::to_string(f.nSamplesPerSec) + " Hz" +
           (f.wBitsPerSample ? " " + std::to_string(f.wBitsPerSample) + "-bit" : "");
}

// Why a format that plays here lies outside what plays on every Windows (plain PCM, 8 or 16
// bits, mono or stereo, 11025, 22050 or 44100 Hz), with what Windows does with it; "" inside.
std::string outside_safe_set(const SlotReport& r) {
    const WAVEFORMATEX& f = r.format;
    const bool extensible = f.wFormatTag == WAVE_FORMAT_EXTENSIBLE_TAG;
    const unsigned kind = extensible ? r.subformat : f.wFormatTag;
    std::string reasons;
    auto add = [&reasons](const std::string& reason) {
        reasons += (reasons.empty() ? "" : "; ") + reason;
    };
    if (kind == WAVE_FORMAT_IEEE_FLOAT)
        add("IEEE float samples: DirectSound's documentation promises them for no buffer; "
            "some systems play them, others refuse the buffer");
    if (extensible)
        add("the extensible format header: DirectSound documents it for WDM drivers only; with "
            "an older driver the buffer is refused");
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16 && kind != WAVE_FORMAT_IEEE_FLOAT)
        add(std::to_string(f.wBitsPerSample) + "-bit samples" +
            (extensible ? std::string(": a driver may refuse them")
                        : " in a plain PCM header: DirectSound documents more than 16 bits with "
                          "the extensible header, on WDM drivers"));
    if (f.nChannels > 2)
        add(std::to_string(f.nChannels) + " channels" +
            (extensible ? std::string(": a driver may refuse them")
                        : " in a plain PCM header: DirectSound documents more than two with the "
                          "extensible header, on WDM drivers"));
    if (f.nSamplesPerSec != 11025 && f.nSamplesPerSec != 22050 && f.nSamplesPerSec != 44100)
        add(std::to_string(f.nSamplesPerSec) +
            " Hz: where the card does not run at that rate, DirectSound converts it as it "
            "mixes");
    return reasons;
}

// Bytes the "data" chunk declares beyond what the file holds; the slot plays without them.
uint64_t missing_bytes(const SlotReport& r) {
    return r.header_read && r.declared_bytes > r.data_bytes ? r.declared_bytes - r.data_bytes : 0;
}

std::string verdict_text(const SlotReport& r) {
    if (r.plays) return missing_bytes(r) ? "plays, cut short" : "plays";
    if (r.folder) return "a folder";
    if (r.special) return "not a file";
    if (!r.exists) return "no file";
    if (!r.accepted) return "refused: " + r.diagnosis.reason;
    if (!r.device_tried) return "no device";
    return "device refuses";
}

bool compressed(const SlotReport& r) {
    const unsigned tag = r.format.wFormatTag;
    const unsigned kind = tag == WAVE_FORMAT_EXTENSIBLE_TAG ? r.subformat : tag;
    return r.has_format && kind != WAVE_FORMAT_PCM && kind != WAVE_FORMAT_IEEE_FLOAT;
}

// A slot file that Windows does not find but a Linux editor or file manager would show: the
// name exists on disk in another spelling. Either the INI's bytes are UTF-8 (saved without a
// byte order mark, Windows reads them as ANSI) and name the file in that reading, or the file's
// own name on disk is the ANSI bytes themselves (unpacked from an archive without converting
// names), where Windows looks for their UTF-8 spelling. Off Windows only: there the platform
// layer tells which spelling exists.
void other_spelling(const SlotReport& r, Findings& findings) {
#if !defined(_WIN32)
    if (r.exists || r.folder || r.special || !r.from_ini) return;
    if (std::none_of(r.path.begin(), r.path.end(), [](char c) { return c & 0x80; })) return;
    char found[4096];
    const std::string who = "slot " + two_digits(r.slot) + " (Sound" + two_digits(r.slot) + ")";
    if (codepage::has_utf8_sequences(r.path) &&
        standin_resolve_unicode_path(r.path.c_str(), found, sizeof found)) {
        findings.warning("other_spelling", r.slot, r.line,
                         who + ": Windows reads " + shown(r.path) + ", which does not exist; " +
                             codepage::valid_utf8_text(found) +
                             " exists, named by these bytes read as UTF-8: save the INI file as "
                             "ANSI or with a BOM");
    } else if (standin_resolve_unicode_path(r.path.c_str(), found, sizeof found)) {
        findings.warning(
            "other_spelling", r.slot, r.line,
            who + ": Windows looks for " + shown(r.path) +
                " in UTF-8 on disk, but the file's name is in the code page's bytes (" +
                codepage::valid_utf8_text(found) + "): rename it to " + shown(r.path));
    }
#else
    (void)r;
    (void)findings;
#endif
}

void slot_problems(const SlotReport& r, Findings& findings) {
    const std::string who = "slot " + two_digits(r.slot) + " (" +
                            (r.from_ini ? "Sound" + two_digits(r.slot) : "default file") + ")";
    if (missing_bytes(r)) {
        char length[32];
        std::snprintf(length, sizeof length, "%.2f s", r.duration > 0 ? r.duration : 0.0);
        findings.warning("data_short", r.slot, r.line,
                         who + ": " + shown(r.path) + " is cut short: \"data\" declares " +
                             std::to_string(r.declared_bytes) + " bytes, " +
                             std::to_string(missing_bytes(r)) +
                             " more than the file holds; it plays the " + length + " it has");
    }
    other_spelling(r, findings);
    if (r.plays) {
        const std::string outside = outside_safe_set(r);
        if (!outside.empty())
            findings.warning("format_not_always_safe", r.slot, r.line,
                             who + ": " + shown(r.path) + " (" + format_text(r) +
                                 ") plays here, but lies outside the always-safe set: " + outside +
                                 "; 16-bit PCM at 22050 or 44100 Hz plays everywhere");
        return;
    }
    if (r.folder) {
        findings.problem("file_is_folder", r.slot, r.line,
                         who + ": " + shown(r.path) + " names a folder, not a sound file");
    } else if (r.special) {
        findings.problem("file_not_regular", r.slot, r.line,
                         who + ": " + shown(r.path) +
                             " names a pipe or a device, not a sound file: it never opens");
    } else if (!r.exists) {
        // A slot left to its default file is silent on purpose when that file is absent.
        if (!r.from_ini) return;
        findings.problem(
            "file_missing", r.slot, r.line,
            who + ": file not found: " + shown(r.path) + " (looked for " + r.resolved + ")" +
                (r.from_ini && r.path.find(';') != std::string::npos
                     ? ": a ';' after a value is part of the value, as Windows reads the file; "
                       "put the comment on a line of its own"
                     : ""));
    } else if (!r.accepted) {
        findings.problem(
            "wav_refused", r.slot, r.line,
            who + ": the WAV reader refuses " + shown(r.path) + ": " + r.diagnosis.detail);
    }
    // Without any device every slot is silent; that is reported once, not per slot.
    if (r.device_tried && FAILED(r.device_result)) {
        findings.problem("device_refused", r.slot, r.line,
                         who + ": the sound device refuses a buffer in this format (" +
                             format_text(r) + ", " + std::to_string(r.data_bytes) +
                             " bytes): " + result_text(r.device_result) +
                             (compressed(r) ? "; DirectSound plays no compressed format on any "
                                              "Windows: save it as 16-bit PCM"
                                            : ""));
    }
}

// ---- Output ----

using Json = nlohmann::ordered_json;

Json json_line(int line) {
    return line > 0 ? Json(line) : Json(nullptr);
}

Json json_problems(const std::vector<Problem>& list, const IniFacts& ini) {
    Json out = Json::array();
    for (const Problem& p : list) {
        const std::string file = !p.file.empty() ? p.file : p.line > 0 ? shown(ini.path) : "";
        out.push_back({{"kind", p.kind},
                       {"slot", p.slot >= 0 ? Json(p.slot) : Json(nullptr)},
                       {"file", file.empty() ? Json(nullptr) : Json(file)},
                       {"line", json_line(p.line)},
                       {"message", p.message}});
    }
    return out;
}

void print_json(const std::string& root, const ConfigurationView& view, const IniFacts& ini,
                const DeviceProbe& device, const std::vector<SlotReport>& slots,
                const Findings& findings) {
    Json out;
    out["root"] = root;
    out["ini"] = {{"path", ini.path.empty() ? Json(nullptr) : Json(shown(ini.path))},
                  {"named_by", ini.named ? "parameter" : "default"},
                  {"resolved", ini.found ? Json(ini.resolved) : Json(nullptr)},
                  {"found", ini.found},
                  {"readable", ini.readable},
                  {"encoding", ini.readable ? Json(ini.encoding) : Json(nullptr)}};
    out["code_page"] = tool_code_page();
    out["variable"] = {{"name", shown(view.variable_name)},
                       {"source", ini.lines.variable_line ? "ini" : "default"},
                       {"line", json_line(ini.lines.variable_line)}};
    out["device"] = {{"available", device.device != nullptr}, {"result", hex(device.result)}};
    Json& list = out["slots"] = Json::array();
    for (const SlotReport& r : slots) {
        Json slot = {
            {"slot", r.slot},
            {"key", "Sound" + two_digits(r.slot)},
            {"path", shown(r.path)},
            {"source", r.from_ini ? "ini" : "default"},
            {"line", json_line(r.line)},
            {"exists", r.exists},
            {"folder", r.folder},
            {"special", r.special},
            {"resolved", r.exists || r.folder || r.special ? Json(r.resolved) : Json(nullptr)}};
        if (!r.exists) {
            slot["reader"] = nullptr;
        } else {
            slot["reader"] = {
                {"accepted", r.accepted},
                {"result", hex(r.reader_result)},
                {"reason", r.accepted ? Json(nullptr) : Json(r.diagnosis.reason)},
                {"detail", r.accepted ? Json(nullptr) : Json(r.diagnosis.detail)},
                {"declared_bytes", r.header_read ? Json(r.declared_bytes) : Json(nullptr)},
                {"missing_bytes", missing_bytes(r)}};
        }
        if (r.has_format) {
            // WAVEFORMATEX is packed: its fields are copied out, never bound by reference.
            const WAVEFORMATEX& f = r.format;
            slot["format"] = {{"tag", unsigned{f.wFormatTag}},
                              {"channels", unsigned{f.nChannels}},
                              {"rate", static_cast<unsigned long>(f.nSamplesPerSec)},
                              {"bits", unsigned{f.wBitsPerSample}},
                              {"block_align", unsigned{f.nBlockAlign}},
                              {"bytes_per_second", static_cast<unsigned long>(f.nAvgBytesPerSec)}};
        } else {
            slot["format"] = nullptr;
        }
        slot["data_bytes"] = r.header_read ? Json(r.data_bytes) : Json(nullptr);
        slot["duration"] = r.duration >= 0 ? json_number(r.duration) : Json(nullptr);
        if (r.device_tried) {
            slot["device"] = {{"accepted", SUCCEEDED(r.device_result) != 0},
                              {"result", hex(r.device_result)}};
        } else {
            slot["device"] = nullptr;
        }
        slot["plays"] = r.plays;
        list.push_back(std::move(slot));
    }
    out["problems"] = json_problems(findings.problems, ini);
    out["warnings"] = json_problems(findings.warnings, ini);
    out["notes"] = findings.notes;
    out["ok"] = findings.problems.empty();
    std::fputs((json_text(out, 2) + "\n").c_str(), stdout);
}

// Whether the file a path resolved to says more than the path itself: on Windows the system
// resolves it, so it is the path; elsewhere when our resolution changed more than the Unix
// spelling of the separators.
bool resolution_says_more(std::string path, const std::string& resolved) {
#if !defined(_WIN32)
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    while (path.compare(0, 2, "./") == 0) path.erase(0, 2);
#endif
    return path != resolved;
}

void print_readable(const std::string& root, const ConfigurationView& view, const IniFacts& ini,
                    const DeviceProbe& device, const std::vector<SlotReport>& slots, bool all,
                    const Findings& findings) {
    std::string text;
    append_format(text, "root       %s\n", root.c_str());
    if (ini.path.empty()) {
        append_format(text, "INI file   none\n");
    } else {
        const bool arrow = ini.found && resolution_says_more(ini.path, ini.resolved);
        append_format(text, "INI file   %s (%s)%s%s\n", shown(ini.path).c_str(),
                      ini.named ? "parameter string" : "default",
                      !ini.found ? ": not found"
                      : arrow    ? " -> "
                                 : "",
                      arrow ? ini.resolved.c_str() : "");
    }
    append_format(text, "variable   %s (%s)\n", shown(view.variable_name).c_str(),
                  ini.lines.variable_line
                      ? ("LVar, line " + std::to_string(ini.lines.variable_line)).c_str()
                      : "default");
    append_format(text, "device     %s\n\n",
                  device.device ? "ready" : ("unavailable: " + result_text(device.result)).c_str());
    auto shown_slot = [all](const SlotReport& r) {
        return all || r.from_ini || r.exists || r.folder || r.special;
    };
    // The columns are as wide as their widest entry, so long format names keep them in line.
    int format_width = 6, verdict_width = 7;
    for (const SlotReport& r : slots) {
        if (!shown_slot(r)) continue;
        format_width = std::max(format_width, static_cast<int>(format_text(r).size()));
        verdict_width = std::max(verdict_width, static_cast<int>(verdict_text(r).size()));
    }
    append_format(text, "slot  from     %-*s  length   %-*s  path\n", format_width, "format",
                  verdict_width, "verdict");
    int listed = 0;
    for (const SlotReport& r : slots) {
        if (!shown_slot(r)) continue;
        ++listed;
        char length[16] = "-";
        if (r.duration >= 0) std::snprintf(length, sizeof length, "%.2f s", r.duration);
        std::string path = shown(r.path);
        if ((r.exists || r.folder || r.special) && resolution_says_more(r.path, r.resolved))
            path += " -> " + r.resolved;
        append_format(text, "  %02d  %-7s  %-*s  %-7s  %-*s  %s\n", r.slot,
                      r.from_ini ? "ini" : "default", format_width, format_text(r).c_str(), length,
                      verdict_width, verdict_text(r).c_str(), path.c_str());
    }
    if (!listed)
        append_format(text, "  (no slot is configured and no default sound file exists)\n");
    auto print_list = [&text](const char* title, const std::vector<Problem>& list) {
        if (list.empty()) return;
        append_format(text, "\n%s (%zu):\n", title, list.size());
        for (const Problem& p : list) {
            const std::string where =
                p.line && p.file.empty() ? "line " + std::to_string(p.line) + ": " : "";
            append_format(text, "  %s%s\n", where.c_str(), p.message.c_str());
        }
    };
    print_list("problems", findings.problems);
    print_list("warnings", findings.warnings);
    if (!findings.notes.empty()) {
        append_format(text, "\nnotes:\n");
        for (const std::string& note : findings.notes) append_format(text, "  %s\n", note.c_str());
    }
    int configured = 0, playing = 0;
    for (const SlotReport& r : slots) {
        if (r.from_ini || r.exists) ++configured;
        if (r.plays) ++playing;
    }
    std::string summary = findings.problems.empty()
                              ? "no problems found"
                              : std::to_string(findings.problems.size()) + " problem(s) found";
    if (!findings.warnings.empty())
        summary += ", " + std::to_string(findings.warnings.size()) + " warning(s)";
    append_format(text, "\n%d of %d slots in use would play; %s\n", playing, configured,
                  summary.c_str());
    print_text(text);
}

}  // namespace

int command_check(const CliOptions& given) {
    CliOptions options = given;  // with --panel, the module's line gives the parameter string
    if (!options.root.empty() && chdir(options.root.c_str()) != 0) {
        std::fprintf(stderr, "cuebox: cannot enter the root folder %s: %s\n", options.root.c_str(),
                     std::strerror(errno));
        return 2;
    }
    char here[4096] = "";
    if (!getcwd(here, sizeof here)) here[0] = '\0';
    PanelCheck panel;
    if (!options.panel.empty()) {
        if (!panel.load(options.panel)) return 2;
        options.has_param = true;
        options.param = panel.module_parameters();
    }

    const ConfigurationView view =
        read_configuration(options.has_param ? options.param.c_str() : "");
    if (view.slots.size() != static_cast<size_t>(SLOT_COUNT)) {
        std::fprintf(stderr, "cuebox: the configuration could not be read (out of memory)\n");
        return 1;
    }
    Findings findings;
    IniFacts ini;
    analyse_ini(options, view, ini, findings);
    check_variable(view, ini, findings);

    DeviceProbe device;
    if (!device.device) {
        findings.problem("device_unavailable", -1, 0,
                         "no sound device can be created (" + result_text(device.result) +
                             "): no slot can play");
    }
    std::vector<SlotReport> slots(SLOT_COUNT);
    for (int n = 0; n < SLOT_COUNT; ++n) {
        SlotReport& r = slots[n];
        r.slot = n;
        r.path = view.slots[n].path;
        r.from_ini = view.slots[n].source == PathSource::INI_FILE;
        r.line = r.from_ini ? ini.lines.slot_lines[n] : 0;
        check_slot(r, device);
        slot_problems(r, findings);
    }
    // A set with nothing in it would play nothing at all: never a success.
    if (std::none_of(slots.begin(), slots.end(),
                     [](const SlotReport& r) { return r.from_ini || r.exists; })) {
        findings.problem("nothing_configured", -1, 0,
                         "nothing would play: no INI file names a sound, and no default sound "
                         "file (Sound\\jvb\\jvb_xml_NN.wav) exists");
    }
    if (!options.panel.empty()) {
        std::vector<std::string> silent_why(SLOT_COUNT);
        for (const SlotReport& r : slots) {
            if (!r.plays) silent_why[r.slot] = verdict_text(r) + " (" + shown(r.path) + ")";
        }
        std::vector<PanelFinding> found;
        panel.find(view.variable_name, silent_why, found, findings.notes);
        for (const PanelFinding& f : found) {
            const Problem problem{f.kind, f.slot, f.line, f.message, f.file};
            (f.warning ? findings.warnings : findings.problems).push_back(problem);
        }
    }
    if (options.json) {
        print_json(here, view, ini, device, slots, findings);
    } else {
        print_readable(here, view, ini, device, slots, options.all, findings);
    }
    return findings.problems.empty() ? 0 : 1;
}
