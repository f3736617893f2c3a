// Running an author's panel beside the module.
#include "host/panel_session.h"

#include <cmath>
#include <cstdio>
#include <sstream>

#include "control/protocol.h"
#include "host/files.h"
#include "host/root_files.h"
#include "platform/codepage.h"

namespace {

enum BoundKind : char { LOCAL = 'L', AIRCRAFT = 'A', CLOCK = 'P', UNKNOWN = '0', EVENT = 'K' };

// The host's clock, in seconds from the start of the run whatever the unit: these are the only
// P: and E: variables a preview knows.
bool clock_name(const std::string& name) {
    for (const char* known : {"ABSOLUTE TIME", "SIMULATION TIME", "LOCAL TIME", "ZULU TIME"}) {
        if (same_text(name, known)) return true;
    }
    return false;
}

}  // namespace

PanelSession::PanelSession(PanelHost& host) : host_(host) {}

PanelSession::~PanelSession() = default;

void PanelSession::load(const std::string& panel_path, PanelFiles& files) {
    loaded_ = load_panel(panel_path, files, {MODULE_GAUGE_FILE});
    for (const PanelGauge& gauge : loaded_.gauges) {
        if (gauge.kind != PanelGauge::DLL) continue;
        // The simulator hands the module its parameter string in the ANSI code page.
        module_parameters_.push_back(codepage::from_utf8(files.code_page(), gauge.line.parameters));
        module_gauges_.push_back(host_.add_gauge(module_parameters_.back().c_str()));
    }
}

void PanelSession::start(const std::string& command_variable, TraceRecorder& trace) {
    trace_ = &trace;
    command_ = host_.register_variable(command_variable);
    // What the preview does not model of a gauge, once per gauge file, before anything runs.
    std::set<std::string> partly;
    for (const PanelGauge& gauge : loaded_.gauges) {
        const std::string note = partly_read_note(gauge);
        if (!note.empty() &&
            partly.insert(lower_text(gauge.source + "!" + gauge.line.gauge)).second)
            trace_->add("panel_note", {{"message", note}});
    }
    runner_ = std::make_unique<PanelRunner>(loaded_, static_cast<PanelVariables&>(*this),
                                            static_cast<PanelListener&>(*this));
}

const std::vector<PanelRunner::RunningScript>& PanelSession::scripts() const {
    static const std::vector<PanelRunner::RunningScript> none;
    return runner_ ? runner_->scripts() : none;
}

const PanelState& PanelSession::state() const {
    static const PanelState none;
    return runner_ ? runner_->state() : none;
}

bool PanelSession::set_timeline(const std::string& csv_text, std::string& error) {
    next_row_ = 0;
    return read_vars_timeline(csv_text, timeline_, error);
}

void PanelSession::service(uint32_t code) {
    for (int gauge : module_gauges_) host_.service(code, gauge);
}

void PanelSession::update(double time) {
    const double seconds = time - time_;
    time_ = time;
    // Rows due by now, a little early rather than an update late for rounding.
    while (next_row_ < timeline_.rows.size() && timeline_.rows[next_row_].time <= time + 1e-9) {
        const VarsRow& row = timeline_.rows[next_row_++];
        for (size_t i = 0; i < row.given.size(); ++i) {
            if (row.given[i]) assign(timeline_.columns[i], row.values[i], "vars");
        }
    }
    runner_->update(seconds > 0 ? seconds : 0);
    trace_state();
}

namespace {

// Pixels to a hundredth and radians to a ten-thousandth: finer than any screen shows, coarse
// enough that a needle at rest is not traced again for a rounding's sake.
double rounded(double value, double scale) {
    return std::round(value * scale) / scale;
}

}  // namespace

