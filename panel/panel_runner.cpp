// Running a panel's gauges.
#include "panel/panel_runner.h"

#include <cstdlib>

struct PanelRunner::Instance : ScriptHost {
    PanelVariables* variables = nullptr;
    ScriptSource source{nullptr, nullptr};
    double gauge_variables[GAUGE_VARIABLES] = {};

    int bind(const VariableRef& variable, std::string& why) override {
        if (variable.kind != 'G') return variables->bind(variable, why);
        const std::string name = lower_text(variable.name);
        if (name.size() == 4 && name.compare(0, 3, "var") == 0 && name[3] >= '1' &&
            name[3] <= '0' + GAUGE_VARIABLES)
            return PANEL_GAUGE_HANDLES + (name[3] - '1');
        why = "a gauge's own variables are G:Var1 to G:Var" + std::to_string(GAUGE_VARIABLES);
        return -1;
    }
    double read(int handle) override {
        if (handle >= PANEL_GAUGE_HANDLES) return gauge_variables[handle - PANEL_GAUGE_HANDLES];
        return variables->read(handle);
    }
    void write(int handle, double value) override {
        if (handle >= PANEL_GAUGE_HANDLES) {
            gauge_variables[handle - PANEL_GAUGE_HANDLES] = value;
        } else {
            variables->write(handle, value, source);
        }
    }
};

PanelRunner::PanelRunner(LoadedPanel panel, PanelVariables& variables, PanelListener& listener)
    : panel_(std::move(panel)), variables_(variables), listener_(listener) {
    machine_.stack.reserve(SCRIPT_STACK_LIMIT);
    for (const PanelGauge& gauge : panel_.gauges) names_.push_back(gauge.line.name());
    auto add = [&](int gauge, const GaugeScriptText& text, bool every_update) {
        RunningScript running;
        running.gauge = gauge;
        running.place = text.place;
        running.first_line = text.line;
        running.every_update = every_update;
        running.text = text.text;
        ScriptError& error = running.error;
        if (!running.script.compile(text.text, *instances_[gauge], error)) {
            listener_.script_problem(ScriptSource{&names_[gauge], &running.place},
                                     running.file_line(error.line), error.token,
                                     error.message + ": this script does not run");
        }
        scripts_.push_back(std::move(running));
        return static_cast<int>(scripts_.size()) - 1;
    };
    every_update_.resize(panel_.gauges.size());
    state_.gauges.resize(panel_.gauges.size());
    for (size_t g = 0; g < panel_.gauges.size(); ++g) {
        const GaugeGeometry& geometry = panel_.gauges[g].xml.geometry;
        state_.gauges[g].elements.resize(geometry.elements.size());
        state_.gauges[g].areas.resize(geometry.areas.size());
    }
    clicks_.resize(panel_.gauges.size());
    for (size_t g = 0; g < panel_.gauges.size(); ++g) {
        const PanelGauge& gauge = panel_.gauges[g];
        if (gauge.kind == PanelGauge::DLL) {
            instances_.emplace_back();
            host_instance_.push_back(host_gauges_++);
            continue;
        }
        instances_.push_back(std::make_unique<Instance>());
        instances_.back()->variables = &variables_;
        host_instance_.push_back(-1);
        const int index = static_cast<int>(g);
        for (const GaugeScriptText& text : gauge.xml.every_update)
            every_update_[g].push_back(add(index, text, true));
        for (const GaugeArea& area : gauge.xml.areas)
            clicks_[g].push_back(area.has_click ? add(index, area.click, false) : -1);
    }
}

PanelRunner::~PanelRunner() = default;

void PanelRunner::run(RunningScript& running) {
    if (!running.script.compiled()) return;
    Instance& instance = *instances_[running.gauge];
    instance.source = ScriptSource{&names_[running.gauge], &running.place};
    ScriptRunReport report;
    running.script.run(instance, machine_, report, step_limit);
    const unsigned fresh = report.issues & ~running.reported;
    if (!fresh) return;
    running.reported |= fresh;
    for (int issue = 0; issue < ISSUE_COUNT; ++issue) {
        if (!(fresh & (1u << issue))) continue;
        const int op = report.token[issue];
        listener_.script_problem(instance.source, running.file_line(running.script.token_line(op)),
                                 running.script.token_text(op),
                                 script_issue_text(static_cast<ScriptIssue>(issue)));
    }
}

void PanelRunner::update() {
    ++state_.updates;
    for (size_t g = 0; g < panel_.gauges.size(); ++g) {
        if (host_instance_[g] >= 0) {
            listener_.host_gauge_update(host_instance_[g]);
            continue;
        }
        for (int script : every_update_[g]) run(scripts_[script]);
    }
}

int PanelRunner::clicked_gauge(const std::string& gauge) const {
    for (size_t g = 0; g < panel_.gauges.size(); ++g) {
        const PanelGauge& candidate = panel_.gauges[g];
        if (candidate.kind != PanelGauge::XML) continue;
        if (same_text(names_[g], gauge) || same_text(candidate.line.gauge, gauge))
            return static_cast<int>(g);
    }
    return -1;
}

std::string PanelRunner::click_copy(const std::string& gauge) const {
    const int found = clicked_gauge(gauge);
    if (found < 0) return "";
    int copies = 0;
    for (const std::string& name : names_) copies += name == names_[found];
    if (copies < 2) return "";
    const PanelGaugeLine& line = panel_.gauges[found].line;
    return "the copy in [" + line.section + "] (line " + std::to_string(line.line) +
           "), the first of " + std::to_string(copies);
}

bool PanelRunner::click(const std::string& gauge, const std::string& area, std::string& error) {
    const int found = clicked_gauge(gauge);
    if (found < 0) {
        error = "no XML gauge " + gauge + " in the panel";
        return false;
    }
    const std::vector<GaugeArea>& areas = panel_.gauges[found].xml.areas;
    const bool by_number = !area.empty() && area.size() <= 6 &&
                           area.find_first_not_of("0123456789") == std::string::npos;
    const GaugeArea* chosen = nullptr;
    size_t position = 0;
    for (; position < areas.size(); ++position) {
        const GaugeArea& candidate = areas[position];
        if (by_number ? candidate.index == std::atoi(area.c_str())
                      : same_text(candidate.tooltip, area)) {
            chosen = &candidate;
            break;
        }
    }
    if (!chosen) {
        error = names_[found] + " has no mouse area " + (by_number ? area : "'" + area + "'") +
                " (it has " + std::to_string(areas.size()) + ")";
        return false;
    }
    if (!chosen->has_click) {
        error = names_[found] + ": mouse area " + std::to_string(chosen->index) +
                " has no <Click> script";
        return false;
    }
    run(scripts_[clicks_[found][position]]);
    return true;
}
