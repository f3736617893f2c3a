// A loaded panel, running: each XML gauge's scripts compiled against the panel's variables,
// run once per update in panel order as the simulator runs them (a gauge's <Update>, then each
// element in file order: its <Visible>, <Select> value, <Shift>, <Rotate> and <String>), with
// the host's own DLL gauges (its module) taking their turn at their place; each gauge's state
// after the update; mouse clicks; and each script problem reported once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "panel/gauge_state.h"
#include "panel/panel.h"
#include "panel/script.h"

// Who runs a script, for the trace and the messages.
struct ScriptSource {
    const std::string* gauge;  // "FILE!GAUGE"
    const std::string* place;  // "Update", "Element 2 Value", "Area 1 Click", ...
};

// The variables scripts see, apart from each gauge's own G:Var1 to G:Var9.
class PanelVariables {
  public:
    virtual ~PanelVariables() = default;
    // A handle (0 or more, below PANEL_GAUGE_HANDLES) or -1 with the reason in `why`.
    virtual int bind(const VariableRef& variable, std::string& why) = 0;
    virtual double read(int handle) = 0;
    virtual void write(int handle, double value, const ScriptSource& by) = 0;
    // A key event of two parameters, (>K:2:NAME), `first` written before `second`: a host that
    // records events of one parameter only gets the first.
    virtual void write_event(int handle, double first, double second, const ScriptSource& by) {
        (void)second;
        write(handle, first, by);
    }
};

class PanelListener {
  public:
    virtual ~PanelListener() = default;
    // The host's own gauge, the `instance`th DLL line of the panel, at its place in the order.
    virtual void host_gauge_update(int instance) = 0;
    // A script that does not compile (once, at start) or an issue of a run (once per script
    // and kind). `line` is the line of the gauge file.
    virtual void script_problem(const ScriptSource& by, int line, const std::string& token,
                                const std::string& message) = 0;
};

constexpr int PANEL_GAUGE_HANDLES = 1 << 30;  // handles from here on are G: variables
constexpr int GAUGE_VARIABLES = 9;            // G:Var1 to G:Var9

class PanelRunner {
  public:
    struct RunningScript {
        int gauge;  // index into panel().gauges
        std::string place;
        int first_line;  // the gauge file's line where the script's text begins
        bool every_update;
        Script script;
        std::string text;       // as the gauge gives it, for the checks that read scripts
        ScriptError error;      // why it does not run, when it did not compile
        unsigned reported = 0;  // issues already reported
        int file_line(int script_line) const { return first_line + script_line - 1; }
    };

    // Compiles every script; compile errors go to the listener at once.
    PanelRunner(LoadedPanel panel, PanelVariables& variables, PanelListener& listener);
    ~PanelRunner();

    // One panel update: every gauge in panel order. `seconds` is the time since the last
    // update, for the <Delay>s of moving images; the first update places them at once.
    void update(double seconds = 1.0 / 18);
    // A click on an area of a gauge: `gauge` is FILE!GAUGE or GAUGE alone (when that names one
    // gauge), `area` the area's number (from 1) or its tooltip. False with `error` when there is
    // no such gauge or area.
    bool click(const std::string& gauge, const std::string& area, std::string& error);
    // Which copy of `gauge` a click hits (the first in panel order) when the panel places the
    // gauge more than once: "the copy in [Window00] (line 5), the first of 2"; "" otherwise.
    std::string click_copy(const std::string& gauge) const;

    // Each gauge's state as of the last update(): what a page draws, beside each gauge's
    // geometry in panel().gauges[n].xml.geometry.
    const PanelState& state() const { return state_; }
    const LoadedPanel& panel() const { return panel_; }

    const std::vector<RunningScript>& scripts() const { return scripts_; }
    int host_gauge_count() const { return host_gauges_; }
    long step_limit = SCRIPT_STEP_LIMIT;

  private:
    struct Instance;
    double run(RunningScript& script);
    void update_gauge(size_t gauge, double seconds);
    void format(size_t gauge, const std::vector<TextPiece>& pieces, std::string& out);
    int clicked_gauge(const std::string& gauge) const;  // its index, or -1

    LoadedPanel panel_;
    PanelVariables& variables_;
    PanelListener& listener_;
    std::vector<std::string> names_;
    std::vector<std::unique_ptr<Instance>> instances_;  // per gauge; null for DLL gauges
    std::vector<int> host_instance_;                    // per gauge: its DLL number, or -1
    std::vector<RunningScript> scripts_;
    std::vector<int> first_script_;  // per gauge: where its scripts begin in scripts_
    int host_gauges_ = 0;
    ScriptMachine machine_;
    PanelState state_;
};
