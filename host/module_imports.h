// On Windows: resolving one of a loaded module's imports to a function of the host, as a
// simulator's loader could have resolved it. The system's loader has written the address of each
// imported function into the module's import address table; replacing one entry there, in
// memory, puts the host between the module and the system without changing a byte of the
// module's file, and what the entry held is handed back so the host can forward to it.
#pragma once

#if defined(_WIN32)

#include "platform/win32.h"

// Replaces the module's import of the function that `dll` exports by `name` (or, with a null
// name, by `ordinal`) with `replacement`. A null `dll` matches the function in whichever library
// the module imports it from (the C runtime's may be msvcrt.dll or another). Returns the address
// the entry held, or null when the module imports no such function.
void* replace_module_import(HMODULE module, const char* dll, const char* name, WORD ordinal,
                            void* replacement);

#endif  // _WIN32
