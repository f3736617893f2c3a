// Shared pieces of the stand-in platform library: the trace that every stand-in reports its
// calls to, the call counters, and JSON text helpers for trace fields. Internal to platform/.
#pragma once

#include <string>

namespace standin {

// Counts one call of the Win32 function `name`, or adds `amount` to a count of another kind.
void count_call(const char* name, long amount = 1);

// Sends an event to the host's trace function, if one is set. `fields` is a JSON object body.
void emit(const char* event, const std::string& fields);

// True when a trace function is set, so callers can skip building fields nobody reads.
bool tracing();

// A JSON string literal for `text`, with quotes and escapes; a null pointer gives null.
std::string json_string(const char* text);

}  // namespace standin
