// What a panel preview costs per update: the example panel's scripts alone (steady, and with a
// handle moving at every update so that each update writes), a panel of 50 gauges the size of a
// real aircraft's, and the whole example flight with the module, the timeline and the trace,
// per update.
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

// A panel the size of a real aircraft's: 50 XML gauges of four kinds an aircraft has
// (annunciators, needles, switches that cue a sound, radios), 160 scripts, and the module's
// line. The gauges are written here for the benchmark, after the SDK's element kinds.
std::string fifty_gauge_xml(int kind, int n) {
    const std::string i = std::to_string(n);
    switch (kind) {
        case 0:  // an annunciator: lit when the oil pressure is low with the battery on
            return "<Gauge Name=\"warn" + i +
                   "\" Version=\"1.0\">\n"
                   "<Element><Select><Value>(A:GENERAL ENG OIL PRESSURE:1, psi) 20 &lt; "
                   "(A:ELECTRICAL MASTER BATTERY, bool) and</Value>\n"
                   "<Case Value=\"0\"><Image Name=\"off.bmp\"/></Case>"
                   "<Case Value=\"1\"><Image Name=\"on.bmp\"/></Case></Select></Element>\n"
                   "<Element><Visible>(A:ELECTRICAL MAIN BUS VOLTAGE, volts) 20 &gt;</Visible>"
                   "<Image Name=\"lit.bmp\"/></Element>\n"
                   "<Update>(A:GENERAL ENG OIL PRESSURE:1, psi) 20 &lt; (&gt;L:warn" +
                   i + ", bool)</Update>\n</Gauge>\n";
        case 1:  // a needle: a smoothed airspeed, its rotation and an overspeed flag
            return "<Gauge Name=\"asi" + i +
                   "\" Version=\"1.0\">\n"
                   "<Update>(A:AIRSPEED INDICATED, knots) (L:asi" +
                   i + ", number) - 0.1 * (L:asi" + i + ", number) + (&gt;L:asi" + i +
                   ", number)</Update>\n"
                   "<Element><Rotate><Value>(L:asi" +
                   i +
                   ", number) 0 max 250 min 1.2 * dgrd</Value></Rotate>"
                   "<Image Name=\"needle.bmp\"/></Element>\n"
                   "<Element><Select><Value>(A:AIRSPEED INDICATED, knots) 200 &gt;</Value>"
                   "</Select></Element>\n</Gauge>\n";
        case 2:  // a switch: a click toggles the lights, a change cues a sound once the module is
                 // idle
            return "<Gauge Name=\"sw" + i +
                   "\" Version=\"1.0\">\n"
                   "<Update>(A:LIGHT LANDING, bool) (L:land_was" +
                   i + ", bool) != if{ (A:LIGHT LANDING, bool) (&gt;L:land_was" + i +
                   ", bool) (L:panel_sounds, number) 260 == if{ 5 (&gt;L:panel_sounds, number) "
                   "} }</Update>\n"
                   "<Element><Select><Value>(A:LIGHT LANDING, bool)</Value></Select></Element>\n"
                   "<Mouse><Area Left=\"0\" Top=\"0\" Width=\"20\" Height=\"20\">"
                   "<Click>(&gt;K:LANDING_LIGHTS_TOGGLE)</Click></Area></Mouse>\n</Gauge>\n";
        default:  // a radio: the frequency kept, the flaps index shown, the digits written
            return "<Gauge Name=\"radio" + i +
                   "\" Version=\"1.0\">\n"
                   "<Update>(A:COM ACTIVE FREQUENCY:1, MHz) 100 * near (&gt;L:com" +
                   i + ", number) (L:com" + i + ", number) 11800 &lt; if{ 11800 (&gt;L:com" + i +
                   ", number) }</Update>\n"
                   "<Element><Select><Value>30 25 20 10 4 (A:FLAPS HANDLE INDEX, number) "
                   "case</Value></Select></Element>\n"
                   "<Element><Text><String>%((A:COM ACTIVE FREQUENCY:1, MHz))%!6.2f!</String>"
                   "</Text></Element>\n"
                   "<Element><Visible>(A:AVIONICS MASTER SWITCH, bool)</Visible></Element>\n"
                   "</Gauge>\n";
    }
}

struct FiftyGaugeFiles : PanelFiles {
    std::map<std::string, std::string> files;
    FiftyGaugeFiles() {
        std::string cfg = "[Window00]\nsize_mm=1024,768\n";
        const int counts[] = {15, 15, 10, 10};
        const char* names[] = {"warn", "asi", "sw", "radio"};
        int number = 0;
        for (int kind = 0; kind < 4; ++kind) {
            for (int n = 0; n < counts[kind]; ++n) {
                const std::string gauge = names[kind] + std::to_string(n);
                files["gauges/aircraft/" + gauge + ".xml"] = fifty_gauge_xml(kind, n);
                cfg += "gauge" + std::to_string(number++) + "=aircraft!" + gauge + ", " +
                       std::to_string(10 * n) + ", " + std::to_string(100 * kind) + "\n";
            }
        }
        cfg += "gauge" + std::to_string(number) + "=" + MODULE_GAUGE_FILE + "!Sound, 0, 0\n";
        files["panel.cfg"] = cfg;
    }
    Result read(const std::string& path, size_t, std::string& bytes) override {
        const auto found = files.find(lower_text(path));
        if (found == files.end()) return MISSING;
        bytes = found->second;
        return READ;
    }
    bool exists(const std::string& path) override { return files.count(lower_text(path)) > 0; }
};

void BM_FiftyGaugePanel(benchmark::State& state) {
    FiftyGaugeFiles files;
    FlatVariables variables;
    PanelRunner runner(load_panel("panel.cfg", files, {MODULE_GAUGE_FILE}), variables, variables);
    std::string why;
    const int speed = variables.bind(VariableRef{'A', "AIRSPEED INDICATED", 0, "knots"}, why);
    const int lights = variables.bind(VariableRef{'A', "LIGHT LANDING", 0, "bool"}, why);
    long update = 0;
    for (auto _ : state) {
        // The aircraft moves: the airspeed at every update, the lights now and then.
        variables.values[static_cast<size_t>(speed)] = static_cast<double>(update % 300);
        if (update % 50 == 0) variables.values[static_cast<size_t>(lights)] = (update / 50) % 2;
        ++update;
        runner.update();
    }
    state.SetLabel(std::to_string(runner.scripts().size()) + " scripts in 50 gauges");
    state.counters["per_gauge"] = benchmark::Counter(
        50, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FiftyGaugePanel);

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
