// `cuebox check`: tells a gauge author, before the simulator starts, why a slot would stay
// silent. The configuration comes from the module's own configuration code, the verdict on each
// sound file from the module's own WAV reader and the platform's sound device. This file runs
// the check in order; the INI facts are in check_ini, the slots' verdicts in check_sound, the
// reports in check_output.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/result_text.h"
#include "tools/check_ini.h"
#include "tools/check_output.h"
#include "tools/check_sound.h"
#include "tools/cli.h"
#include "tools/configuration_view.h"
#include "tools/panel_check.h"

int command_check(const CliOptions& given) {
    CliOptions options = given;  // with --panel, the module's line gives the parameter string
    if (!options.root.empty() && chdir(options.root.c_str()) != 0) {
        std::fprintf(stderr, "cuebox: cannot enter the root folder %s: %s\n", options.root.c_str(),
                     std::strerror(errno));
        return 2;
    }
    char here[4096] = "";
    if (!getcwd(here, sizeof here)) here[0] = '\0';
    PanelCheck panel;
    if (!options.panel.empty()) {
        if (!panel.load(options.panel)) return 2;
        options.has_param = true;
        options.param = panel.module_parameters();
    }

    const ConfigurationView view =
        read_configuration(options.has_param ? options.param.c_str() : "");
    if (view.slots.size() != static_cast<size_t>(SLOT_COUNT)) {
        std::fprintf(stderr, "cuebox: the configuration could not be read (out of memory)\n");
        return 1;
    }
    Findings findings;
    IniFacts ini;
    analyse_ini(options, view, ini, findings);
    check_variable(view, ini, findings);

    // Said once here; the slots' formats are still judged without it.
    DeviceProbe device;
    if (!device.device)
        findings.problem("device_unavailable", -1, 0, no_sound_output(device.result));
    std::vector<SlotReport> slots(SLOT_COUNT);
    for (int n = 0; n < SLOT_COUNT; ++n) {
        SlotReport& r = slots[n];
        r.slot = n;
        r.path = view.slots[n].path;
        r.from_ini = view.slots[n].source == PathSource::INI_FILE;
        r.line = r.from_ini ? ini.lines.slot_lines[n] : 0;
        check_slot(r, device);
        slot_problems(r, findings);
    }
    // A set with nothing in it would play nothing at all: never a success.
    if (std::none_of(slots.begin(), slots.end(),
                     [](const SlotReport& r) { return r.from_ini || r.exists; })) {
        findings.problem("nothing_configured", -1, 0,
                         "nothing would play: no INI file names a sound, and no default sound "
                         "file (Sound\\jvb\\jvb_xml_NN.wav) exists");
    }
    if (!options.panel.empty()) {
        std::vector<std::string> silent_why(SLOT_COUNT);
        for (const SlotReport& r : slots) {
            // A slot silent only for want of a device is not the gauge's fault, and the
            // device is reported above.
            if (!r.plays && !(r.accepted && !r.device_tried))
                silent_why[r.slot] = verdict_text(r) + " (" + shown(r.path) + ")";
        }
        std::vector<PanelFinding> found;
        panel.find(view.variable_name, silent_why, found, findings.notes);
        for (const PanelFinding& f : found) {
            const Problem problem{f.kind, f.slot, f.line, f.message, f.file};
            (f.warning ? findings.warnings : findings.problems).push_back(problem);
        }
    }
    if (options.json) {
        print_json(here, view, ini, device, slots, findings);
    } else {
        print_readable(here, view, ini, device, slots, options.all, findings);
    }
    return findings.problems.empty() ? 0 : 1;
}

