// Checking a whole panel against the module's configuration.
#include "tools/panel_check.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <set>

#include "control/protocol.h"
#include "host/panel_session.h"
#include "host/root_files.h"
#include "panel/panel_runner.h"
#include "platform/codepage.h"
#include "tools/cli.h"
#include "tools/ini_analysis.h"
#include "tools/write_gating.h"

namespace {

// Binds every variable: the check reads scripts, it runs none. What does not compile is taken
// from the runner's scripts afterwards, where the script's text is at hand.
struct Reading : PanelVariables, PanelListener {
    int bound = 0;

    int bind(const VariableRef&, std::string&) override { return bound++; }
    double read(int) override { return 0; }
    void write(int, double, const ScriptSource&) override {}
    void host_gauge_update(int) override {}
    void script_problem(const ScriptSource&, int, const std::string&, const std::string&) override {
    }
};

std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string alphanumeric(const std::string& text) {
    std::string out;
    for (char c : lower_text(text)) {
        if (std::isalnum(static_cast<unsigned char>(c))) out += c;
    }
    return out;
}

// Names an author may have meant: the same letters and digits, a few letters apart, or one
// holding the other.
bool similar(const std::string& written, const std::string& wanted) {
    if (written.size() > 200 || wanted.size() > 200) return false;
    const std::string a = alphanumeric(written), b = alphanumeric(wanted);
    if (a == b) return true;
    if (edit_distance(lower_text(written), lower_text(wanted)) <=
        std::max<size_t>(2, wanted.size() / 4))
        return true;
    const std::string& shorter = a.size() < b.size() ? a : b;
    const std::string& longer = a.size() < b.size() ? b : a;
    return shorter.size() >= 3 && longer.find(shorter) != std::string::npos;
}

// Findings about scripts, each once: a gauge placed on several windows runs the same scripts in
// each, and would otherwise report each finding once per copy. A finding names the windows of
// the copies it concerns.
class ScriptFindings {
  public:
    void add(const std::string& kind, int slot, const std::string& where, const std::string& window,
             const std::string& file, int line, const std::string& text) {
        for (Entry& entry : entries_) {
            if (entry.kind == kind && entry.slot == slot && entry.where == where &&
                entry.text == text) {
                if (std::find(entry.windows.begin(), entry.windows.end(), window) ==
                    entry.windows.end())
                    entry.windows.push_back(window);
                return;
            }
        }
        entries_.push_back(Entry{kind, slot, where, text, {window}, file, line});
    }
    // `where` holds "@" where the windows go.
    void move_to(std::vector<PanelFinding>& problems) const {
        for (const Entry& entry : entries_) {
            std::string windows;
            for (size_t i = 0; i < entry.windows.size(); ++i) {
                windows += (i == 0                          ? ""
                            : i + 1 == entry.windows.size() ? " and "
                                                            : ", ") +
                           ("[" + entry.windows[i] + "]");
            }
            std::string where = entry.where;
            where.replace(where.find('@'), 1, windows);
            problems.push_back(
                PanelFinding{entry.kind, entry.slot, where + entry.text, entry.file, entry.line});
        }
    }

  private:
    struct Entry {
        std::string kind;
        int slot;
        std::string where;
        std::string text;
        std::vector<std::string> windows;
        std::string file;
        int line;
    };
    std::vector<Entry> entries_;
};

}  // namespace

bool PanelCheck::load(const std::string& panel_path) {
    RootFiles files;
    panel_ = load_panel(panel_path, files, {MODULE_GAUGE_FILE});
    for (const PanelMessage& problem : panel_.problems) {
        if (problem.line == 0) {
            std::fprintf(stderr, "cuebox: %s: %s\n", problem.file.c_str(), problem.text.c_str());
            return false;
        }
    }
    return true;
}

std::string PanelCheck::module_parameters() const {
    for (const PanelGauge& gauge : panel_.gauges) {
        if (gauge.kind == PanelGauge::DLL)
            return codepage::from_utf8(tool_code_page(), gauge.line.parameters);
    }
    return "";
}