// Each element whose state changed since it was last traced, and each tooltip that did: the
// trace holds what a page would draw without an event for every update.
void PanelSession::trace_state() {
    const PanelState& state = runner_->state();
    traced_.gauges.resize(state.gauges.size());
    for (size_t g = 0; g < state.gauges.size(); ++g) {
        const GaugeState& now = state.gauges[g];
        GaugeState& before = traced_.gauges[g];
        const GaugeGeometry& geometry = loaded_.gauges[g].xml.geometry;
        const bool first = before.elements.size() != now.elements.size() ||
                           before.areas.size() != now.areas.size();
        if (first) {
            before.elements.assign(now.elements.size(), ElementState());
            before.areas.assign(now.areas.size(), AreaState());
        }
        for (size_t e = 0; e < now.elements.size(); ++e) {
            ElementState shown = now.elements[e];
            shown.x = rounded(shown.x, 100);
            shown.y = rounded(shown.y, 100);
            shown.shift_x = rounded(shown.shift_x, 100);
            shown.shift_y = rounded(shown.shift_y, 100);
            shown.angle = rounded(shown.angle, 10000);
            ElementState& old = before.elements[e];
            const bool same = !first && shown.visible == old.visible &&
                              (!shown.visible ||
                               (shown.chosen_case == old.chosen_case && shown.image == old.image &&
                                shown.x == old.x && shown.y == old.y && shown.angle == old.angle &&
                                shown.text == old.text));
            if (same) continue;
            old = shown;
            TraceFields fields = {{"gauge", loaded_.gauges[g].line.name()},
                                  {"element", static_cast<int>(e) + 1},
                                  {"visible", shown.visible}};
            if (shown.visible) {
                if (!geometry.elements[e].cases.empty()) fields["case"] = shown.chosen_case;
                fields["image"] = shown.image >= 0 ? geometry.images[shown.image].name : "";
                fields["x"] = json_number(shown.x);
                fields["y"] = json_number(shown.y);
                fields["angle"] = json_number(shown.angle);
                if (geometry.elements[e].has_text) fields["text"] = shown.text;
            }
            trace_->add("element_state", std::move(fields));
        }
        for (size_t a = 0; a < now.areas.size(); ++a) {
            if (!first && now.areas[a].tooltip == before.areas[a].tooltip) continue;
            before.areas[a] = now.areas[a];
            if (first && now.areas[a].tooltip.empty()) continue;
            trace_->add("element_state", {{"gauge", loaded_.gauges[g].line.name()},
                                          {"area", static_cast<int>(a) + 1},
                                          {"tooltip", now.areas[a].tooltip}});
        }
    }
}

bool PanelSession::set(const std::string& variable, double value, std::string& why) {
    VariableRef ref;
    if (!parse_variable_ref(variable, ref, why)) return false;
    if (ref.kind != 'A' && ref.kind != 'L') {
        why = "only A: and L: variables can be set";
        return false;
    }
    assign(ref, value, "scenario");
    return true;
}

bool PanelSession::click(const std::string& gauge, const std::string& area, std::string& why) {
    const std::string copy = runner_->click_copy(gauge);
    TraceFields fields = {{"gauge", gauge}, {"area", area}};
    if (!copy.empty()) fields["copy"] = copy;
    trace_->add("click", std::move(fields));
    return runner_->click(gauge, area, why);
}

std::vector<PanelSession::ReadVariable> PanelSession::read_variables() {
    std::vector<ReadVariable> variables;
    std::set<std::string> seen;
    for (size_t handle = 0; handle < bound_.size(); ++handle) {
        const Bound& bound = bound_[handle];
        if (bound.kind == EVENT || bound.kind == UNKNOWN) continue;
        const std::string name = bound.name.substr(0, bound.name.find(','));
        if (!seen.insert(lower_text(name)).second) continue;
        const std::string unit =
            bound.name.size() > name.size() ? bound.name.substr(name.size() + 1) : "";
        variables.push_back({name, unit, read(static_cast<int>(handle))});
    }
    return variables;
}

size_t PanelSession::aircraft_variable(const VariableRef& ref) {
    const auto found = a_index_.find(ref.key());
    if (found != a_index_.end()) return found->second;
    AircraftVariable made;
    made.ref = ref;
    a_variables_.push_back(made);
    a_index_[ref.key()] = a_variables_.size() - 1;
    return a_variables_.size() - 1;
}

void PanelSession::assign(const VariableRef& ref, double value, const char* source) {
    trace_->add("set", {{"variable", ref.text()}, {"value", json_number(value)}, {"by", source}});
    const Unit* unit = unit_of(ref);
    if (ref.kind == 'L') {
        const VariableId id = host_.register_variable(ref.name);
        host_.set_value(id, value);
        local_unit(id) = unit;
        return;
    }
    AircraftVariable& variable = a_variables_[aircraft_variable(ref)];
    variable.value = value;
    variable.unit = unit;
    // Feet read as seconds cannot be converted: say so once.
    for (const Unit* read_unit : variable.read_units) {
        if (variable.unit_noted || !units_clash(unit, read_unit)) continue;
        variable.unit_noted = true;
        trace_->add("panel_note",
                    {{"message", "A:" + ref.name + " is set in " + ref.unit + " but read in " +
                                     read_unit->name +
                                     ", which measures something else: the value goes through "
                                     "unconverted"}});
    }
}

const Unit* PanelSession::unit_of(const VariableRef& ref) {
    if (ref.unit.empty()) return nullptr;
    const Unit* unit = find_unit(ref.unit);
    if (!unit && noted_units_.insert(lower_text(ref.unit)).second) {
        trace_->add("panel_note",
                    {{"message", "the preview does not know the unit '" + ref.unit + "' (" +
                                     ref.text() + "): values in it go through unconverted"}});
    }
    return unit;
}

