// Each slot's verdict: the file found as the module's open finds it, read with the module's WAV
// reader to its last byte as a slot's buffer is filled, and its format offered to the sound
// device; then the problems and warnings, in words an author can act on.
#include "tools/check_sound.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/files.h"
#include "host/result_text.h"
#include "platform/codepage.h"
#include "sound/wave_reader.h"
#include "tools/check_ini.h"
#include "tools/cli.h"
#if !defined(_WIN32)
#include "platform/standin.h"
#endif

DeviceProbe::DeviceProbe() {
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

DeviceProbe::~DeviceProbe() {
    if (device) device->Release();
#if !defined(_WIN32)
    if (window) standin_unregister_window(window);
#endif
}

HRESULT DeviceProbe::try_buffer(WAVEFORMATEX* format, DWORD bytes) {
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

void check_slot(SlotReport& report, DeviceProbe& device) {
    const bool found = resolve_platform_path(report.path, report.resolved);
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
        if (reader.format->wFormatTag == WAVE_FORMAT_EXTENSIBLE && reader.format->cbSize >= 22) {
            const auto* extra = reinterpret_cast<const unsigned char*>(reader.format + 1);
            report.subformat = extra[6] | extra[7] << 8;
        }
    }
    if (SUCCEEDED(report.reader_result)) {
        report.header_read = true;
        report.data_bytes = reader.data_size();
        // What the "data" chunk declares, before the reader takes it as what the file holds;
        // then back to the start of the data.
        MMCKINFO declared = {};
        if (SUCCEEDED(seek_data_chunk(reader.file, declared, reader.riff_chunk)))
            report.declared_bytes = declared.cksize;
        report.reader_result = reader.reset_to_data();
        // All of the data, as a slot's buffer is filled, in pieces so that a size that lies
        // costs no memory.
        std::vector<BYTE> piece(1 << 16);
        while (SUCCEEDED(report.reader_result) && reader.bytes_left() > 0) {
            DWORD got = 0;
            report.reader_result =
                reader.read(static_cast<DWORD>(piece.size()), piece.data(), &got);
            if (FAILED(report.reader_result) || got == 0) break;
        }
        report.accepted = SUCCEEDED(report.reader_result);
    }
    if (!report.accepted) report.diagnosis = diagnose_wave(report.path, reader.refusal);
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
static std::string outside_safe_set(const SlotReport& r) {
    const WAVEFORMATEX& f = r.format;
    const bool extensible = f.wFormatTag == WAVE_FORMAT_EXTENSIBLE;
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

static bool compressed(const SlotReport& r) {
    const unsigned tag = r.format.wFormatTag;
    const unsigned kind = tag == WAVE_FORMAT_EXTENSIBLE ? r.subformat : tag;
    return r.has_format && kind != WAVE_FORMAT_PCM && kind != WAVE_FORMAT_IEEE_FLOAT;
}

// A slot file that Windows does not find but a Linux editor or file manager would show: the
// name exists on disk in another spelling. Either the INI's bytes are UTF-8 (saved without a
// byte order mark, Windows reads them as ANSI) and name the file in that reading, or the file's
// own name on disk is the ANSI bytes themselves (unpacked from an archive without converting
// names), where Windows looks for their UTF-8 spelling. Off Windows only: there the platform
// layer tells which spelling exists.
static void other_spelling(const SlotReport& r, Findings& findings) {
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
    // A file the reader takes is judged by its format alone when there is no device to try.
    const bool untried = r.accepted && !r.device_tried;
    if (r.plays || untried) {
        const std::string outside = outside_safe_set(r);
        if (!outside.empty())
            findings.warning("format_not_always_safe", r.slot, r.line,
                             who + ": " + shown(r.path) + " (" + format_text(r) + ")" +
                                 (r.plays ? " plays here, but lies" : " lies") +
                                 " outside the always-safe set: " + outside +
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
            who + ": file not found: " + shown(r.path) + " (looked for " + shown_file_path(r.resolved) +
                ")" +
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
