// The host commands `show` and `run`.
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <vector>

#include "host/files.h"
#include "host/panel_session.h"
#include "host/result_text.h"
#include "host/root_files.h"
#include "host/scenario.h"
#include "host/trace.h"
#include "tools/cli.h"
#include "tools/configuration_view.h"
#include "tools/timeline.h"
#include "tools/write_gating.h"

namespace {

const char* source_name(PathSource source) {
    return source == PathSource::INI_FILE ? "ini" : "default";
}

void print_live(const TraceEvent& event, void* context) {
    const bool json = *static_cast<bool*>(context);
    // The module keeps silent when it has no sound device; the host says so, once.
    static bool told = false;
    if (event.event == "device" && trace_field(event, "result") != "0" && !told) {
        told = true;
        std::fprintf(stderr, "cuebox: %s\n", no_sound_output(trace_field(event, "result")).c_str());
    }
    const std::string line = json ? trace_json(event) : trace_readable(event);
    if (!line.empty()) print_text(line + "\n");
}

}  // namespace

std::unique_ptr<PanelSession> open_panel_session(const CliOptions& options, PanelHost& host) {
    auto session = std::make_unique<PanelSession>(host);
    RootFiles files;
    session->load(options.panel, files);
    for (const PanelMessage& problem : session->problems()) {
        const std::string where =
            problem.line > 0 ? problem.file + ":" + std::to_string(problem.line) : problem.file;
        std::fprintf(stderr, "cuebox: %s: %s\n", where.c_str(), problem.text.c_str());
        if (problem.line == 0) return nullptr;  // the panel file itself could not be read
    }
    for (const PanelMessage& note : session->notes())
        std::fprintf(stderr, "cuebox: note: %s:%d: %s\n", note.file.c_str(), note.line,
                     note.text.c_str());
    const std::vector<std::string>& parameters = session->module_parameters();
    if (parameters.empty()) {
        std::fprintf(stderr, "cuebox: note: %s has no %s line: the module does not run\n",
                     options.panel.c_str(), MODULE_GAUGE_FILE);
    }
    for (const std::string& other : parameters) {
        if (other != parameters[0]) {
            std::fprintf(stderr,
                         "cuebox: note: the module's lines give different parameter strings; "
                         "the first to update configures the module: \"%s\"\n",
                         shown(parameters[0]).c_str());
            break;
        }
    }
    if (!options.vars.empty()) {
        std::string text, error;
        if (!read_regular_file(options.vars, text)) {
            std::fprintf(stderr, "cuebox: cannot read the timeline %s\n", options.vars.c_str());
            return nullptr;
        }
        if (!session->set_timeline(text, error)) {
            std::fprintf(stderr, "cuebox: %s: %s\n", options.vars.c_str(), error.c_str());
            return nullptr;
        }
    }
    return session;
}

int command_show(const CliOptions& options) {
    PanelHost host;
    if (!open_host(options, host)) return 2;
    host.connect();
    host.pre_update();
    std::printf("module: %s loaded, gauge \"%s\"\n", options.module.c_str(),
                host.linkage()->gauges[0]->gauge_name);
    for (size_t i = 1; i < host.variables().size(); ++i) {
        std::printf("variable: %s = %s\n", shown(host.variables()[i].first).c_str(),
                    json_text(json_number(host.variables()[i].second)).c_str());
    }
    const ConfigurationView view =
        read_configuration(options.has_param ? options.param.c_str() : "");
    std::printf("ini file: %s\n", shown(view.ini_path).c_str());
    for (size_t n = 0; n < view.slots.size(); ++n) {
        std::printf("slot %02zu: %s (%s)\n", n, shown(view.slots[n].path).c_str(),
                    source_name(view.slots[n].source));
    }
    host.disconnect();
    finish_sound_output();
    return 0;
}

