// Reading a compiled script's conditions for the writes that wait for the module.
#include "tools/write_gating.h"

#include "control/protocol.h"

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
