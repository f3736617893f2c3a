// The names and meanings of the result codes and wave formats the module and the tools meet.
#include "host/result_text.h"

#include <cstdlib>

#include "platform/result_hex.h"

namespace {

struct Meaning {
    HRESULT code;
    const char* name;
    const char* words;
};

// Each DirectSound error the module can meet, worded for someone trying a sound set.
const Meaning meanings[] = {
    {DS_OK, "DS_OK", "success"},
    {DSERR_BADFORMAT, "DSERR_BADFORMAT", "the device does not take this wave format"},
    {DSERR_INVALIDPARAM, "DSERR_INVALIDPARAM", "a value handed to DirectSound is not valid"},
    {DSERR_OUTOFMEMORY, "DSERR_OUTOFMEMORY", "out of memory"},
    {DSERR_UNSUPPORTED, "DSERR_UNSUPPORTED",
     "this system's DirectSound does not do that, typically for this wave format"},
    {DSERR_NODRIVER, "DSERR_NODRIVER", "no sound device is there to use"},
    {DSERR_ALLOCATED, "DSERR_ALLOCATED", "another program holds the sound device"},
    {DSERR_INVALIDCALL, "DSERR_INVALIDCALL", "not allowed in this state"},
    {DSERR_CONTROLUNAVAIL, "DSERR_CONTROLUNAVAIL", "the buffer lacks the control asked for"},
    {DSERR_UNINITIALIZED, "DSERR_UNINITIALIZED", "the device was not initialized"},
    {DSERR_PRIOLEVELNEEDED, "DSERR_PRIOLEVELNEEDED", "needs a higher cooperative level"},
    {DSERR_BUFFERLOST, "DSERR_BUFFERLOST", "the buffer's memory was lost and must be restored"},
    {DSERR_OTHERAPPHASPRIO, "DSERR_OTHERAPPHASPRIO", "another program has priority on the device"},
    {DSERR_GENERIC, "E_FAIL", "an unspecified failure"},
};

}  // namespace

std::string result_text(HRESULT code) {
    for (const Meaning& meaning : meanings) {
        if (meaning.code == code)
            return result_hex(code) + " " + meaning.name + " (" + meaning.words + ")";
    }
    return result_hex(code);
}

std::string result_text(const std::string& field) {
    if (field == "0") return field;
    char* end = nullptr;
    const unsigned long value = std::strtoul(field.c_str(), &end, 0);
    if (field.empty() || *end != '\0') return field;
    return result_text(static_cast<HRESULT>(value));
}

std::string format_name(unsigned tag, unsigned subformat) {
    switch (tag) {
        case WAVE_FORMAT_PCM:
            return "PCM";
        case WAVE_FORMAT_ADPCM:
            return "MS ADPCM";
        case WAVE_FORMAT_IEEE_FLOAT:
            return "IEEE float";
        case 0x0006:
            return "A-law";
        case 0x0007:
            return "mu-law";
        case 0x0011:
            return "IMA ADPCM";
        case 0x0050:
            return "MPEG";
        case 0x0055:
            return "MPEG Layer 3";
        case WAVE_FORMAT_EXTENSIBLE:
            return subformat ? "extensible " + format_name(subformat, 0) : "extensible";
        default:
            return "format tag " + std::to_string(tag);
    }
}

std::string no_sound_output(HRESULT code) {
    // The arguments of DirectSoundCreate are always valid here: Wine answers this code when it
    // finds no playback device, and its general meaning would blame the tool.
    const std::string why = code == DSERR_INVALIDPARAM
                                ? result_hex(code) +
                                      " DSERR_INVALIDPARAM, as Wine answers without a "
                                      "playback device"
                                : result_text(code);
    return "no sound output (DirectSound could not start: " + why + "): " +
#if defined(_WIN32)
           "check that Windows has a playback device (Sound in the Control Panel), that it is "
           "switched on and that no other program holds it alone; --out FILE.wav renders the "
           "sound instead, --silent runs without it";
#else
           "check that a sound server (PulseAudio, PipeWire) or an ALSA device is there for "
           "this user; without --live the sound is rendered offline, --out FILE.wav keeps it";
#endif
}

std::string no_sound_output(const std::string& field) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(field.c_str(), &end, 0);
    return no_sound_output(static_cast<HRESULT>(field.empty() || *end ? E_FAIL : value));
}
