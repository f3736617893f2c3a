// Owns the stand-in layer's trace hook and call counters.
#include "platform/standin_core.h"

#include <cstdio>
#include <map>
#include <string>

#include "platform/standin.h"

namespace {

StandinTraceFn trace_function = nullptr;
void* trace_context = nullptr;

std::map<std::string, long>& counts() {
    static std::map<std::string, long> table;
    return table;
}

}  // namespace

namespace standin {

void count_call(const char* name, long amount) { counts()[name] += amount; }

bool tracing() { return trace_function != nullptr; }

void emit(const char* event, const std::string& fields) {
    if (trace_function) trace_function(event, fields.c_str(), trace_context);
}

std::string json_string(const char* text) {
    if (!text) return "null";
    std::string out = "\"";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        switch (*p) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (*p < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", *p);
                    out += escaped;
                } else {
                    out += static_cast<char>(*p);
                }
        }
    }
    return out + "\"";
}

}  // namespace standin

CUEBOX_PLATFORM_API void standin_set_trace(StandinTraceFn function, void* context) {
    trace_function = function;
    trace_context = context;
}

CUEBOX_PLATFORM_API long standin_call_count(const char* name) {
    auto found = counts().find(name);
    return found == counts().end() ? 0 : found->second;
}

CUEBOX_PLATFORM_API void standin_reset_counts(void) { counts().clear(); }
