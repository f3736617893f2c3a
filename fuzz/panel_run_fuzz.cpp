// libFuzzer target for whole panels as a run takes them: a panel.cfg (the input's own lines
// after a [Window00] the target writes) with an XML gauge of the input's, and the module's line
// left out, alone, or on many instances. Loading never fails outright, each update calls each
// module instance once and no other, clicks on every area run, and scripts run within bounds.
//
// The input: a first byte for the shape (0 without the module's line, 1 with it alone, 2 with
// it on 2 to 9 instances beside the gauge), a second for the instances, then the gauge's XML,
// a line "====", and the rest of panel.cfg.
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "panel/panel_runner.h"

using fuzz::check;

namespace {

constexpr const char* MODULE_FILE = "jvb_cuebox2";

struct MemoryFiles : PanelFiles {
    std::string cfg, xml;
    Result read(const std::string& path, size_t limit, std::string& bytes) override {
        const std::string key = lower_text(path);
        const std::string* found = key == "panel.cfg"         ? &cfg
                                   : key == "gauges/fz/a.xml" ? &xml
                                                              : nullptr;
        if (!found) return MISSING;
        if (found->size() > limit) return TOO_LARGE;
        bytes = *found;
        return READ;
    }
    bool exists(const std::string& path) override {
        const std::string key = lower_text(path);
        return key == "panel.cfg" || key == "gauges/fz/a.xml";
    }
};

struct Watch : PanelVariables, PanelListener {
    std::vector<double> values;
    std::vector<int> calls;  // per module instance, in this update
    int bind(const VariableRef&, std::string&) override {
        values.push_back(0);
        return static_cast<int>(values.size()) - 1;
    }
    double read(int handle) override { return values.at(static_cast<size_t>(handle)); }
    void write(int handle, double value, const ScriptSource& by) override {
        check(by.gauge && by.place);
        values.at(static_cast<size_t>(handle)) = value;
    }
    void host_gauge_update(int instance) override {
        check(instance >= 0 && static_cast<size_t>(instance) < calls.size());
        ++calls[static_cast<size_t>(instance)];
    }
    void script_problem(const ScriptSource& by, int, const std::string&,
                        const std::string& message) override {
        check(by.gauge && by.place && !message.empty());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int shape = data[0] % 3;
    const int instances = shape == 0 ? 0 : shape == 1 ? 1 : 2 + data[1] % 8;
    const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const size_t split = rest.find("\n====\n");
    MemoryFiles files;
    files.xml = rest.substr(0, split);
    files.cfg = "[Window00]\n";
    for (int i = 0; i < instances; ++i)
        files.cfg += "gauge" + std::to_string(i) + "=" + MODULE_FILE + "!sound, 0, 0\n";
    if (shape != 1) files.cfg += "gauge50=fz!a, 10, 10\n";
    if (split != std::string::npos) files.cfg += rest.substr(split + 6);

    const LoadedPanel panel = load_panel("panel.cfg", files, {MODULE_FILE});
    for (const PanelMessage& problem : panel.problems) check(!problem.text.empty());
    int module_lines = 0;
    for (const PanelGauge& gauge : panel.gauges) module_lines += gauge.kind == PanelGauge::DLL;
    check(module_lines >= instances);

    Watch watch;
    PanelRunner runner(panel, watch, watch);
    runner.step_limit = 2000;
    check(runner.host_gauge_count() == module_lines);
    watch.calls.assign(static_cast<size_t>(module_lines), 0);
    for (int update = 0; update < 3; ++update) {
        for (int& calls : watch.calls) calls = 0;
        runner.update();
        for (int calls : watch.calls) check(calls == 1);
        for (const PanelGauge& gauge : panel.gauges) {
            for (size_t area = 0; area < gauge.xml.areas.size() && area < 8; ++area) {
                std::string error;
                runner.click(gauge.line.name(), std::to_string(area + 1), error);
            }
        }
    }
    std::string error;
    check(!runner.click("fz!nothing", "1", error) && !error.empty());
    return 0;
}
