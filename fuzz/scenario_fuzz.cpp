// libFuzzer target for the scenario reader of `cuebox run`: any text is either read into steps
// or refused with its file, line and what was expected there. Steps keep the bounds the reader
// promises, so a scenario can never ask for more updates or seconds than it may.
#include <cmath>
#include <sstream>
#include <string>

#include "fuzz/fuzz_input.h"
#include "host/scenario.h"

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream in(text);
    Scenario scenario;
    std::string error;
    const bool read = parse_scenario("fuzz.scn", in, scenario, error);
    if (!read) {
        check(error.compare(0, 9, "fuzz.scn:") == 0);
        check(error.find(": expected ") != std::string::npos);
        return 0;
    }
    check(error.empty());
    int lines = 1;
    for (char c : text) lines += c == '\n';
    int last_line = 0;
    for (const ScenarioStep& step : scenario.steps) {
        check(step.line >= 1 && step.line <= lines && step.line > last_line);
        last_line = step.line;
        switch (step.kind) {
            case ScenarioStep::UPDATE:
                check(step.value >= 0 && step.value <= 1000000 &&
                      step.value == std::floor(step.value));
                break;
            case ScenarioStep::WAIT:
                check(step.value >= 0 && step.value <= 86400);
                break;
            case ScenarioStep::WRITE:
            case ScenarioStep::EXPECT:
                break;
            default:
                check(!std::isnan(step.value));
        }
    }
    return 0;
}
