// DirectSound's result codes in words, for every message that shows one: a bare 0x88780078
// tells an author nothing, its name and what it means on their machine do.
#pragma once

#include <string>

#include "platform/win32.h"

// "0x88780078 DSERR_NODRIVER (no sound device is there to use)"; a code we do not know keeps
// its number alone.
std::string result_text(HRESULT code);

// The same for a result as the trace writes it ("0" or "0x88780078"); "0" stays "0", and text
// that is no number stays as it is.
std::string result_text(const std::string& field);
