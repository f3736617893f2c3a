// Running a panel's gauges.
#include "panel/panel_runner.h"

#include <cmath>
#include <cstdlib>

#include "panel/gauge_text.h"
#include "panel/units.h"

namespace {

// An angle brought within -pi and pi, so that a needle turns the short way between two items.
double short_turn(double angle) {
    while (angle > PI) angle -= 2 * PI;
    while (angle <= -PI) angle += 2 * PI;
    return angle;
}

// How far clockwise from north the bitmap points as drawn (PointsTo=).
double drawn_direction(const std::string& points_to) {
    if (same_text(points_to, "North")) return 0;
    if (same_text(points_to, "South")) return PI;
    if (same_text(points_to, "West")) return 1.5 * PI;
    return 0.5 * PI;  // East, and anything else
}

// Where `value` falls among the items: the two items around it and how far from the first;
// beyond the last item on either side, that item alone.
void between(const std::vector<NonlinearityItem>& items, double value, size_t& a, size_t& b,
             double& t) {
    a = b = 0;
    t = 0;
    for (size_t i = 0; i + 1 < items.size(); ++i) {
        const double from = items[i].value, to = items[i + 1].value;
        if ((value >= from && value <= to) || (value <= from && value >= to)) {
            a = i;
            b = i + 1;
            t = to == from ? 0 : (value - from) / (to - from);
            return;
        }
    }
    // Outside them all: the end whose value is nearer.
    const size_t last = items.size() - 1;
    a = b = std::fabs(value - items[last].value) < std::fabs(value - items[0].value) ? last : 0;
}

// Moves `now` toward `target` by at most `step` (when step > 0).
double follow(double now, double target, double step) {
    if (step <= 0 || std::fabs(target - now) <= step) return target;
    return target > now ? now + step : now - step;
}

}  // namespace

struct PanelRunner::Instance : ScriptHost {
    PanelVariables* variables = nullptr;
    ScriptSource source{nullptr, nullptr};
    double gauge_variables[GAUGE_VARIABLES] = {};
    bool placed = false;  // the first update places moving images at once

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
    // Key events are never G: variables.
    void write_event(int handle, double first, double second) override {
        variables->write_event(handle, first, second, source);
    }
};

PanelRunner::PanelRunner(LoadedPanel panel, PanelVariables& variables, PanelListener& listener)
    : panel_(std::move(panel)), variables_(variables), listener_(listener) {
    machine_.stack.reserve(SCRIPT_STACK_LIMIT);
    for (const PanelGauge& gauge : panel_.gauges) names_.push_back(gauge.line.name());
    state_.gauges.resize(panel_.gauges.size());
    for (size_t g = 0; g < panel_.gauges.size(); ++g) {
        const PanelGauge& gauge = panel_.gauges[g];
        first_script_.push_back(static_cast<int>(scripts_.size()));
        if (gauge.kind == PanelGauge::DLL) {
            instances_.emplace_back();
            host_instance_.push_back(host_gauges_++);
            continue;
        }
        instances_.push_back(std::make_unique<Instance>());
        instances_.back()->variables = &variables_;
        host_instance_.push_back(-1);
        const XmlGauge& xml = gauge.xml;
        GaugeState& state = state_.gauges[g];
        state.elements.resize(xml.geometry.elements.size());
        state.areas.resize(xml.geometry.areas.size());
        for (size_t a = 0; a < xml.areas.size(); ++a) {
            if (xml.areas[a].tooltip_text.empty()) state.areas[a].tooltip = xml.areas[a].tooltip;
        }
        // A click or a key runs when the user acts; every other script at each update.
        std::vector<bool> on_demand(xml.scripts.size(), false);
        for (const GaugeArea& area : xml.areas) {
            if (area.click >= 0) on_demand[static_cast<size_t>(area.click)] = true;
        }
        for (int key : xml.keys) on_demand[static_cast<size_t>(key)] = true;
        for (size_t i = 0; i < xml.scripts.size(); ++i) {
            const GaugeScriptText& text = xml.scripts[i];
            RunningScript running;
            running.gauge = static_cast<int>(g);
            running.place = text.place;
            running.first_line = text.line;
            running.every_update = !on_demand[i];
            running.text = text.text;
            ScriptError& error = running.error;
            const ScriptSource source{&names_[g], &running.place};
            if (!text.error.empty()) {
                error.line = 1;
                error.message = text.error;
                listener_.script_problem(source, text.line, "",
                                         error.message + ": this script does not run");
            } else if (!running.script.compile(text.text, *instances_[g], error)) {
                listener_.script_problem(source, running.file_line(error.line), error.token,
                                         error.message + ": this script does not run");
            }
            scripts_.push_back(std::move(running));
        }
    }
}

