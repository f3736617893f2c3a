// Shared pieces of the stand-in platform library: the trace that every stand-in reports its
// calls to, the call counters, and the ANSI code page that the A functions read and write.
// Internal to platform/.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace standin {

// A trace event's fields, in the order they are added.
using Fields = nlohmann::ordered_json;

// Counts one call of the Win32 function `name`, or adds `amount` to a count of another kind.
void count_call(const char* name, long amount = 1);

// Sends an event to the host's trace function, if one is set, as one JSON object.
void emit(const char* event, const Fields& fields = Fields::object());

// True when a trace function is set, so callers can skip building fields nobody reads.
bool tracing();

// The ANSI code page of this process (see standin_set_codepage).
int code_page();

// ANSI text the module handed us, as a JSON string in UTF-8 (the code page read); null for a
// null pointer.
Fields ansi_field(const char* text);

// A Linux file name as a JSON string: its bytes when they are UTF-8, else U+FFFD for the bad
// ones, so that no name on disk can make the trace invalid.
Fields host_field(const std::string& name);

}  // namespace standin