const Unit*& PanelSession::local_unit(size_t id) {
    if (id >= local_units_.size()) local_units_.resize(id + 1, nullptr);
    return local_units_[id];
}

int PanelSession::bind(const VariableRef& variable, std::string& why) {
    (void)why;
    Bound bound{UNKNOWN, 0, variable.text(), unit_of(variable)};
    switch (variable.kind) {
        case 'L':
            bound.kind = LOCAL;
            bound.index = host_.register_variable(variable.name);
            break;
        case 'A': {
            bound.kind = AIRCRAFT;
            bound.index = aircraft_variable(variable);
            AircraftVariable& known = a_variables_[bound.index];
            if (bound.unit) known.read_units.push_back(bound.unit);
            break;
        }
        case 'P':
        case 'E':
            if (clock_name(variable.name)) {
                bound.kind = CLOCK;
            } else {
                trace_->add(
                    "panel_note",
                    {{"message", variable.text() + " is not known to the preview: it reads 0"}});
            }
            break;
        case 'K':
            bound.kind = EVENT;
            break;
        default:
            break;
    }
    bound_.push_back(bound);
    return static_cast<int>(bound_.size()) - 1;
}

double PanelSession::read(int handle) {
    const Bound& bound = bound_[static_cast<size_t>(handle)];
    switch (bound.kind) {
        case LOCAL:
            return convert_unit(host_.value(static_cast<VariableId>(bound.index)),
                                local_unit(bound.index), bound.unit);
        case AIRCRAFT: {
            const AircraftVariable& variable = a_variables_[bound.index];
            return convert_unit(variable.value, variable.unit, bound.unit);
        }
        case CLOCK:
            return time_;
        default:
            return 0;
    }
}

void PanelSession::write(int handle, double value, const ScriptSource& by) {
    const Bound& bound = bound_[static_cast<size_t>(handle)];
    // Scripts write at every update; only the writes that are traced spell out who wrote.
    auto who = [&](TraceFields fields) {
        fields["gauge"] = *by.gauge;
        fields["script"] = *by.place;
        return fields;
    };
    if (bound.kind == EVENT) {
        trace_->add("key_event", who({{"name", bound.name}, {"value", json_number(value)}}));
    } else if (bound.kind == LOCAL) {
        if (bound.index == command_) {
            trace_->add("gauge_write", who({{"value", json_number(value)}}));
            command_written(value, by);
        }
        host_.set_value(static_cast<VariableId>(bound.index), value);
        local_unit(bound.index) = bound.unit;
    }
}

void PanelSession::write_event(int handle, double first, double second, const ScriptSource& by) {
    const Bound& bound = bound_[static_cast<size_t>(handle)];
    trace_->add("key_event", {{"name", bound.name},
                              {"value", json_number(first)},
                              {"second_value", json_number(second)},
                              {"gauge", *by.gauge},
                              {"script", *by.place}});
}

// The module takes one command per update. A command still waiting when another value is
// written over it never reaches the module: in the simulator that is a sound that silently
// never plays, so the run says so.
void PanelSession::command_written(double value, const ScriptSource& by) {
    if (pending_.held && !(value == pending_.value)) {
        ++commands_lost_;
        trace_->add("command_lost", {{"value", json_number(pending_.value)},
                                     {"gauge", pending_.gauge},
                                     {"script", pending_.script},
                                     {"written_update", pending_.update},
                                     {"by_value", json_number(value)},
                                     {"by_gauge", *by.gauge},
                                     {"by_script", *by.place}});
    }
    // Writing the idle value asks for nothing.
    pending_.held = value != IDLE_VALUE;
    pending_.value = value;
    pending_.gauge = *by.gauge;
    pending_.script = *by.place;
    pending_.update = trace_->update();
}

void PanelSession::host_gauge_update(int instance) {
    const size_t before = trace_->events().size();
    host_.pre_update(module_gauges_[static_cast<size_t>(instance)]);
    // The module reads nothing but its command variable: a read in its update took the command.
    const std::vector<TraceEvent>& events = trace_->events();
    for (size_t i = before; pending_.held && i < events.size(); ++i) {
        if (events[i].event == "read") pending_.held = false;
    }
}

void PanelSession::script_problem(const ScriptSource& by, int line, const std::string& token,
                                  const std::string& message) {
    trace_->add("script_problem", {{"gauge", *by.gauge},
                                   {"script", *by.place},
                                   {"line", line},
                                   {"token", token},
                                   {"message", message}});
}
