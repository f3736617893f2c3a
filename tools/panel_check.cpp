// Checking a whole panel against the module's configuration.
#include "tools/panel_check.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "control/commands.h"
#include "host/panel_session.h"
#include "host/root_files.h"
#include "panel/panel_runner.h"
#include "platform/codepage.h"
#include "tools/cli.h"
#include "tools/ini_analysis.h"

namespace {

// Binds every variable and keeps what fails to compile: the check reads scripts, it runs none.
struct Reading : PanelVariables, PanelListener {
    std::vector<PanelFinding> errors;
    int bound = 0;
    const LoadedPanel* panel = nullptr;

    int bind(const VariableRef&, std::string&) override { return bound++; }
    double read(int) override { return 0; }
    void write(int, double, const ScriptSource&) override {}
    void host_gauge_update(int) override {}
    void script_problem(const ScriptSource& by, int line, const std::string& token,
                        const std::string& message) override {
        std::string source;
        for (const PanelGauge& gauge : panel->gauges) {
            if (gauge.line.name() == *by.gauge) source = gauge.source;
        }
        errors.push_back(PanelFinding{"script_error", -1,
                                      source + ":" + std::to_string(line) + " (" + *by.gauge +
                                          ", " + *by.place + "): at '" + token + "': " + message,
                                      source, line});
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

size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
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
    reading.panel = &panel_;
    PanelRunner runner(panel_, reading, reading);
    problems.insert(problems.end(), reading.errors.begin(), reading.errors.end());
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

    bool written = false;
    std::vector<std::pair<std::string, std::string>> others;  // L: names written, and where
    for (const PanelRunner::RunningScript& script : runner.scripts()) {
        const PanelGauge& gauge = panel_.gauges[static_cast<size_t>(script.gauge)];
        for (const ScriptWrite& write : script.script.writes()) {
            if (write.variable.kind != 'L') continue;
            const int line = script.file_line(write.line);
            const std::string where = gauge.source + ":" + std::to_string(line) + " (" +
                                      gauge.line.name() + ", " + script.place + ")";
            if (!same_text(write.variable.name, variable)) {
                bool known = false;
                for (const auto& other : others)
                    known = known || same_text(other.first, write.variable.name);
                if (!known) others.emplace_back(write.variable.name, where);
                continue;
            }
            written = true;
            if (script.every_update && write.always) {
                problems.push_back(PanelFinding{
                    "written_every_update", -1,
                    where + ": writes " +
                        (write.constant ? number_text(write.value) + " to " : "") +
                        "(>L:" + write.variable.name +
                        ") at every update, without a condition: the module sees the same "
                        "command at every update (put the write inside an if{ that holds only "
                        "when something changes)",
                    gauge.source, line});
            }
            if (!write.constant) continue;
            int32_t value = command_value(write.value);
            if (value < 0 && value != INT32_MIN) value = -value;
            const std::string says = where + ": writes " + number_text(write.value);
            if (value == INT32_MIN || (value >= 200 && value <= 249) ||
                (value >= 251 && value <= 259) || value > 260) {
                problems.push_back(PanelFinding{
                    "value_ignored", -1,
                    says + ", a value the module ignores (it plays 0-99, loops 100-199, stops "
                           "-1 to -99 and 250)",
                    gauge.source, line});
            } else if (value < 200) {
                const int slot = value % 100;
                if (!silent_why[static_cast<size_t>(slot)].empty()) {
                    problems.push_back(PanelFinding{
                        "slot_silent", slot,
                        says + " for slot " + two_digits(slot) +
                            ", which cannot sound: " + silent_why[static_cast<size_t>(slot)],
                        gauge.source, line});
                }
            }
        }
    }
    if (!written) {
        std::string near;
        for (const auto& other : others) {
            if (similar(other.first, variable))
                near += (near.empty() ? "" : "; ") + other.first + " at " + other.second;
        }
        problems.push_back(PanelFinding{"no_writer", -1,
                                        "no gauge writes (>L:" + variable +
                                            "), the variable the module reads" +
                                            (near.empty() ? std::string(", nor any similar name")
                                                          : ": similar names written: " + near),
                                        panel_.file, 0});
    }
}
