// libFuzzer target for the XML gauge loader: any text is read as a gauge or refused with its
// line; every script of a gauge read then compiles or is refused, and runs a few updates, as
// the panel runs it.
#include <cmath>
#include <string>

#include "fuzz/fuzz_input.h"
#include "fuzz/script_host.h"
#include "panel/panel_runner.h"
#include "panel/xml_gauge.h"

using fuzz::check;

namespace {

void run_script(const GaugeScriptText& source, int line_count) {
    check(source.line >= 0 && source.line <= line_count);
    check(!source.place.empty());
    check(source.text.size() <= MACRO_TEXT_LIMIT);
    fuzz::FuzzScriptHost host;
    Script script;
    ScriptError error;
    if (script.compile(source.text, host, error)) fuzz::run_updates(script, host, 2000);
}

// The gauge run as a panel runs it: its state stays within its geometry and holds numbers.
struct FuzzPanel : PanelVariables, PanelListener {
    std::vector<double> values;
    int bind(const VariableRef&, std::string&) override {
        values.push_back(0.0);
        return static_cast<int>(values.size()) - 1;
    }
    double read(int handle) override { return values.at(static_cast<size_t>(handle)); }
    void write(int handle, double value, const ScriptSource&) override {
        values.at(static_cast<size_t>(handle)) = value;
    }
    void host_gauge_update(int) override {}
    void script_problem(const ScriptSource&, int, const std::string&, const std::string&) override {
    }
};

void run_gauge(const XmlGauge& gauge) {
    LoadedPanel panel;
    PanelGauge placed;
    placed.xml = gauge;
    panel.gauges.push_back(placed);
    FuzzPanel host;
    PanelRunner runner(panel, host, host);
    runner.step_limit = 2000;
    for (int update = 0; update < 3; ++update) {
        runner.update(update == 1 ? 0 : 0.5);
        const GaugeState& state = runner.state().gauges.at(0);
        check(state.elements.size() == gauge.geometry.elements.size());
        for (const ElementState& element : state.elements) {
            check(element.image < static_cast<int>(gauge.geometry.images.size()));
            check(!std::isnan(element.angle) && !std::isnan(element.x) && !std::isnan(element.y));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int line_count = 1;
    for (char c : text) line_count += c == '\n';
    XmlGauge gauge;
    std::string error;
    if (!read_xml_gauge(text, gauge, error)) {
        check(!error.empty());
        return 0;
    }
    for (const GaugeScriptText& script : gauge.scripts) run_script(script, line_count);
    check(gauge.elements.size() == gauge.geometry.elements.size());
    check(gauge.areas.size() == gauge.geometry.areas.size());
    for (size_t i = 0; i < gauge.geometry.elements.size(); ++i) {
        const ElementGeometry& element = gauge.geometry.elements[i];
        check(element.index == static_cast<int>(i) + 1 && element.parent < element.index);
    }
    for (size_t i = 0; i < gauge.areas.size(); ++i) {
        check(gauge.areas[i].index == static_cast<int>(i) + 1);
        check(!gauge.areas[i].has_click ||
              static_cast<size_t>(gauge.areas[i].click) < gauge.scripts.size());
    }
    run_gauge(gauge);
    return 0;
}
