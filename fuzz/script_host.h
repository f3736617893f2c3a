// A ScriptHost for the fuzz targets that run gauge scripts: every variable a script can bind
// gets a slot of its own, read as what was last written to it.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "panel/script.h"

namespace fuzz {

struct FuzzScriptHost : ScriptHost {
    std::vector<double> values;
    int bind(const VariableRef&, std::string&) override {
        values.push_back(0.0);
        return static_cast<int>(values.size()) - 1;
    }
    double read(int handle) override { return values.at(static_cast<size_t>(handle)); }
    void write(int handle, double value) override {
        values.at(static_cast<size_t>(handle)) = value;
    }
};

// Runs a compiled script for a few updates with `step_limit` and checks what a run promises:
// the stack stays within its limit, and the value a run gives back is a finite number.
inline void run_updates(const Script& script, FuzzScriptHost& host, long step_limit) {
    ScriptMachine machine;
    for (int update = 0; update < 3; ++update) {
        ScriptRunReport report;
        const double result = script.run(host, machine, report, step_limit);
        check(std::isfinite(result));
        check(machine.stack.size() <= SCRIPT_STACK_LIMIT);
        check(report.issues < (1u << ISSUE_COUNT));
        for (int issue = 0; issue < ISSUE_COUNT; ++issue) {
            if (report.has(static_cast<ScriptIssue>(issue)))
                check(report.token[issue] >= 0 &&
                      static_cast<size_t>(report.token[issue]) < script.op_count());
        }
    }
}

}  // namespace fuzz