void PanelCheck::find(const std::string& variable, const std::vector<std::string>& silent_why,
                      std::vector<PanelFinding>& problems, std::vector<std::string>& notes) const {
    for (const PanelMessage& problem : panel_.problems) {
        problems.push_back(
            PanelFinding{"panel_line", -1,
                         problem.file + ":" + std::to_string(problem.line) + ": " + problem.text,
                         problem.file, problem.line});
    }
    for (const PanelMessage& note : panel_.notes)
        notes.push_back(note.file + ":" + std::to_string(note.line) + ": " + note.text);
    Reading reading;
    PanelRunner runner(panel_, reading, reading);
    auto where_is = [&](const PanelRunner::RunningScript& script, int line) {
        const PanelGauge& gauge = panel_.gauges[static_cast<size_t>(script.gauge)];
        return gauge.source + ":" + std::to_string(script.file_line(line)) + " (" +
               gauge.line.name() + ", " + script.place + ")";
    };
    // What drives sound: the command variable, and the L: variables that a script writing it
    // reads. A script that cannot run matters to the sound only where it writes one of them;
    // elsewhere (an attitude gauge, a mouse variable) it is a note.
    std::vector<std::vector<VariableRef>> reads(runner.scripts().size()),
        writes(runner.scripts().size());
    std::set<std::string> driving = {lower_text(variable)};
    for (size_t i = 0; i < runner.scripts().size(); ++i) {
        scan_variables(runner.scripts()[i].text, reads[i], writes[i]);
        bool sounds = false;
        for (const VariableRef& ref : writes[i])
            sounds = sounds || (ref.kind == 'L' && same_text(ref.name, variable));
        for (const VariableRef& ref : reads[i]) {
            if (sounds && ref.kind == 'L') driving.insert(lower_text(ref.name));
        }
    }
    for (size_t i = 0; i < runner.scripts().size(); ++i) {
        const PanelRunner::RunningScript& script = runner.scripts()[i];
        if (script.script.compiled()) continue;
        std::string drives;
        for (const VariableRef& ref : writes[i]) {
            if (drives.empty() && ref.kind == 'L' && driving.count(lower_text(ref.name)))
                drives = ref.name;
        }
        const std::string said =
            where_is(script, script.error.line) + ": " +
            (script.error.token.empty() ? "" : "at '" + script.error.token + "': ") +
            script.error.message + ": this script does not run";
        // A gauge on several windows is compiled once per copy: one finding says it for all.
        bool known = false;
        for (const PanelFinding& problem : problems)
            known = known || problem.message.find(said) == 0;
        for (const std::string& note : notes) known = known || note.find(said) == 0;
        if (known) continue;
        if (!drives.empty() && script.error.unmodelled) {
            // The simulator runs it: not the author's mistake, only the preview's limit.
            notes.push_back(said + " (it writes (>L:" + drives +
                            "), which drives the sound: the simulator runs it, the preview "
                            "does not)");
        } else if (!drives.empty()) {
            const PanelGauge& gauge = panel_.gauges[static_cast<size_t>(script.gauge)];
            problems.push_back(
                PanelFinding{"script_error", -1,
                             said + " (it writes (>L:" + drives + "), which drives the sound)",
                             gauge.source, script.file_line(script.error.line)});
        } else {
            notes.push_back(said + " (it writes nothing that drives the sound)");
        }
    }
    // What the preview reads of a gauge but does not model, once per gauge file: a clean
    // check then says what it did not look at.
    std::set<std::string> partly;
    for (const PanelGauge& gauge : panel_.gauges) {
        const std::string note = partly_read_note(gauge);
        if (!note.empty() &&
            partly.insert(lower_text(gauge.source + "!" + gauge.line.gauge)).second)
            notes.push_back(note);
    }
    // What a script that runs computes as the simulator does, but perhaps not as its author
    // meant (a word short of values), and the parts of words the preview passes over.
    for (const PanelRunner::RunningScript& script : runner.scripts()) {
        for (const ScriptError& note : script.script.notes()) {
            const std::string said =
                where_is(script, note.line) + ": at '" + note.token + "': " + note.message;
            if (std::find(notes.begin(), notes.end(), said) == notes.end()) notes.push_back(said);
        }
    }
    if (runner.host_gauge_count() == 0) {
        problems.push_back(PanelFinding{"no_module", -1,
                                        panel_.file + " has no " + MODULE_GAUGE_FILE +
                                            " line: the module never runs on this panel",
                                        panel_.file, 0});
    }
    int xml = 0;
    for (const PanelGauge& gauge : panel_.gauges) xml += gauge.kind == PanelGauge::XML;
    notes.push_back("panel " + panel_.file + ": " + std::to_string(xml) + " XML gauge(s), " +
                    std::to_string(runner.host_gauge_count()) + " module line(s), " +
                    std::to_string(runner.scripts().size()) + " script(s)");

    // A script that cannot run still shows what it writes: it is said above, and no_writer
    // would only repeat it.
    bool written = false;
    for (size_t i = 0; i < runner.scripts().size(); ++i) {
        for (const VariableRef& ref : writes[i]) {
            written = written || (!runner.scripts()[i].script.compiled() && ref.kind == 'L' &&
                                  same_text(ref.name, variable));
        }
    }
    std::vector<std::pair<std::string, std::string>> others;  // L: names written, and where
    const std::string idle = std::to_string(IDLE_COMMAND);
    std::vector<std::string> ungated;  // writes of a command that do not wait for the idle value
    int ungated_every_update = 0;      // of them, in scripts that run at every update
    std::string ungated_file;          // where the first of them is
    int ungated_line = 0;
    std::set<int> writers, ungated_writers;  // the gauges that write the command variable
    std::vector<std::string> gated;          // where the writes that wait for the idle value are
    ScriptFindings findings;
    for (const PanelRunner::RunningScript& script : runner.scripts()) {
        const PanelGauge& gauge = panel_.gauges[static_cast<size_t>(script.gauge)];
        for (const ScriptWrite& write : script.script.writes()) {
            if (write.variable.kind != 'L') continue;
            const bool waits = waits_for_idle(script.script, write);
            const int line = script.file_line(write.line);
            const std::string where = gauge.source + ":" + std::to_string(line) + " (" +
                                      gauge.line.name() + " in @, " + script.place + ")";
            const std::string& window = gauge.line.section;
            if (!same_text(write.variable.name, variable)) {
                const std::string misdirected = misdirected_write(write, variable);
                if (!misdirected.empty())
                    findings.add("wrong_variable", -1, where, window, gauge.source, line,
                                 misdirected);
                bool known = false;
                for (const auto& other : others)
                    known = known || same_text(other.first, write.variable.name);
                if (!known) {
                    std::string at = where;
                    at.replace(at.find('@'), 1, "[" + window + "]");
                    others.emplace_back(write.variable.name, at);
                }
                continue;
            }
            written = true;
            std::string at = where;
            at.replace(at.find('@'), 1, "[" + window + "]");
            writers.insert(script.gauge);
            if (!waits && !(write.constant && write.value == IDLE_COMMAND)) {
                // Copies on two windows are two writers: each is listed with its window.
                ungated.push_back(at);
                ungated_writers.insert(script.gauge);
                if (ungated_file.empty()) ungated_file = gauge.source, ungated_line = line;
                ungated_every_update += script.every_update;
            } else if (waits) {
                gated.push_back(at);
            }
            if (script.every_update && write.always) {
                findings.add("written_every_update", -1, where, window, gauge.source, line,
                             ": writes " +
                                 (write.constant ? number_text(write.value) + " to " : "") +
                                 "(>L:" + write.variable.name +
                                 ") at every update, without a condition: the module sees the "
                                 "same command at every update (put the write inside an if{ "
                                 "that holds only when something changes)");
            }
            if (!write.constant) continue;
            const Command command = decode_command(write.value, false);
            const std::string says = ": writes " + number_text(write.value);
            if (command.action == CommandAction::NONE && command.value != IDLE_COMMAND) {
                findings.add("value_ignored", -1, where, window, gauge.source, line,
                             says +
                                 ", a value the module ignores (it plays 0-99, loops 100-199, "
                                 "stops -1 to -99 and 250)");
            } else if (command.mode == PLAY_MODE || command.mode == LOOP_MODE) {
                const int slot = command.slot;
                if (!silent_why[static_cast<size_t>(slot)].empty()) {
                    findings.add("slot_silent", slot, where, window, gauge.source, line,
                                 says + " for slot " + two_digits(slot) + ", which cannot sound: " +
                                     silent_why[static_cast<size_t>(slot)]);
                }
            }
        }
    }
    findings.move_to(problems);
    // The module takes one command per update: two writes in one update, and the first is lost
    // without a sound or a word. Writes that first check that the variable holds the idle value
    // (the module has taken the last command) cannot collide; two clicks never come in one update.
    // One write that does not wait is enough where another gauge writes too: it can overwrite
    // the careful gauge's command before the module has read it, however careful that one is.
    const bool other_gauges = writers.size() >= 2 && !ungated_writers.empty();
    if ((ungated.size() >= 2 && ungated_every_update > 0) || other_gauges) {
        std::string list, careful;
        for (const std::string& where : ungated) list += (list.empty() ? "" : "; ") + where;
        for (const std::string& where : gated) careful += (careful.empty() ? "" : "; ") + where;
        PanelFinding finding{
            "commands_may_collide", -1,
            std::to_string(ungated.size()) + (ungated.size() == 1 ? " write" : " writes") +
                " of (>L:" + variable + ") " + (ungated.size() == 1 ? "does" : "do") +
                " not first check that it holds " + idle +
                (other_gauges ? ", and other gauges write it too" : "") +
                ": when two come in one update, the module never sees the first (wait for " + idle +
                ", as the docs' patterns do): " + list +
                (careful.empty() ? "" : "; waiting for " + idle + ": " + careful),
            ungated_file, ungated_line};
        finding.warning = true;
        problems.push_back(finding);
    }
    if (!written) {
        std::string similar_names;
        for (const auto& other : others) {
            if (similar(other.first, variable))
                similar_names +=
                    (similar_names.empty() ? "" : "; ") + other.first + " at " + other.second;
        }
        problems.push_back(
            PanelFinding{"no_writer", -1,
                         "no gauge writes (>L:" + variable + "), the variable the module reads" +
                             (similar_names.empty() ? std::string(", nor any similar name")
                                                    : ": similar names written: " + similar_names),
                         panel_.file, 0});
    }
}
