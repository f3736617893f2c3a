// The author's panel beside the module in a run (`cuebox run --panel`): loads panel.cfg and its
// XML gauges from the root, adds a gauge instance of the module for each of its lines, and at
// each update runs the panel in order. The scripts' variables are the host's: L: variables are
// the host's named variables (the module's command variable among them), A: variables are what
// the scenario and the --vars timeline set, P: and E: read the run's clock, K: events go into
// the trace. Each gauge's write to the command variable is traced with the gauge's name, and a
// command that a gauge's write overwrites before the module has read it is traced as lost.
// Values are kept in the unit they were written in and read in the unit the reader names.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host/panel_host.h"
#include "host/scenario.h"
#include "host/trace.h"
#include "panel/panel_runner.h"
#include "panel/units.h"
#include "panel/vars_timeline.h"

constexpr const char* MODULE_GAUGE_FILE = "jvb_cuebox2";

class PanelSession : public ScenarioPanel, private PanelVariables, private PanelListener {
  public:
    explicit PanelSession(PanelHost& host);
    ~PanelSession() override;

    // Loads the panel (a path relative to the current folder, the root) with `files`, and adds
    // one instance of the module's gauge to the host per module line, with its parameters.
    // The panel's problems and notes are left in problems() and notes().
    void load(const std::string& panel_path, PanelFiles& files);
    // Starts the panel once the module's command variable is known: gauges' writes to it are
    // traced from now on. The scripts are compiled here; their errors go to the trace.
    void start(const std::string& command_variable, TraceRecorder& trace);
    // The --vars timeline; false with "line N: why" in `error`.
    bool set_timeline(const std::string& csv_text, std::string& error);

    const LoadedPanel& panel() const { return loaded_; }
    // The panel's scripts as compiled by start(), for the checks that read them; empty before.
    const std::vector<PanelRunner::RunningScript>& scripts() const;
    // Each gauge's state as of the last update, per panel().gauges (their geometry is in
    // panel().gauges[n].xml.geometry); empty until start().
    const PanelState& state() const;
    const std::vector<PanelMessage>& problems() const { return loaded_.problems; }
    const std::vector<PanelMessage>& notes() const { return loaded_.notes; }
    // The parameter strings of the module's lines, in panel order.
    // The parameter strings of the module's lines, in the ANSI code page as the module gets them.
    const std::vector<std::string>& module_parameters() const { return module_parameters_; }
    // Commands the gauges wrote that the module never read (each one a command_lost event).
    long commands_lost() const { return commands_lost_; }

    // A variable the panel's scripts read, as they read it: its value converted to the unit
    // the first script that binds it names.
    struct ReadVariable {
        std::string name;  // "A:STALL WARNING", "L:DemoCue", "P:ABSOLUTE TIME"
        std::string unit;  // as the script names it, "" when none
        double value;
    };
    // Each A:, L:, P: and E: variable the scripts read or write, once, in the order they bind.
    std::vector<ReadVariable> read_variables();

    // ScenarioPanel
    void service(uint32_t code) override;
    void update(double time) override;
    bool set(const std::string& variable, double value, std::string& why) override;
    bool click(const std::string& gauge, const std::string& area, std::string& why) override;

  private:
    struct Bound {
        char kind;
        size_t index;  // L: the host's variable id; A: index into a_variables_
        std::string name;
        const Unit* unit;  // as the script names it; null when none or unknown
    };
    struct AircraftVariable {
        VariableRef ref;
        double value = 0;
        const Unit* unit = nullptr;           // the unit its value was given in
        std::vector<const Unit*> read_units;  // the units scripts read it in
        bool unit_noted = false;
    };
    // A command written to the command variable that the module has not read yet.
    struct Pending {
        bool held = false;
        double value = 0;
        std::string gauge, script;
        long update = 0;
    };

    // PanelVariables
    int bind(const VariableRef& variable, std::string& why) override;
    double read(int handle) override;
    void write(int handle, double value, const ScriptSource& by) override;
    void write_event(int handle, double first, double second, const ScriptSource& by) override;
    // PanelListener
    void host_gauge_update(int instance) override;
    void script_problem(const ScriptSource& by, int line, const std::string& token,
                        const std::string& message) override;

    size_t aircraft_variable(const VariableRef& ref);
    void assign(const VariableRef& ref, double value, const char* source);
    const Unit* unit_of(const VariableRef& ref);
    const Unit*& local_unit(size_t id);
    void command_written(double value, const ScriptSource& by);
    void trace_state();

    PanelHost& host_;
    TraceRecorder* trace_ = nullptr;
    LoadedPanel loaded_;
    std::unique_ptr<PanelRunner> runner_;
    std::vector<std::string> module_parameters_;
    std::vector<int> module_gauges_;  // the host's gauge index per module line
    VariableId command_ = 0;
    std::vector<Bound> bound_;
    std::vector<AircraftVariable> a_variables_;
    std::map<std::string, size_t> a_index_;
    std::vector<const Unit*> local_units_;  // per L: variable: the unit of its last write
    std::set<std::string> noted_units_;
    Pending pending_;
    long commands_lost_ = 0;
    VarsTimeline timeline_;
    size_t next_row_ = 0;
    double time_ = 0;
    PanelState traced_;  // the state as the trace last gave it, rounded
};
