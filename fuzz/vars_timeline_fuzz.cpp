// libFuzzer target for the --vars timeline (CSV): any text is read into columns and rows in
// time order, every row sized to the columns, or refused with the line at fault.
#include <cmath>
#include <string>

#include "fuzz/fuzz_input.h"
#include "panel/vars_timeline.h"

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int line_count = 1;
    for (char c : text) line_count += c == '\n';
    VarsTimeline timeline;
    std::string error;
    if (!read_vars_timeline(text, timeline, error)) {
        check(!error.empty());
        return 0;
    }
    const VarsRow* previous = nullptr;
    for (const VarsRow& row : timeline.rows) {
        check(std::isfinite(row.time));
        check(row.line >= 1 && row.line <= line_count);
        check(row.given.size() == timeline.columns.size());
        check(row.values.size() == timeline.columns.size());
        for (size_t i = 0; i < row.values.size(); ++i) {
            if (row.given[i]) check(std::isfinite(row.values[i]));
        }
        if (previous) check(previous->time <= row.time);
        previous = &row;
    }
    for (const VariableRef& column : timeline.columns)
        check(column.kind != 0 && !column.name.empty());
    return 0;
}