namespace {

// One scenario on a host of its own: the module loaded afresh, as by a simulator started anew.
// Returns the exit status of a run of that scenario alone.
int run_one(const CliOptions& options, const Scenario& scenario) {
    PanelHost host;
    if (!open_host(options, host)) return 2;
    std::string parameters = options.has_param ? options.param : "";
    std::unique_ptr<PanelSession> panel;
    if (!options.panel.empty()) {
        panel = open_panel_session(options, host);
        if (!panel) {
            // The module's tables, made when it loaded, go back as at a simulator's close.
            if (host.gauge_count() == 0) host.add_gauge("");
            host.disconnect();
            return 2;
        }
        if (!panel->module_parameters().empty()) parameters = panel->module_parameters()[0];
    }

    RunSettings settings;
    settings.output = options.output;
    settings.variable_name = read_configuration(parameters.c_str()).variable_name;
    TraceRecorder trace(host);
    bool json = options.trace;
    trace.live = &print_live;
    trace.live_context = &json;
    if (panel) {
        panel->start(settings.variable_name, trace);
        note_misdirected_writes(*panel, settings.variable_name, trace);
        settings.panel = panel.get();
    }
    std::string failure, error;
    const bool passed = run_scenario(host, scenario, settings, trace, failure);
    if (panel && panel->commands_lost() > 0) {
        std::fprintf(stderr,
                     "cuebox: %ld command(s) written by the panel's gauges never reached the "
                     "module (command_lost)\n",
                     panel->commands_lost());
    }
    // Whatever the scenario did (it may have stopped early, or never connected), the panel is
    // disconnected before the module goes, as a simulator that closes does: the module's
    // tables go back, and a second disconnect frees nothing twice.
    trace.live = nullptr;
    host.disconnect();
    host.unload();
    finish_sound_output();
    if (!options.timeline.empty()) {
        if (!write_timeline(options.timeline, trace.events(),
                            options.output == SoundOutput::FILE ? options.out_path : "", error)) {
            std::fprintf(stderr, "cuebox: %s\n", error.c_str());
            return 2;
        }
    }
    if (!passed) {
        std::fprintf(stderr, "cuebox: %s\n", failure.c_str());
        return 1;
    }
    return sound_was_lost(trace.events(), options) ? NO_SOUND_STATUS : 0;
}

}  // namespace

// Several scenarios run one after another in this one process, each with its own host, so a
// slow process start is paid once. Every file is read before anything plays.
int command_run(const CliOptions& options) {
    std::vector<Scenario> scenarios(options.arguments.size());
    for (size_t i = 0; i < scenarios.size(); ++i) {
        const std::string& file_name = options.arguments[i];
        std::string text;
        if (!read_regular_file(file_name, text)) {
            std::fprintf(stderr, "cuebox: cannot read the scenario %s\n", file_name.c_str());
            return 2;
        }
        std::istringstream in(text);
        std::string error;
        if (!parse_scenario(file_name, in, scenarios[i], error)) {
            std::fprintf(stderr, "cuebox: %s\n", error.c_str());
            return 2;
        }
    }
    if (scenarios.size() == 1) return run_one(options, scenarios[0]);
    // Each scenario enters the root folder from where the command started.
    char here[4096];
    if (!getcwd(here, sizeof here)) here[0] = '\0';
    int worst = 0;
    size_t failed = 0;
    for (const Scenario& scenario : scenarios) {
        if (here[0] && chdir(here) != 0) return 2;
        if (options.trace) {
            std::printf("%s\n",
                        json_text({{"event", "scenario"}, {"file", scenario.file_name}}).c_str());
        } else {
            std::printf("scenario %s\n", scenario.file_name.c_str());
        }
        std::fflush(stdout);
        const int status = run_one(options, scenario);
        // A scenario that could not run counts worst, then one whose expectations failed; one
        // that only went without sound fails nothing it expected.
        auto severity = [](int s) { return s == NO_SOUND_STATUS ? 1 : s == 0 ? 0 : s + 1; };
        if (status == 1 || status == 2) ++failed;
        if (severity(status) > severity(worst)) worst = status;
    }
    std::fprintf(stderr, "cuebox: %zu scenarios, %zu failed\n", scenarios.size(), failed);
    return worst;
}
