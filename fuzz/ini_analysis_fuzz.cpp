// libFuzzer target for `cuebox check`'s own reading of an INI file. Besides not crashing, the
// check must agree with the module's profile reader: a line it says gives LVar or a slot's path
// is a key the reader finds, and where it says none counts, the reader finds no value.
#include <cstring>
#include <string>

#include "fuzz/fuzz_input.h"
#include "panel/text.h"
#include "platform/win32.h"
#include "tools/ini_analysis.h"

using fuzz::check;

namespace {

const char* const MISSING = "\x01missing";

// What the module's reader gives for the key: nothing (the default), an empty value, or a value.
enum Found { NOTHING, EMPTY, VALUE };

Found reader_finds(const std::string& path, const char* section, const char* key) {
    char value[SLOT_VALUE_LIMIT];
    GetPrivateProfileStringA(section, key, MISSING, value, sizeof value, path.c_str());
    if (std::strcmp(value, MISSING) == 0) return NOTHING;
    return value[0] ? VALUE : EMPTY;
}

// A line the check says counts is a key the reader finds; where the check says no line counts,
// the reader finds nothing, or an empty value that leaves the module on its default as well.
void agree(int line, Found found) {
    check(line > 0 ? found != NOTHING : found != VALUE);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    IniLines lines;
    Findings findings;
    analyse_ini_text(text, lines, findings);

    int line_count = 1;
    // A line ends at CR, LF or both, in UTF-16 too, where each still holds one such byte.
    for (char c : text) line_count += c == '\n' || c == '\r';
    for (const std::vector<Problem>* list : {&findings.problems, &findings.warnings}) {
        for (const Problem& p : *list) {
            check(!p.kind.empty() && !p.message.empty());
            check(p.line >= 0 && p.line <= line_count);
            check(p.slot >= -1 && p.slot < SLOT_COUNT);
        }
    }
    check(lines.variable_line >= 0 && lines.variable_line <= line_count);

    const std::string& path = fuzz::input_path(".ini");
    if (!fuzz::write_input(path, data, size)) return 0;
    agree(lines.variable_line, reader_finds(path, "Config", "LVar"));
    // Only keys the text spells (in any case) can be found; the others are asked for only when
    // the check says they count.
    const std::string folded = lower_text(text);
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        check(lines.slot_lines[slot] >= 0 && lines.slot_lines[slot] <= line_count);
        char key[8];
        slot_key(slot, key);
        if (!lines.slot_lines[slot] && folded.find(lower_text(key)) == std::string::npos) continue;
        agree(lines.slot_lines[slot], reader_finds(path, "Sounds", key));
    }
    return 0;
}