PanelRunner::~PanelRunner() = default;

double PanelRunner::run(RunningScript& running) {
    if (!running.script.compiled()) return 0;
    Instance& instance = *instances_[running.gauge];
    instance.source = ScriptSource{&names_[running.gauge], &running.place};
    ScriptRunReport report;
    const double result = running.script.run(instance, machine_, report, step_limit);
    const unsigned fresh = report.issues & ~running.reported;
    if (!fresh) return result;
    running.reported |= fresh;
    for (int issue = 0; issue < ISSUE_COUNT; ++issue) {
        if (!(fresh & (1u << issue))) continue;
        const int op = report.token[issue];
        listener_.script_problem(instance.source, running.file_line(running.script.token_line(op)),
                                 running.script.token_text(op),
                                 script_issue_text(static_cast<ScriptIssue>(issue)));
    }
    return result;
}

void PanelRunner::format(size_t gauge, const std::vector<TextPiece>& pieces, std::string& out) {
    out.clear();
    // Per %{if} open: whether the text around it shows, and its condition.
    struct Open {
        bool around, condition;
    };
    Open open[8];
    int depth = 0, deeper = 0;  // `deeper`: %{if}s beyond what `open` holds, never shown
    bool showing = true;
    double last = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const TextPiece& piece = pieces[i];
        switch (piece.kind) {
            case TextPiece::LITERAL:
                if (showing) out += piece.text;
                break;
            case TextPiece::VALUE: {
                if (!showing) break;
                RunningScript& script =
                    scripts_[static_cast<size_t>(first_script_[gauge] + piece.script)];
                last = run(script);
                // A value that is the condition of the %{if} after it shows nothing itself.
                const bool condition = i + 1 < pieces.size() && pieces[i + 1].kind == TextPiece::IF;
                if (!condition)
                    format_gauge_value(
                        piece.text, last,
                        script.script.compiled() ? script.script.top_text(machine_) : nullptr, out);
                break;
            }
            case TextPiece::IF:
                if (depth == 8) {
                    ++deeper;
                    showing = false;
                    break;
                }
                open[depth++] = Open{showing, last != 0};
                showing = showing && last != 0;
                break;
            case TextPiece::ELSE:
                if (deeper == 0 && depth > 0)
                    showing = open[depth - 1].around && !open[depth - 1].condition;
                break;
            case TextPiece::END:
                if (deeper > 0) {
                    --deeper;
                } else if (depth > 0) {
                    showing = open[--depth].around;
                }
                break;
        }
    }
}

