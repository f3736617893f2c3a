// What a panel preview costs per update: the example panel's scripts alone (steady, and with a
// handle moving at every update so that each update writes), and the whole example flight with
// the module, the timeline and the trace, per update.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "host/panel_session.h"
#include "host/root_files.h"
#include "platform/standin.h"
#include "support/tones.h"
#include "tools/configuration_view.h"

namespace {

std::string source_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The example panel's files, in memory.
struct DemoFiles : PanelFiles {
    std::map<std::string, std::string> files;
    DemoFiles() {
        const std::string demo = CUEBOX_DEMO_DIR;
        files["panel.cfg"] = source_text(demo + "/panel/panel.cfg");
        files["gauges/demo_sounds/gear_flaps.xml"] = source_text(demo + "/panel/gear_flaps.xml");
        files["gauges/demo_warnings.cab"] = source_text(CUEBOX_DEMO_CABINET);
    }
    Result read(const std::string& path, size_t, std::string& bytes) override {
        const auto found = files.find(lower_text(path));
        if (found == files.end()) return MISSING;
        bytes = found->second;
        return READ;
    }
    bool exists(const std::string& path) override { return files.count(lower_text(path)) > 0; }
};

// Variables in a flat array, as cheap as a host can make them.
struct FlatVariables : PanelVariables, PanelListener {
    std::vector<std::string> keys;
    std::vector<double> values;
    int bind(const VariableRef& variable, std::string&) override {
        const std::string key = std::string(1, variable.kind) + variable.key();
        for (size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] == key) return static_cast<int>(i);
        }
        keys.push_back(key);
        values.push_back(0);
        return static_cast<int>(keys.size()) - 1;
    }
    double read(int handle) override { return values[static_cast<size_t>(handle)]; }
    void write(int handle, double value, const ScriptSource&) override {
        values[static_cast<size_t>(handle)] = value;
    }
    void host_gauge_update(int) override {}
    void script_problem(const ScriptSource&, int, const std::string&, const std::string&) override {
        std::abort();
    }
};

void BM_ExamplePanelScripts(benchmark::State& state) {
    const bool moving = state.range(0) != 0;
    DemoFiles files;
    FlatVariables variables;
    PanelRunner runner(load_panel("panel.cfg", files, {MODULE_GAUGE_FILE}), variables, variables);
    std::string why;
    const int gear = variables.bind(VariableRef{'A', "GEAR HANDLE POSITION", 0, "bool"}, why);
    double position = 0;
    for (auto _ : state) {
        if (moving) {
            position = 1 - position;
            variables.values[static_cast<size_t>(gear)] = position;
        }
        runner.update();
    }
    state.SetLabel(std::to_string(runner.scripts().size()) + " scripts" +
                   (moving ? ", a write each update" : ", nothing changes"));
}
BENCHMARK(BM_ExamplePanelScripts)->Arg(0)->Arg(1);

// The example flight as `cuebox run --panel` runs it, without rendering the sound.
void BM_ExampleFlightWithTheModule(benchmark::State& state) {
    const std::string root = "/tmp/cuebox-bench-panel";
    const std::string demo = CUEBOX_DEMO_DIR;
    std::filesystem::create_directories(root + "/Gauges/demo_sounds");
    std::filesystem::create_directories(root + "/Sound/Cockpit");
    std::filesystem::copy_file(demo + "/panel/panel.cfg", root + "/panel.cfg",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(demo + "/panel/gear_flaps.xml",
                               root + "/Gauges/demo_sounds/gear_flaps.xml",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(CUEBOX_DEMO_CABINET, root + "/Gauges/demo_warnings.cab",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(demo + "/panel/demo_panel.ini", root + "/Gauges/demo_panel.ini",
                               std::filesystem::copy_options::overwrite_existing);
    for (const char* name : {"Gear.WAV", "stall.wav", "chime.wav", "flaps.wav"})
        tones::write_tone(root + "/Sound/Cockpit/" + name, 440, 0.5);
    std::filesystem::current_path(root);
    const std::string timeline = source_text(demo + "/flight.csv");
    standin_set_output(STANDIN_OUTPUT_NONE, nullptr);
    const long updates = 21 * 18;
    for (auto _ : state) {
        state.PauseTiming();
        {
            PanelHost host;
            std::string error;
            if (!host.load(CUEBOX_MODULE_FILE, error)) std::abort();
            PanelSession session(host);
            RootFiles files;
            session.load("panel.cfg", files);
            session.set_timeline(timeline, error);
            TraceRecorder trace(host);
            session.start(read_configuration(session.module_parameters()[0].c_str()).variable_name,
                          trace);
            session.service(simulator_service::CONNECT_TO_WINDOW);
            state.ResumeTiming();
            for (long u = 0; u < updates; ++u) {
                trace.next_update();
                session.update(trace.time());
                trace.advance(1.0 / 18);
            }
            state.PauseTiming();
            session.service(simulator_service::DISCONNECT);
        }
        state.ResumeTiming();
    }
    state.counters["per_update"] = benchmark::Counter(
        static_cast<double>(updates),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ExampleFlightWithTheModule)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
