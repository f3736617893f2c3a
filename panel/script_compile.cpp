// Compiling gauge scripts: the text cut into tokens, the tokens into ops. Running them is
// script_run.cpp's.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "panel/script.h"

namespace {

struct Word {
    std::string text;
    Script::Code code;
};

// The spellings of the word table, each with its code.
const std::vector<Word>& words() {
    static const std::vector<Word> table = [] {
        std::vector<Word> out;
        auto add = [&](const char* spellings, Script::Code code) {
            std::string all = spellings;
            for (size_t at = 0; at < all.size();) {
                const size_t end = std::min(all.find(' ', at), all.size());
                if (end > at) out.push_back(Word{all.substr(at, end - at), code});
                at = end + 1;
            }
        };
#define SCRIPT_WORD_SPELLINGS(code, spellings, operands, results, where, what) \
    add(spellings, Script::code);
        SCRIPT_WORDS(SCRIPT_WORD_SPELLINGS)
#undef SCRIPT_WORD_SPELLINGS
        return out;
    }();
    return table;
}

// How many values each code takes and puts back, for the notes on an empty stack.
constexpr int OPERANDS[] = {
#define SCRIPT_WORD_OPERANDS(code, spellings, operands, results, where, what) operands,
    SCRIPT_WORDS(SCRIPT_WORD_OPERANDS)
#undef SCRIPT_WORD_OPERANDS
};
constexpr int RESULTS[] = {
#define SCRIPT_WORD_RESULTS(code, spellings, operands, results, where, what) results,
    SCRIPT_WORDS(SCRIPT_WORD_RESULTS)
#undef SCRIPT_WORD_RESULTS
};

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool all_digits(const std::string& text, size_t from) {
    if (from >= text.size() || text.size() - from > 6) return false;
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// Decimal numbers with sign, fraction and exponent, and hexadecimal 0x.. (also negative).
bool parse_number(const std::string& text, double& value) {
    size_t at = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) at = 1;
    if (text.size() > at + 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        const std::string digits = text.substr(at + 2);
        if (digits.size() > 16 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        const double magnitude = static_cast<double>(std::strtoull(digits.c_str(), nullptr, 16));
        value = negative ? -magnitude : magnitude;
        return true;
    }
    if (text.find_first_not_of("0123456789.eE+-", at) != std::string::npos) return false;
    if (at >= text.size() || !(std::isdigit(static_cast<unsigned char>(text[at])) ||
                               (text[at] == '.' && at + 1 < text.size() &&
                                std::isdigit(static_cast<unsigned char>(text[at + 1])))))
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

// A #NAME# of a newer simulator's template, left unexpanded.
bool has_template_parameter(const std::string& text) {
    const size_t first = text.find('#');
    return first != std::string::npos && text.find('#', first + 2) != std::string::npos;
}

enum BlockKind { IF_BLOCK, ELSE_BLOCK };
struct Block {
    BlockKind kind;
    int jump;  // the op whose target the block's end sets
};

}  // namespace

bool tokenize_script(const std::string& text, std::vector<ScriptToken>& tokens,
                     ScriptError& error) {
    int line = 1;
    size_t at = 0;
    bool clean = true;
    // A fault is said once, the first; the tokens after it are cut all the same, for the
    // readers that want every variable of a script that cannot run.
    auto fail = [&](size_t start, size_t end, const char* message) {
        if (clean) {
            const size_t stop = std::min({end, text.find('\n', start), start + 40});
            error = ScriptError{line, text.substr(start, stop - start), message};
        }
        clean = false;
        at = start + 1;
    };
    while (at < text.size()) {
        if (is_blank(text[at])) {
            if (text[at] == '\n') ++line;
            ++at;
            continue;
        }
        const size_t start = at;
        const int first_line = line;
        if (text.compare(at, 2, "(*") == 0) {
            // A newer simulator's comment, lines and parentheses and all.
            const size_t end = text.find("*)", at + 2);
            if (end == std::string::npos) {
                fail(start, end, "a '(*' comment without its '*)'");
                continue;
            }
            line += static_cast<int>(std::count(text.begin() + static_cast<long>(at),
                                                text.begin() + static_cast<long>(end), '\n'));
            at = end + 2;
        } else if (text[at] == '(') {
            // A variable is one token, spaces and all, and stands on one line: a '(' whose ')'
            // is missing would otherwise take the next variable's ')' and swallow the words
            // between, a key event or a command among them, without a word said.
            const size_t end = text.find_first_of("()\n", at + 1);
            if (end == std::string::npos || text[end] == '\n') {
                fail(start, end, "a '(' without its ')'");
                continue;
            }
            if (text[end] == '(') {
                fail(start, end, "a '(' without its ')': another '(' comes first");
                continue;
            }
            at = end + 1;
        } else if (text[at] == '\'') {
            const size_t end = text.find_first_of("'\n", at + 1);
            if (end == std::string::npos || text[end] == '\n') {
                fail(start, end, "a string without its closing quote");
                continue;
            }
            at = end + 1;
        } else if (text[at] == ')') {
            fail(start, start + 1, "a ')' without its '('");
            continue;
        } else {
            while (at < text.size() && !is_blank(text[at]) && text[at] != '(' && text[at] != ')')
                ++at;
        }
        tokens.push_back(ScriptToken{text.substr(start, at - start), first_line});
    }
    return clean;
}

bool Script::compile(const std::string& text, ScriptHost& host, ScriptError& error) {
    *this = Script();
    if (!tokenize_script(text, tokens_, error)) return false;
    std::vector<Block> blocks;
    std::vector<int> labels;                 // op index per label number, -1 when absent
    std::vector<std::pair<int, int>> jumps;  // op index, label number
    int closed_if = -1;                      // the jump of an if{ block that the last token closed
    bool jumped = false;                     // a quit or gN came before
    size_t statement = 0;                    // the first op after the last write or block boundary
    // The stack's depth along the script's first straight run (up to its first block, label or
    // jump), where a word short of values is known before the run: the missing ones read 0, as
    // in the simulator, which some scripts rely on ("A || B ||").
    int depth = 0;
    bool straight = true;
    for (size_t t = 0; t < tokens_.size(); ++t) {
        const std::string& word = tokens_[t].text;
        const std::string lower = lower_text(word);
        const int token = static_cast<int>(t);
        const int after_if = closed_if;
        closed_if = -1;
        auto fail = [&](const std::string& message, bool unmodelled = false) {
            error = ScriptError{tokens_[t].line, word, message, unmodelled};
            return false;
        };
        auto note = [&](const std::string& message) {
            notes_.push_back(ScriptError{tokens_[t].line, word, message, false});
        };
        auto emit = [&](Code code, int32_t operand = 0) {
            ops_.push_back(Op{code, operand, token});
            op_variables_.push_back(-1);
            if (!straight) return;
            if (OPERANDS[code] < 0) {
                straight = false;
                return;
            }
            if (depth < OPERANDS[code]) {
                note("takes " + std::to_string(OPERANDS[code]) +
                     (OPERANDS[code] == 1 ? " value" : " values") + " from a stack that holds " +
                     std::to_string(depth) +
                     ": the missing ones read 0, as in the simulator (write them if you meant "
                     "something else)");
                straight = false;
                return;
            }
            depth = code == CLEAR ? 0 : depth + RESULTS[code] - OPERANDS[code];
            if (code == JUMP || code == JUMP_IF_FALSE || code == QUIT) straight = false;
        };
        if (word.compare(0, 2, "(*") == 0)
            return fail("the preview does not model (* comments *) of newer simulators", true);
        if (word[0] != '\'' && has_template_parameter(word))
            return fail(
                "the preview does not model #PARAMETERS# of newer simulators' templates: this "
                "one was left unexpanded",
                true);
        if (word[0] == '(') {
            std::string inside = word.substr(1, word.size() - 2);
            const bool writing = !inside.empty() && trim_text(inside)[0] == '>';
            if (writing) inside = trim_text(inside).substr(1);
            VariableRef ref;
            std::string why;
            if (!parse_variable_ref(inside, ref, why))
                return fail(why, why.rfind("the preview does not model", 0) == 0);
            if (writing && (ref.kind == 'A' || ref.kind == 'P' || ref.kind == 'E'))
                return fail(std::string(1, ref.kind) + ": variables are read-only");
            if (!writing && ref.kind == 'K')
                return fail("K: events are sent, not read: write (>K:" + ref.name + ")");
            if (ref.kind == 'K' && !ref.unit.empty()) {
                note("a key event has no unit: '," + ref.unit + "' is ignored");
                ref.unit.clear();
            }
            const int handle = host.bind(ref, why);
            if (handle < 0) return fail(why);
            const Code code = !writing          ? READ
                              : ref.kind != 'K' ? WRITE
                              : ref.index == 2  ? EVENT2
                                                : EVENT;
            if (writing) {
                ScriptWrite found;
                found.variable = ref;
                found.line = tokens_[t].line;
                found.always = blocks.empty() && !jumped;
                found.op = static_cast<int>(ops_.size());
                if (!ops_.empty() && ops_.back().code == PUSH_NUMBER &&
                    ops_.back().token + 1 == token) {
                    found.constant = true;
                    found.value = numbers_[ops_.back().operand];
                }
                writes_.push_back(found);
            }
            emit(code, handle);
            op_variables_.back() = static_cast<int32_t>(variables_.size());
            variables_.push_back(ref);
            if (writing) statement = ops_.size();
            continue;
        }
        if (word[0] == '\'') {
            texts_.push_back(word.substr(1, word.size() - 2));
            emit(PUSH_TEXT, static_cast<int32_t>(texts_.size() - 1));
            continue;
        }
        if (lower == "if{") {
            blocks.push_back(Block{IF_BLOCK, static_cast<int>(ops_.size())});
            conditions_.push_back(
                ScriptCondition{static_cast<int>(statement), static_cast<int>(ops_.size())});
            emit(JUMP_IF_FALSE, -1);
            statement = ops_.size();
            continue;
        }
        if (lower == "els{") {
            if (after_if < 0) return fail("els{ without an if{ ... } just before it");
            blocks.push_back(Block{ELSE_BLOCK, static_cast<int>(ops_.size())});
            emit(JUMP, -1);
            ops_[after_if].operand = static_cast<int32_t>(ops_.size());
            statement = ops_.size();
            continue;
        }
        if (word == "}") {
            if (blocks.empty()) return fail("a '}' without its if{ or els{");
            const Block block = blocks.back();
            blocks.pop_back();
            ops_[block.jump].operand = static_cast<int32_t>(ops_.size());
            if (block.kind == IF_BLOCK) closed_if = block.jump;
            statement = ops_.size();
            continue;
        }
        if (word[0] == ':' && all_digits(word, 1)) {
            const size_t label = static_cast<size_t>(std::atoi(word.c_str() + 1));
            if (label >= labels.size()) labels.resize(label + 1, -1);
            if (labels[label] >= 0) return fail("the label " + word + " appears twice");
            labels[label] = static_cast<int>(ops_.size());
            straight = false;
            continue;
        }
        if (lower[0] == 'g' && all_digits(lower, 1)) {
            jumps.emplace_back(static_cast<int>(ops_.size()), std::atoi(word.c_str() + 1));
            emit(JUMP, -1);
            jumped = true;
            continue;
        }
        // Registers: sN stores the top without taking it, spN takes it, lN loads.
        const size_t digits = lower.compare(0, 2, "sp") == 0 ? 2 : 1;
        if ((lower[0] == 's' || lower[0] == 'l') && all_digits(lower, digits)) {
            const int number = std::atoi(lower.c_str() + digits);
            if (number >= SCRIPT_REGISTERS)
                return fail("registers are numbered 0 to " + std::to_string(SCRIPT_REGISTERS - 1));
            emit(lower[0] == 'l' ? LOAD : digits == 2 ? STORE_POP : STORE, number);
            continue;
        }
        double number = 0;
        if (parse_number(word, number)) {
            numbers_.push_back(number);
            emit(PUSH_NUMBER, static_cast<int32_t>(numbers_.size() - 1));
            continue;
        }
        bool known = false;
        for (const Word& entry : words()) {
            if (lower == entry.text) {
                emit(entry.code);
                if (entry.code == QUIT) jumped = true;
                known = true;
                break;
            }
        }
        if (known) continue;
        if (lower[0] == 'p' && all_digits(lower, 1))
            return fail("the preview does not model " + word +
                            ", the parameter a newer simulator passes to an input event's script",
                        true);
        if (word == "@")
            return fail(
                "the preview does not model '@' without a macro name (newer simulators' "
                "templates)",
                true);
        if (word[0] == '@') return fail("no macro named " + word.substr(1));
        if (word.find_first_of("{}") != std::string::npos)
            return fail("braces stand apart from the words around them, as in 'if{ 1 }'");
        return fail("not a word of the gauge language");
    }
    if (!blocks.empty()) {
        const ScriptToken& open = tokens_[ops_[blocks.back().jump].token];
        error = ScriptError{open.line, open.text, "a block without its closing '}'"};
        return false;
    }
    for (const auto& jump : jumps) {
        const size_t label = static_cast<size_t>(jump.second);
        if (label >= labels.size() || labels[label] < 0) {
            const ScriptToken& from = tokens_[ops_[jump.first].token];
            error =
                ScriptError{from.line, from.text,
                            "jumps to :" + std::to_string(label) + ", which is not in the script"};
            return false;
        }
        ops_[jump.first].operand = labels[label];
    }
    compiled_ = true;
    return true;
}

void scan_variables(const std::string& text, std::vector<VariableRef>& reads,
                    std::vector<VariableRef>& writes) {
    std::vector<ScriptToken> tokens;
    ScriptError error;
    tokenize_script(text, tokens, error);
    for (const ScriptToken& token : tokens) {
        if (token.text[0] != '(' || token.text.compare(0, 2, "(*") == 0) continue;
        std::string inside = trim_text(token.text.substr(1, token.text.size() - 2));
        const bool writing = !inside.empty() && inside[0] == '>';
        if (writing) inside = inside.substr(1);
        VariableRef ref;
        std::string why;
        if (parse_variable_ref(inside, ref, why)) (writing ? writes : reads).push_back(ref);
    }
}
