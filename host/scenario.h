// Scenarios: text files that drive the module as a panel would, one step a line.
//   connect | disconnect | service CODE | update [N] | wait SECONDS | write VALUE | expect VALUE
//   | lose            ('#' starts a comment)
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "host/panel_host.h"
#include "host/trace.h"

struct ScenarioStep {
    enum Kind { CONNECT, DISCONNECT, SERVICE, UPDATE, WAIT, WRITE, EXPECT, LOSE };
    Kind kind;
    double value;  // service code, update count, seconds, or the value written or expected
    int line;
};

struct Scenario {
    std::string file_name;
    std::vector<ScenarioStep> steps;
};

// Parses the whole scenario; on the first malformed line returns false with
// "FILE:LINE: expected ..., got '...'" in `error`.
bool parse_scenario(const std::string& file_name, std::istream& in, Scenario& scenario,
                    std::string& error);

// A number as a gauge may write it: decimal with sign, fraction and exponent, nan, inf, -inf.
bool parse_value(const std::string& text, double& value);

constexpr double UPDATES_PER_SECOND = 18.0;

struct RunSettings {
    std::string variable_name;  // the command variable that `write` and `expect` use
    SoundOutput output = SoundOutput::NONE;
};

// Runs the steps on a host whose module is loaded and whose gauge instance 0 exists. Returns
// false, with the reason in `failure`, when an `expect` does not hold.
bool run_scenario(PanelHost& host, const Scenario& scenario, const RunSettings& settings,
                  TraceRecorder& trace, std::string& failure);
