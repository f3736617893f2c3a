// Gauge scripts: the reverse-Polish language of XML gauges. A script is compiled once from its
// text, its variables bound to handles of a ScriptHost, and then run once per panel update. A
// run never fails: what the simulator passes over (an empty stack, a division by zero) gives 0
// and is reported as an issue, so that a panel keeps running as it does in the simulator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "panel/script_words.h"
#include "panel/variable_ref.h"

// Where a script's variables live. Each variable of a script is bound once, when the script is
// compiled, so that a run looks nothing up by name.
class ScriptHost {
  public:
    virtual ~ScriptHost() = default;
    // A handle (0 or more) for the variable, or -1 with the reason in `why`.
    virtual int bind(const VariableRef& variable, std::string& why) = 0;
    virtual double read(int handle) = 0;
    // For a K: event, `value` is the event's parameter.
    virtual void write(int handle, double value) = 0;
    // A key event of two parameters, (>K:2:NAME): `first` written before `second`. A host that
    // sends events of one parameter only gets the first.
    virtual void write_event(int handle, double first, double second) {
        (void)second;
        write(handle, first);
    }
};

// What went wrong in a run, each given 0 (or ignored) the way the simulator goes on.
enum ScriptIssue {
    ISSUE_EMPTY_STACK,     // a value taken from an empty stack reads 0
    ISSUE_DIVIDE_BY_ZERO,  // x 0 / and x 0 % give 0
    ISSUE_NOT_A_NUMBER,    // a result that is not a finite number (-1 sqrt, 0 -1 pow) gives 0
    ISSUE_CASE_RANGE,      // a case selector outside its values gives 0
    ISSUE_STACK_FULL,      // the stack holds at most SCRIPT_STACK_LIMIT values: the run stops
    ISSUE_STEP_LIMIT,      // a run takes at most its step limit (a gN loop that never ends)
    ISSUE_COUNT
};

const char* script_issue_text(ScriptIssue issue);

constexpr size_t SCRIPT_STACK_LIMIT = 1024;
constexpr int SCRIPT_REGISTERS = 50;  // s0..s49
constexpr long SCRIPT_STEP_LIMIT = 100000;

// A write found in the script's text, for the checks that read a panel without running it.
struct ScriptWrite {
    VariableRef variable;
    int line = 0;
    bool always = false;  // reached on every run: outside every if{ and els{, no quit or gN before
    bool constant = false;  // the value written is a number written just before it
    double value = 0;
    int op = -1;  // the op that writes
};

// A fault that stops a script from compiling, or a note of one that compiles.
struct ScriptError {
    int line = 0;       // within the script's text, from 1
    std::string token;  // the token at fault
    std::string message;
    // What the simulator runs but the preview does not model (a newer simulator's comment or
    // template parameter): the script does not run in the preview, and the author made no
    // mistake. Its message begins "the preview does not model".
    bool unmodelled = false;
};

// The if{ of a compiled script: ops [begin, branch) compute its condition (from the last write
// or block boundary before it), op `branch` is its JUMP_IF_FALSE, and its block runs up to the
// op that branch jumps to.
struct ScriptCondition {
    int begin = 0;
    int branch = 0;
};

// One run's issues: which happened, and the token where each first did.
struct ScriptRunReport {
    unsigned issues = 0;  // bit (1 << ScriptIssue)
    int token[ISSUE_COUNT] = {};
    bool has(ScriptIssue issue) const { return issues & (1u << issue); }
};

// The value stack and registers a script runs on, kept between runs so that a run allocates
// nothing.
struct ScriptMachine {
    struct Value {
        double number;
        int32_t text;  // index into the script's texts, or -1 for a number
    };
    std::vector<Value> stack;
    Value registers[SCRIPT_REGISTERS];
    std::vector<std::string> strings;  // made by the run's string words
    Value last_taken{0, -1};           // what `b` puts back
};

// A script's text cut into tokens: numbers, words, '(...)' variables and 'strings', each with
// its line. False at the first token that cannot be cut (a '(' without its ')').
struct ScriptToken {
    std::string text;
    int line;
};
bool tokenize_script(const std::string& text, std::vector<ScriptToken>& tokens, ScriptError& error);

// The variables a script's text reads and writes, found without compiling it: what a script
// that cannot run would have touched.
void scan_variables(const std::string& text, std::vector<VariableRef>& reads,
                    std::vector<VariableRef>& writes);

class Script {
  public:
    // Compiles `text`, binding its variables through `host`. False with the first error: a
    // token the language does not know, blocks that do not match, a jump to a missing label, a
    // variable that cannot be read or written that way. A script that failed does not run.
    bool compile(const std::string& text, ScriptHost& host, ScriptError& error);

    // Runs the script once. Returns the value left on top of the stack (0 when none).
    double run(ScriptHost& host, ScriptMachine& machine, ScriptRunReport& report,
               long step_limit = SCRIPT_STEP_LIMIT) const;

    bool compiled() const { return compiled_; }
    const std::vector<ScriptWrite>& writes() const { return writes_; }
    // What the simulator computes the way the preview does but an author may not have meant
    // (a word that leans on an empty stack reading 0), or a part of a word the preview ignores.
    const std::vector<ScriptError>& notes() const { return notes_; }
    // The token an op came from, and its line, for messages.
    const std::string& token_text(int op) const { return tokens_[ops_[op].token].text; }
    int token_line(int op) const { return tokens_[ops_[op].token].line; }
    size_t op_count() const { return ops_.size(); }

#define SCRIPT_WORD_CODE(code, spellings, operands, results, where, what) code,
    enum Code : uint8_t { SCRIPT_WORDS(SCRIPT_WORD_CODE) };
#undef SCRIPT_WORD_CODE
    struct Op {
        Code code;
        int32_t operand;  // handle, register, jump target, text index or number index
        int32_t token;
    };

    // A read-only view of the compiled script, for analyses that read it without running it.
    const Op& op(int index) const {
        return ops_[static_cast<size_t>(index)];
    }
    // The number a PUSH_NUMBER pushes.
    double op_number(int index) const {
        return numbers_[static_cast<size_t>(op(index).operand)];
    }
    // The variable of a READ, WRITE, EVENT or EVENT2.
    const VariableRef& op_variable(int index) const {
        return variables_[static_cast<size_t>(op_variables_[static_cast<size_t>(index)])];
    }
    const std::vector<ScriptCondition>& conditions() const {
        return conditions_;
    }

  private:
    std::vector<ScriptToken> tokens_;
    std::vector<Op> ops_;
    std::vector<double> numbers_;
    std::vector<std::string> texts_;
    std::vector<ScriptWrite> writes_;
    std::vector<ScriptError> notes_;
    std::vector<VariableRef> variables_;
    std::vector<int32_t> op_variables_;  // per op, its variable's index, -1 when none
    std::vector<ScriptCondition> conditions_;
    bool compiled_ = false;
};
