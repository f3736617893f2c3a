// Scenarios: text files that drive the module as a panel would, one step a line.
//   connect | disconnect | service CODE | update [N] | wait SECONDS | write VALUE | expect VALUE
//   | lose            ('#' starts a comment)
// and, with a panel: set A:NAME,UNIT VALUE | set L:NAME,UNIT VALUE | click GAUGE AREA
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "host/panel_host.h"
#include "host/trace.h"

struct ScenarioStep {
    enum Kind { CONNECT, DISCONNECT, SERVICE, UPDATE, WAIT, WRITE, EXPECT, LOSE, SET, CLICK };
    Kind kind;
    double value;  // service code, update count, seconds, or the value written or expected
    int line;
    std::string target;  // set: the variable, "A:NAME,UNIT"; click: the gauge
    std::string area;    // click: the area's number or tooltip
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
constexpr double SECONDS_PER_UPDATE = 1.0 / UPDATES_PER_SECOND;

// A panel's XML gauges beside the module (`run --panel`): each update runs the panel, with the
// module's pre-update at its place in it; services go to every instance of the module; the
// panel takes the `set` and `click` steps.
class ScenarioPanel {
  public:
    virtual ~ScenarioPanel() = default;
    virtual void service(uint32_t code) = 0;
    // One panel update at `time` seconds of the run.
    virtual void update(double time) = 0;
    virtual bool set(const std::string& variable, double value, std::string& why) = 0;
    virtual bool click(const std::string& gauge, const std::string& area, std::string& why) = 0;
};

struct RunSettings {
    std::string variable_name;  // the command variable that `write` and `expect` use
    SoundOutput output = SoundOutput::NONE;
    ScenarioPanel* panel = nullptr;  // none: gauge instance 0 alone stands for the panel
};

// Runs the steps on a host whose module is loaded and whose gauge instance 0 exists. Returns
// false, with the reason in `failure`, when an `expect` does not hold.
bool run_scenario(PanelHost& host, const Scenario& scenario, const RunSettings& settings,
                  TraceRecorder& trace, std::string& failure);