void PanelRunner::update_gauge(size_t g, double seconds) {
    const XmlGauge& xml = panel_.gauges[g].xml;
    const GaugeGeometry& geometry = xml.geometry;
    GaugeState& state = state_.gauges[g];
    Instance& instance = *instances_[g];
    const bool at_once = !instance.placed;
    instance.placed = true;
    // A gauge without scripts begins at the end of the list: no element to take the address of.
    RunningScript* scripts = scripts_.data() + first_script_[g];
    if (xml.update >= 0) run(scripts[xml.update]);
    for (size_t e = 0; e < xml.elements.size(); ++e) {
        const ElementCode& code = xml.elements[e];
        const ElementGeometry& shape = geometry.elements[e];
        ElementState& out = state.elements[e];
        const ElementState* parent =
            shape.parent > 0 ? &state.elements[static_cast<size_t>(shape.parent - 1)] : nullptr;
        // An element that is not shown runs nothing, nor do the elements inside it.
        out.visible = !parent || parent->visible;
        if (out.visible && code.visible >= 0) out.visible = run(scripts[code.visible]) != 0;
        if (!out.visible) continue;
        if (code.select >= 0) {
            const double value = std::trunc(code.select_range.clamp(run(scripts[code.select])));
            out.chosen_case = -1;
            for (size_t c = 0; c < shape.cases.size(); ++c) {
                if (shape.cases[c].value == value) {
                    out.chosen_case = static_cast<int>(c);
                    break;
                }
            }
        }
        out.image = out.chosen_case >= 0 && shape.cases[out.chosen_case].image >= 0
                        ? shape.cases[out.chosen_case].image
                        : shape.image;
        const GaugeImage* image = out.image >= 0 ? &geometry.images[out.image] : nullptr;
        out.axis_x = image ? image->axis_x : 0;
        out.axis_y = image ? image->axis_y : 0;
        const GaugeMotion& shift = code.shift;
        if (shift.present && shift.value >= 0) {
            const double value = shift.range.clamp(run(scripts[shift.value]));
            double x = value * shift.scale_x, y = value * shift.scale_y;
            if (!shift.nonlinearity.empty()) {
                size_t a, b;
                double t;
                between(shift.nonlinearity, value, a, b, t);
                x = shift.nonlinearity[a].x +
                    t * (shift.nonlinearity[b].x - shift.nonlinearity[a].x);
                y = shift.nonlinearity[a].y +
                    t * (shift.nonlinearity[b].y - shift.nonlinearity[a].y);
            }
            const double step = at_once ? 0 : shift.delay * seconds;
            const double dx = x - out.shift_x, dy = y - out.shift_y;
            const double distance = std::sqrt(dx * dx + dy * dy);
            if (step > 0 && distance > step) {
                x = out.shift_x + dx * step / distance;
                y = out.shift_y + dy * step / distance;
            }
            out.shift_x = x;
            out.shift_y = y;
        }
        out.x = (parent ? parent->x : 0) + shape.x + out.shift_x;
        out.y = (parent ? parent->y : 0) + shape.y + out.shift_y;
        const GaugeMotion& rotate = code.rotate;
        if (rotate.present && rotate.value >= 0) {
            const double value = rotate.range.clamp(run(scripts[rotate.value]));
            double angle = value;
            if (!rotate.nonlinearity.empty()) {
                const double drawn = drawn_direction(image ? image->points_to : "East");
                // A point of the gauge that the image points at, measured from its position.
                auto turn = [&](const NonlinearityItem& item) {
                    if (item.has_degrees) return item.degrees * PI / 180;
                    return std::atan2(item.x - shape.x, -(item.y - shape.y)) - drawn;
                };
                size_t a, b;
                double t;
                between(rotate.nonlinearity, value, a, b, t);
                const double from = turn(rotate.nonlinearity[a]);
                angle = from + t * short_turn(turn(rotate.nonlinearity[b]) - from);
            }
            out.angle =
                at_once ? angle : follow(out.angle, angle, rotate.delay * PI / 180 * seconds);
        }
        if (shape.has_text) format(g, code.text, out.text);
    }
    for (size_t a = 0; a < xml.areas.size(); ++a) {
        if (!xml.areas[a].tooltip_text.empty())
            format(g, xml.areas[a].tooltip_text, state.areas[a].tooltip);
    }
}

void PanelRunner::update(double seconds) {
    ++state_.updates;
    for (size_t g = 0; g < panel_.gauges.size(); ++g) {
        if (host_instance_[g] >= 0) {
            listener_.host_gauge_update(host_instance_[g]);
            continue;
        }
        update_gauge(g, seconds);
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
    run(scripts_[static_cast<size_t>(first_script_[found] + chosen->click)]);
    return true;
}
