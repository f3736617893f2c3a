// libFuzzer target for the gauge script language: any text either compiles, or is refused with
// the token at fault and its line; what compiles runs three updates with a bound on its steps
// (so a gN loop ends) and keeps its stack within the limit.
#include <string>

#include "fuzz/fuzz_input.h"
#include "fuzz/script_host.h"
#include "panel/script.h"

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int line_count = 1;
    for (char c : text) line_count += c == '\n';
    fuzz::FuzzScriptHost host;
    Script script;
    ScriptError error;
    if (!script.compile(text, host, error)) {
        check(!script.compiled());
        check(!error.message.empty());
        check(error.line >= 0 && error.line <= line_count);
        return 0;
    }
    check(script.compiled());
    for (const ScriptWrite& write : script.writes())
        check(write.line >= 1 && write.line <= line_count);
    fuzz::run_updates(script, host, 10000);
    return 0;
}
