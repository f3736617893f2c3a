// libFuzzer target for the panel.cfg reader: any text gives gauge lines and problems, each with
// a line of the file, gauges in panel order (by number within a section), and nothing else.
#include <string>

#include "fuzz/fuzz_input.h"
#include "panel/panel_config.h"

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const PanelConfig config = read_panel_config("panel.cfg", text);
    int line_count = 1;
    // A line ends at CR, LF or both, in UTF-16 too, where each still holds one such byte.
    for (char c : text) line_count += c == '\n' || c == '\r';
    const PanelGaugeLine* previous = nullptr;
    for (const PanelGaugeLine& gauge : config.gauges) {
        check(gauge.line >= 1 && gauge.line <= line_count);
        check(!gauge.file.empty() && !gauge.gauge.empty() && !gauge.section.empty());
        check(gauge.name() == gauge.file + "!" + gauge.gauge);
        if (previous && previous->section == gauge.section) check(previous->number <= gauge.number);
        previous = &gauge;
    }
    for (const PanelMessage& problem : config.problems) {
        check(problem.file == "panel.cfg");
        check(problem.line >= 0 && problem.line <= line_count);
        check(!problem.text.empty());
    }
    return 0;
}
