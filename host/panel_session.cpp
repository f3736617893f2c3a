// Running an author's panel beside the module.
#include "host/panel_session.h"

#include <cstdio>
#include <sstream>

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
    runner_ = std::make_unique<PanelRunner>(loaded_, static_cast<PanelVariables&>(*this),
                                            static_cast<PanelListener&>(*this));
}

bool PanelSession::set_timeline(const std::string& csv_text, std::string& error) {
    next_row_ = 0;
    return read_vars_timeline(csv_text, timeline_, error);
}

void PanelSession::service(uint32_t code) {
    for (int gauge : module_gauges_) host_.service(code, gauge);
}

void PanelSession::update(double time) {
    time_ = time;
    // Rows due by now, a little early rather than an update late for rounding.
    while (next_row_ < timeline_.rows.size() && timeline_.rows[next_row_].time <= time + 1e-9) {
        const VarsRow& row = timeline_.rows[next_row_++];
        for (size_t i = 0; i < row.given.size(); ++i) {
            if (row.given[i]) assign(timeline_.columns[i], row.values[i], "vars");
        }
    }
    runner_->update();
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
    trace_->add("click", {{"gauge", gauge}, {"area", area}});
    return runner_->click(gauge, area, why);
}

size_t PanelSession::aircraft_variable(const VariableRef& ref) {
    const auto found = a_index_.find(ref.key());
    if (found != a_index_.end()) return found->second;
    a_variables_.push_back(AircraftVariable{ref, 0.0, "", false});
    a_index_[ref.key()] = a_variables_.size() - 1;
    return a_variables_.size() - 1;
}

void PanelSession::assign(const VariableRef& ref, double value, const char* source) {
    trace_->add("set", {{"variable", ref.text()}, {"value", json_number(value)}, {"by", source}});
    if (ref.kind == 'L') {
        host_.set_value(host_.register_variable(ref.name), value);
        return;
    }
    AircraftVariable& variable = a_variables_[aircraft_variable(ref)];
    variable.value = value;
    // Units are kept, not converted: say so once when the gauges read another unit.
    if (!variable.unit_noted && !ref.unit.empty() && !variable.read_unit.empty() &&
        !same_text(ref.unit, variable.read_unit)) {
        variable.unit_noted = true;
        trace_->add("panel_note",
                    {{"message", "A:" + ref.name + " is set in " + ref.unit + " but read in " +
                                     variable.read_unit + ": units are not converted"}});
    }
}

int PanelSession::bind(const VariableRef& variable, std::string& why) {
    (void)why;
    Bound bound{UNKNOWN, 0, variable.text()};
    switch (variable.kind) {
        case 'L':
            bound.kind = LOCAL;
            bound.index = host_.register_variable(variable.name);
            break;
        case 'A': {
            bound.kind = AIRCRAFT;
            bound.index = aircraft_variable(variable);
            AircraftVariable& known = a_variables_[bound.index];
            if (known.read_unit.empty()) known.read_unit = variable.unit;
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
            return host_.value(static_cast<VariableId>(bound.index));
        case AIRCRAFT:
            return a_variables_[bound.index].value;
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
        trace_->add("key_event", who({{"event", bound.name}, {"value", json_number(value)}}));
    } else if (bound.kind == LOCAL) {
        host_.set_value(static_cast<VariableId>(bound.index), value);
        if (bound.index == command_)
            trace_->add("gauge_write", who({{"value", json_number(value)}}));
    }
}

void PanelSession::host_gauge_update(int instance) {
    host_.pre_update(module_gauges_[static_cast<size_t>(instance)]);
}

void PanelSession::script_problem(const ScriptSource& by, int line, const std::string& token,
                                  const std::string& message) {
    trace_->add("script_problem", {{"gauge", *by.gauge},
                                   {"script", *by.place},
                                   {"line", line},
                                   {"token", token},
                                   {"message", message}});
}
