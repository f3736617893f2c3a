// DirectSound's result codes and wave format tags in words, for every message that shows one:
// a bare 0x88780078 or "tag 85" tells an author nothing, a name and what it means do.
#pragma once

#include <string>

#include "platform/win32.h"

// "0x88780078 DSERR_NODRIVER (no sound device is there to use)"; a code we do not know keeps
// its number alone.
std::string result_text(HRESULT code);

// The same for a result as the trace writes it ("0" or "0x88780078"); "0" stays "0", and text
// that is no number stays as it is.
std::string result_text(const std::string& field);

// A wave format tag by name ("PCM", "MS ADPCM", "MPEG Layer 3"); an extensible format with its
// sub-format tag ("extensible IEEE float"), 0 when it gives none; an unknown tag by number.
std::string format_name(unsigned tag, unsigned subformat);

// What every tool says, once, when the sound device cannot start: "no sound output
// (DirectSound could not start: 0x88780078 DSERR_NODRIVER (...)): " and what to check.
std::string no_sound_output(HRESULT code);
// The same for a result as the trace writes it.
std::string no_sound_output(const std::string& field);
