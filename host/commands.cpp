// The host commands `show` and `run`.
#include <cstdio>
#include <sstream>

#include "host/cli.h"
#include "host/configuration_view.h"
#include "host/files.h"
#if defined(CUEBOX_PANEL)
#include "host/panel_session.h"
#endif
#include "host/scenario.h"
#include "host/timeline.h"
#include "host/trace.h"

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
        std::fprintf(stderr, "cuebox: no sound device (result %s): going on silently\n",
                     trace_field(event, "result").c_str());
    }
    const std::string line = json ? trace_json(event) : trace_readable(event);
    if (!line.empty()) std::printf("%s\n", line.c_str());
}

}  // namespace

int command_show(const CliOptions& options) {
    PanelHost host;
    if (!open_host(options, host)) return 2;
    host.connect();
    host.pre_update();
    std::printf("module: %s loaded, gauge \"%s\"\n", options.module.c_str(),
                host.linkage()->gauges[0]->gauge_name);
    for (size_t i = 1; i < host.variables().size(); ++i) {
        std::printf("variable: %s = %s\n", host.variables()[i].first.c_str(),
                    json_number(host.variables()[i].second).c_str());
    }
    const ConfigurationView view = read_configuration(options.has_param ? options.param.c_str()
                                                                         : "");
    std::printf("ini file: %s\n", view.ini_path.c_str());
    for (size_t n = 0; n < view.slots.size(); ++n) {
        std::printf("slot %02zu: %s (%s)\n", n, view.slots[n].path.c_str(),
                    source_name(view.slots[n].source));
    }
    host.disconnect();
    finish_sound_output();
    return 0;
}

int command_run(const CliOptions& options) {
    const std::string& file_name = options.arguments[0];
    std::string text;
    if (!read_regular_file(file_name, text)) {
        std::fprintf(stderr, "cuebox: cannot read the scenario %s\n", file_name.c_str());
        return 2;
    }
    std::istringstream in(text);
    Scenario scenario;
    std::string error;
    if (!parse_scenario(file_name, in, scenario, error)) {
        std::fprintf(stderr, "cuebox: %s\n", error.c_str());
        return 2;
    }
    PanelHost host;
    if (!open_host(options, host)) return 2;
    std::string parameters = options.has_param ? options.param : "";
#if defined(CUEBOX_PANEL)
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
#endif

    RunSettings settings;
    settings.output = options.output;
    settings.variable_name = read_configuration(parameters.c_str()).variable_name;
    TraceRecorder trace(host);
    bool json = options.trace;
    trace.live = &print_live;
    trace.live_context = &json;
#if defined(CUEBOX_PANEL)
    if (panel) {
        panel->start(settings.variable_name, trace);
        settings.panel = panel.get();
    }
#endif
    std::string failure;
    const bool passed = run_scenario(host, scenario, settings, trace, failure);
    // A run that stopped early still gives the panel back, as a simulator that closes would.
    trace.live = nullptr;
    if (host.connected()) host.disconnect();
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
    return 0;
}
