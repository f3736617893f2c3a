// Owns the stand-in layer's trace hook, call counters and ANSI code page.
#include "platform/standin_core.h"

#include <cstdlib>
#include <map>
#include <string>

#include "platform/codepage.h"
#include "platform/standin.h"

namespace {

StandinTraceFn trace_function = nullptr;
void* trace_context = nullptr;
int chosen_code_page = 0;  // 0: not chosen yet, read from the environment on first use

std::map<std::string, long>& counts() {
    static std::map<std::string, long> table;
    return table;
}

}  // namespace

namespace standin {

void count_call(const char* name, long amount) {
    counts()[name] += amount;
}

bool tracing() {
    return trace_function != nullptr;
}

void emit(const char* event, const Fields& fields) {
    if (!trace_function) return;
    // Every string going in is UTF-8 already; replacing stays as the last guard, since a trace
    // that throws would take the module's call down with it.
    const std::string text = fields.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    trace_function(event, text.c_str(), trace_context);
}

int code_page() {
    if (chosen_code_page == 0) {
        // A host that never chooses gets the environment's choice, so that any program over
        // this layer follows CUEBOX_CODEPAGE; a value we cannot honour falls back to 1252 here
        // (the tools refuse it with a message before they start).
        const char* text = std::getenv("CUEBOX_CODEPAGE");
        std::string error;
        const int number = text && *text ? codepage::parse(text, error) : 0;
        chosen_code_page = number ? number : codepage::DEFAULT_CODE_PAGE;
    }
    return chosen_code_page;
}

Fields ansi_field(const char* text) {
    if (!text) return nullptr;
    return codepage::to_utf8(code_page(), text);
}

Fields host_field(const std::string& name) {
    return codepage::valid_utf8_text(name);
}

}  // namespace standin

CUEBOX_PLATFORM_API int standin_set_codepage(int code_page) {
    if (!codepage::supported(code_page)) return -1;
    chosen_code_page = code_page;
    return 0;
}

CUEBOX_PLATFORM_API int standin_codepage(void) {
    return standin::code_page();
}

CUEBOX_PLATFORM_API void standin_set_trace(StandinTraceFn function, void* context) {
    trace_function = function;
    trace_context = context;
}

CUEBOX_PLATFORM_API long standin_call_count(const char* name) {
    auto found = counts().find(name);
    return found == counts().end() ? 0 : found->second;
}

CUEBOX_PLATFORM_API void standin_reset_counts(void) {
    counts().clear();
}
