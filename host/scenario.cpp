// Parsing and running scenarios.
#include "host/scenario.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <sstream>

#include "host/panel_host.h"
#include "panel/text.h"

namespace {

bool parse_count(const std::string& text, double& count) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno || end == text.c_str() || *end != '\0' || value < 0 || value > 1000000) return false;
    count = static_cast<double>(value);
    return true;
}

// set KIND:NAME[,UNIT] VALUE (only A: and L: variables are set) and click GAUGE AREA, where
// names, units and tooltips may hold spaces.
bool parse_panel_step(const std::string& command, const std::string& line, ScenarioStep& step) {
    std::string rest = line.substr(line.find_first_not_of(" \t") + command.size());
    const size_t first = rest.find_first_not_of(" \t\r");
    if (first == std::string::npos) return false;
    rest = rest.substr(first, rest.find_last_not_of(" \t\r") - first + 1);
    if (command == "set") {
        const size_t last = rest.find_last_of(" \t");
        if (last == std::string::npos || !parse_value(rest.substr(last + 1), step.value))
            return false;
        step.kind = ScenarioStep::SET;
        step.target = rest.substr(0, rest.find_last_not_of(" \t", last) + 1);
        const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
        return step.target.size() > 2 && step.target[1] == ':' && (kind == 'A' || kind == 'L');
    }
    const size_t space = rest.find_first_of(" \t");
    if (space == std::string::npos) return false;
    step.kind = ScenarioStep::CLICK;
    step.target = rest.substr(0, space);
    step.area = rest.substr(rest.find_first_not_of(" \t", space));
    return true;
}

}  // namespace

bool parse_value(const std::string& text, double& value) {
    const std::string word = lower_text(text);
    if (word == "nan" || word == "+nan" || word == "-nan") {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (word == "inf" || word == "+inf") {
        value = std::numeric_limits<double>::infinity();
        return true;
    }
    if (word == "-inf") {
        value = -std::numeric_limits<double>::infinity();
        return true;
    }
    // Decimal only: strtod would also take hexadecimal and "infinity" spellings.
    if (word.empty() || word.find_first_not_of("0123456789+-.e") != std::string::npos) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && std::isfinite(value);
}

const char* const STEP_NAMES =
    "connect, disconnect, service, update, wait, write, expect, lose, set or click";
const char* const STEPS[] = {"connect", "disconnect", "service", "update", "wait",
                             "write",   "expect",     "lose",    "set",    "click"};

// The step a word that is none was meant to be: a slip of the keyboard away (wiat, updat).
std::string closest_step(const std::string& word) {
    std::string closest;
    size_t nearest = 3;  // two slips at most
    for (const char* step : STEPS) {
        const size_t apart = edit_distance(word, step);
        if (apart < nearest && word.size() >= 3) closest = step, nearest = apart;
    }
    return closest;
}

bool parse_scenario(const std::string& file_name, std::istream& in, Scenario& scenario,
                    std::string& error) {
    scenario.file_name = file_name;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const size_t comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        std::istringstream words(line);
        std::string command, argument, extra;
        if (!(words >> command)) continue;
        words >> argument >> extra;
        const std::string where = file_name + ":" + std::to_string(number) + ": ";
        auto fail = [&](const std::string& expected) {
            error = where + "expected " + expected + ", got '" + line + "'";
            return false;
        };
        ScenarioStep step{ScenarioStep::CONNECT, 0.0, number, "", ""};
        command = lower_text(command);
        if (std::none_of(std::begin(STEPS), std::end(STEPS),
                         [&](const char* known) { return command == known; })) {
            fail("a step (" + std::string(STEP_NAMES) + ")");
            const std::string meant = closest_step(command);
            if (!meant.empty()) error += ": did you mean '" + meant + "'?";
            return false;
        }
        if (command == "set" || command == "click") {
            if (!parse_panel_step(command, line, step)) {
                return fail(command == "set" ? "a variable and a value after 'set', as in 'set "
                                               "A:GEAR HANDLE POSITION,bool 1'"
                                             : "a gauge and an area after 'click'");
            }
            scenario.steps.push_back(step);
            continue;
        }
        if (!extra.empty()) return fail("one argument at most");
        if (command == "connect" || command == "disconnect" || command == "lose") {
            if (!argument.empty()) return fail("no argument after '" + command + "'");
            step.kind = command == "connect"      ? ScenarioStep::CONNECT
                        : command == "disconnect" ? ScenarioStep::DISCONNECT
                                                  : ScenarioStep::LOSE;
        } else if (command == "service") {
            char* end = nullptr;
            const long long code = std::strtoll(argument.c_str(), &end, 0);
            if (argument.empty() || *end != '\0' || code < -2147483648LL || code > 4294967295LL)
                return fail("a service code (a whole number) after 'service'");
            step.kind = ScenarioStep::SERVICE;
            step.value = static_cast<double>(code);
        } else if (command == "update") {
            step.kind = ScenarioStep::UPDATE;
            step.value = 1;
            if (!argument.empty() && !parse_count(argument, step.value))
                return fail("a count of updates (0 to 1000000) after 'update'");
        } else if (command == "wait") {
            step.kind = ScenarioStep::WAIT;
            if (!parse_value(argument, step.value) || !(step.value >= 0) || step.value > 86400)
                return fail("seconds (0 to 86400) after 'wait'");
        } else if (command == "write" || command == "expect") {
            step.kind = command == "write" ? ScenarioStep::WRITE : ScenarioStep::EXPECT;
            if (!parse_value(argument, step.value))
                return fail("a number, nan, inf or -inf after '" + command + "'");
        }
        scenario.steps.push_back(step);
    }
    return true;
}

