// What `cuebox serve` does per panel update for the example panel, beside the update itself:
// the update through the scenario's step (the panel, the module, the trace and the slot
// activity) and the state the page is sent, as JSON text. Also the cost of a click on the
// warnings gauge's test button, carried out as the page's click is.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/standin.h"
#include "support/tones.h"
#include "tools/serve_session.h"

namespace {

std::string source_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The example panel in a root of its own, served silently.
struct DemoRoot {
    std::string root;
    DemoRoot() {
        char pattern[] = "/tmp/cuebox-serve-bench-XXXXXX";
        root = mkdtemp(pattern);
        const std::string demo = CUEBOX_DEMO_DIR;
        write("Aircraft/Demo/panel/panel.cfg", source_text(demo + "/panel/panel.cfg"));
        write("Gauges/demo_sounds/gear_flaps.xml", source_text(demo + "/panel/gear_flaps.xml"));
        write("Gauges/demo_warnings.cab", source_text(CUEBOX_DEMO_CABINET));
        write("Gauges/demo_panel.ini", source_text(demo + "/panel/demo_panel.ini"));
        std::filesystem::create_directories(root + "/Sound/Cockpit");
        for (const char* name : {"Gear.WAV", "stall.wav", "chime.wav", "flaps.wav"})
            tones::write_tone(root + "/Sound/Cockpit/" + name, 600, 0.4);
        std::filesystem::copy_file(CUEBOX_MODULE_FILE, root + "/instance.gau");
    }
    ~DemoRoot() { std::filesystem::remove_all(root); }
    void write(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(root + "/" + path).parent_path());
        std::ofstream(root + "/" + path, std::ios::binary) << text;
    }
    CliOptions options() const {
        CliOptions options;
        options.root = root;
        options.module = root + "/instance.gau";
        options.panel = "Aircraft\\Demo\\panel\\panel.cfg";
        return options;
    }
};

// One served update: the panel's update and the state the page gets.
void BM_ServeUpdate(benchmark::State& state) {
    standin_set_output(STANDIN_OUTPUT_NONE, nullptr);
    DemoRoot root;
    ServeSession session(root.options());
    std::string error;
    if (!session.open(error)) state.SkipWithError(error.c_str());
    std::string why;
    session.set("A:STALL WARNING,bool", 1, why);  // a loop playing, as the page shows one
    size_t bytes = 0;
    for (auto _ : state) {
        session.update();
        const std::string text = json_text(session.state());
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["state_bytes"] = static_cast<double>(bytes);
    session.close();
}
BENCHMARK(BM_ServeUpdate)->Unit(benchmark::kMicrosecond);

// The update alone, to tell the state's share.
void BM_PanelUpdateAlone(benchmark::State& state) {
    standin_set_output(STANDIN_OUTPUT_NONE, nullptr);
    DemoRoot root;
    ServeSession session(root.options());
    std::string error;
    if (!session.open(error)) state.SkipWithError(error.c_str());
    for (auto _ : state) session.update();
    session.close();
}
BENCHMARK(BM_PanelUpdateAlone)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
