// A result code in hexadecimal, as every message and trace field writes one: "0x88780078".
// Header-only, so that the module, the host and the tools share it on every build, Windows
// included, where the rest of this folder is the system itself.
#pragma once

#include <cstdio>
#include <string>

#include "platform/win32.h"

inline std::string result_hex(HRESULT code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}
