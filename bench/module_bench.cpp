// What the module costs the panel: one pre-update idle and with a command, beside the host's
// own variable calls alone; and a slot's first play, from the command to a filled buffer,
// beside reading the file plainly and copying it once more.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/panel_host.h"
#include "platform/standin.h"
#include "support/tones.h"

namespace {

std::string bench_root() {
    static std::string root = [] {
        const std::string path = "/tmp/cuebox-bench-root";
        std::filesystem::create_directories(path + "/Sound/jvb");
        return path;
    }();
    return root;
}

// A 16-bit stereo WAV of `bytes` data bytes as slot `slot`'s default file.
std::string make_sound(int slot, size_t bytes) {
    char name[64];
    std::snprintf(name, sizeof name, "/Sound/jvb/jvb_xml_%02d.wav", slot);
    const std::string path = bench_root() + name;
    if (!std::filesystem::exists(path)) {
        tones::write_tone(path, 440, bytes / 4.0 / 44100.0, 44100, 2, 16);
    }
    return path;
}

struct Panel {
    PanelHost host;
    Panel() {
        std::filesystem::current_path(bench_root());
        standin_set_output(STANDIN_OUTPUT_NONE, nullptr);
        std::string error;
        if (!host.load(CUEBOX_MODULE_FILE, error)) std::abort();
        host.add_gauge("");
        host.connect();
        host.pre_update();
        host.pre_update();
    }
    ~Panel() { host.disconnect(); }
};

void BM_HostVariableCallsAlone(benchmark::State& state) {
    Panel panel;
    const HostPanelTable* table = &panel.host.panel_table();
    for (auto _ : state) {
        // The same calls an idle update makes: look the variable up, read it.
        VariableId id = register_named_variable(table, "jvb_cuebox_id");
        benchmark::DoNotOptimize(get_named_variable_value(table, id));
    }
}
BENCHMARK(BM_HostVariableCallsAlone);

void BM_PreUpdateIdle(benchmark::State& state) {
    Panel panel;
    for (auto _ : state) panel.host.pre_update();
}
BENCHMARK(BM_PreUpdateIdle);

void BM_PreUpdateWithCommand(benchmark::State& state) {
    make_sound(7, 4096);
    Panel panel;
    panel.host.set_variable("jvb_cuebox_id", 7);
    panel.host.pre_update();  // loads the slot once
    for (auto _ : state) {
        panel.host.set_variable("jvb_cuebox_id", 7);
        panel.host.pre_update();  // plays the loaded slot and writes 260 back
    }
}
BENCHMARK(BM_PreUpdateWithCommand);

void BM_FirstPlay(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0)) << 20;
    const int slot = state.range(0) == 1 ? 11 : 12;
    make_sound(slot, bytes);
    Panel panel;
    for (auto _ : state) {
        state.PauseTiming();
        // A fresh connection: the slot is unloaded again and its file will be read anew.
        panel.host.disconnect();
        panel.host.connect();
        panel.host.pre_update();
        panel.host.pre_update();
        panel.host.set_variable("jvb_cuebox_id", slot);
        state.ResumeTiming();
        panel.host.pre_update();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_FirstPlay)->Arg(1)->Arg(32)->Unit(benchmark::kMillisecond);

// The floor a first play cannot beat: the file read once, and its samples copied once more
// (the staging block into the buffer).
void BM_PlainReadAndCopy(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0)) << 20;
    const std::string path = make_sound(state.range(0) == 1 ? 11 : 12, bytes);
    for (auto _ : state) {
        std::vector<char> staging(bytes + 44);
        std::vector<char> buffer(bytes);
        const int fd = ::open(path.c_str(), O_RDONLY);
        size_t got = 0;
        ssize_t n;
        while ((n = ::read(fd, staging.data() + got, staging.size() - got)) > 0) got += n;
        ::close(fd);
        std::memcpy(buffer.data(), staging.data() + 44, bytes);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_PlainReadAndCopy)->Arg(1)->Arg(32)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
