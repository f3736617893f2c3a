// Reading a compiled script's writes for what they mean to the module.
#include "tools/write_gating.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "control/configuration.h"
#include "control/protocol.h"
#include "host/panel_session.h"
#include "host/trace.h"
#include "panel/text.h"

bool waits_for_idle(const Script& script, const ScriptWrite& write) {
    if (write.variable.kind != 'L' || write.op < 0) return false;
    const std::string key = write.variable.key();
    for (const ScriptCondition& condition : script.conditions()) {
        const int end = script.op(condition.branch).operand;  // where the block ends
        if (!(condition.branch < write.op && write.op < end)) continue;
        bool idle = false, reads_it = false;
        for (int op = condition.begin; op < condition.branch; ++op) {
            const Script::Code code = script.op(op).code;
            idle = idle || (code == Script::PUSH_NUMBER && script.op_number(op) == IDLE_VALUE);
            reads_it = reads_it || (code == Script::READ && script.op_variable(op).key() == key);
        }
        if (idle && reads_it) return true;
    }
    return false;
}

namespace {

// Why a write was meant for the module, or "": the name the docs' examples use (authors paste
// them), or a command written to a name a slip of the keyboard away from the module's (not
// merely one that shares its prefix).
std::string meant_for_the_module(const ScriptWrite& write, const std::string& variable) {
    if (same_text(write.variable.name, DEFAULT_VARIABLE_NAME))
        return "the name of the docs' examples and of the module's default";
    if (!write.constant || write.variable.name.size() > 200 || variable.size() > 200) return "";
    const Command command = decode_command(write.value, false);
    if (command.action == CommandAction::NONE) return "";
    const size_t apart = edit_distance(lower_text(write.variable.name), lower_text(variable));
    if (apart == 0 || apart > std::max<size_t>(2, variable.size() / 4)) return "";
    char value[32];
    std::snprintf(value, sizeof value, "%.10g", write.value);
    return std::string("a command (") + value + ") to a name close to the module's";
}

}  // namespace

std::string misdirected_write(const ScriptWrite& write, const std::string& variable) {
    if (write.variable.kind != 'L' || same_text(write.variable.name, variable)) return "";
    const std::string meant = meant_for_the_module(write, variable);
    if (meant.empty()) return "";
    return ": writes (>L:" + write.variable.name + "), " + meant +
           ", but the module reads (>L:" + variable +
           "), as the INI's LVar says: these commands never reach it (write (>L:" + variable +
           ", number), or change LVar)";
}

void note_misdirected_writes(const PanelSession& panel, const std::string& variable,
                             TraceRecorder& trace) {
    std::set<std::string> said;
    for (const PanelRunner::RunningScript& script : panel.scripts()) {
        const PanelGauge& gauge = panel.panel().gauges[static_cast<size_t>(script.gauge)];
        for (const ScriptWrite& write : script.script.writes()) {
            const std::string wrong = misdirected_write(write, variable);
            if (wrong.empty()) continue;
            const std::string message = gauge.source + ":" +
                                        std::to_string(script.file_line(write.line)) + " (" +
                                        gauge.line.name() + ", " + script.place + ")" + wrong;
            if (said.insert(message).second) trace.add("panel_note", {{"message", message}});
        }
    }
}
