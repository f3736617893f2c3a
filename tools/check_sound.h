// The sound half of `cuebox check`: each slot's file through the module's own WAV reader and
// the platform's sound device, with the verdict and what an author can do about it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"
#include "tools/ini_analysis.h"
#include "tools/wave_diagnosis.h"

// The platform's sound device, made once for the whole check as the module makes it.
struct DeviceProbe {
    IDirectSound* device = nullptr;
    HRESULT result = E_FAIL;
#if !defined(_WIN32)
    HWND window = nullptr;
#endif

    DeviceProbe();
    ~DeviceProbe();
    DeviceProbe(const DeviceProbe&) = delete;
    DeviceProbe& operator=(const DeviceProbe&) = delete;
    // What the module's CreateSoundBuffer call would answer for this format and size.
    HRESULT try_buffer(WAVEFORMATEX* format, DWORD bytes);
};

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

// Fills in all of `report` after its slot, path, source and line.
void check_slot(SlotReport& report, DeviceProbe& device);
// The slot's format in words ("PCM 1 ch 22050 Hz 16-bit"), "-" without one.
std::string format_text(const SlotReport& r);
// Bytes the "data" chunk declares beyond what the file holds; the slot plays without them.
uint64_t missing_bytes(const SlotReport& r);
// One or two words for the listing: "plays", "no file", "refused: not_riff", ...
std::string verdict_text(const SlotReport& r);
// The slot's problems and warnings.
void slot_problems(const SlotReport& r, Findings& findings);