bool run_scenario(PanelHost& host, const Scenario& scenario, const RunSettings& settings,
                  TraceRecorder& trace, std::string& failure) {
    const double tick = SECONDS_PER_UPDATE;
    ScenarioPanel* panel = settings.panel;
    auto where = [&](const ScenarioStep& step) {
        return scenario.file_name + ":" + std::to_string(step.line) + ": ";
    };
    for (const ScenarioStep& step : scenario.steps) {
        if (!panel && (step.kind == ScenarioStep::SET || step.kind == ScenarioStep::CLICK)) {
            failure = where(step) + "'set' and 'click' need a panel (--panel)";
            return false;
        }
    }
    auto update = [&]() {
        trace.next_update();
        if (panel) {
            panel->update(trace.time());
        } else {
            host.pre_update();
        }
        let_time_pass(tick, settings.output);
        trace.advance(tick);
    };
    auto service = [&](uint32_t code) {
        if (panel) {
            panel->service(code);
        } else {
            host.service(code);
        }
    };
    std::string why;
    for (const ScenarioStep& step : scenario.steps) {
        switch (step.kind) {
            case ScenarioStep::CONNECT:
                service(simulator_service::CONNECT_TO_WINDOW);
                break;
            case ScenarioStep::DISCONNECT:
                service(simulator_service::DISCONNECT);
                break;
            case ScenarioStep::SERVICE:
                service(static_cast<uint32_t>(static_cast<long long>(step.value)));
                break;
            case ScenarioStep::SET:
                if (!panel->set(step.target, step.value, why)) {
                    failure = where(step) + why;
                    return false;
                }
                break;
            case ScenarioStep::CLICK:
                if (!panel->click(step.target, step.area, why)) {
                    failure = where(step) + why;
                    return false;
                }
                break;
            case ScenarioStep::UPDATE:
                for (long i = 0; i < static_cast<long>(step.value); ++i) update();
                break;
            case ScenarioStep::WAIT: {
                const long updates = std::lround(step.value * UPDATES_PER_SECOND);
                for (long i = 0; i < updates; ++i) update();
                break;
            }
            case ScenarioStep::WRITE:
                host.set_variable(settings.variable_name, step.value);
                trace.add("gauge_write", {{"value", json_number(step.value)}});
                break;
            case ScenarioStep::EXPECT: {
                const double now = host.variable(settings.variable_name);
                const bool same = std::isnan(step.value) ? std::isnan(now) : now == step.value;
                if (!same) {
                    failure = scenario.file_name + ":" + std::to_string(step.line) + ": expected " +
                              settings.variable_name + " = " + json_text(json_number(step.value)) +
                              ", found " + json_text(json_number(now));
                    return false;
                }
                break;
            }
            case ScenarioStep::LOSE: {
                std::string why;
                if (!lose_sound_buffers(settings.output, why)) {
                    failure = where(step) + why;
                    return false;
                }
                trace.add("lose");
                break;
            }
        }
    }
    return true;
}
