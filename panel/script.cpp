// Compiling and running gauge scripts.
#include "panel/script.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

enum Script::Code : uint8_t {
    PUSH_NUMBER,
    PUSH_TEXT,
    READ,
    WRITE,
    EVENT,
    ADD,
    SUB,
    MUL,
    DIV,
    MOD,
    MIN,
    MAX,
    POW,
    EQ,
    NE,
    LT,
    GT,
    LE,
    GE,
    AND,
    OR,
    BIT_AND,
    BIT_OR,
    BIT_XOR,
    SHIFT_LEFT,
    SHIFT_RIGHT,
    NEG,
    ABS,
    FLR,
    CEIL,
    NEAR,
    SQRT,
    INC,
    DEC,
    NOT,
    BIT_NOT,
    DUP,
    POP,
    SWAP,
    CLEAR,
    STORE,
    STORE_POP,
    LOAD,
    JUMP,
    JUMP_IF_FALSE,
    QUIT,
    CASE,
    // The math words.
    INT,
    FRAC,
    SQR,
    EXP,
    LN,
    LG,
    LOG,
    SIN,
    COS,
    TG,
    CTG,
    ASIN,
    ACOS,
    ATG,
    ATG2,
    PI,
    EPS,
    RNG,
    DNOR,
    RNOR,
    DGRD,
    RDDG,
    DIV_INT,
    CHOOSE,
    BACK,
    // The string words.
    LC,
    UC,
    CAP,
    CHR,
    ORD,
    SCAT,
    SCHR,
    SCMP,
    SCMI,
    SSTR,
    SSUB,
    SYMB,
};

namespace {

struct Word {
    const char* text;
    Script::Code code;
};

// Operators and stack words, in the letter case authors write them (compared in any case).
const Word WORDS[] = {
    {"+", Script::ADD},         {"-", Script::SUB},          {"*", Script::MUL},
    {"/", Script::DIV},         {"%", Script::MOD},          {"min", Script::MIN},
    {"max", Script::MAX},       {"pow", Script::POW},        {"==", Script::EQ},
    {"eq", Script::EQ},         {"!=", Script::NE},          {"ne", Script::NE},
    {"<", Script::LT},          {"lt", Script::LT},          {">", Script::GT},
    {"gt", Script::GT},         {"<=", Script::LE},          {"le", Script::LE},
    {">=", Script::GE},         {"ge", Script::GE},          {"&&", Script::AND},
    {"and", Script::AND},       {"||", Script::OR},          {"or", Script::OR},
    {"&", Script::BIT_AND},     {"|", Script::BIT_OR},       {"^", Script::BIT_XOR},
    {"<<", Script::SHIFT_LEFT}, {">>", Script::SHIFT_RIGHT}, {"neg", Script::NEG},
    {"/-/", Script::NEG},       {"abs", Script::ABS},        {"flr", Script::FLR},
    {"ceil", Script::CEIL},     {"near", Script::NEAR},      {"sqrt", Script::SQRT},
    {"++", Script::INC},        {"--", Script::DEC},         {"!", Script::NOT},
    {"not", Script::NOT},       {"~", Script::BIT_NOT},      {"d", Script::DUP},
    {"p", Script::POP},         {"r", Script::SWAP},         {"c", Script::CLEAR},
    {"quit", Script::QUIT},     {"case", Script::CASE},      {"int", Script::INT},
    {"frac", Script::FRAC},     {"sqr", Script::SQR},        {"exp", Script::EXP},
    {"ln", Script::LN},         {"lg", Script::LG},          {"log", Script::LOG},
    {"sin", Script::SIN},       {"cos", Script::COS},        {"tg", Script::TG},
    {"ctg", Script::CTG},       {"asin", Script::ASIN},      {"acos", Script::ACOS},
    {"atg", Script::ATG},       {"atg2", Script::ATG2},      {"pi", Script::PI},
    {"eps", Script::EPS},       {"rng", Script::RNG},        {"dnor", Script::DNOR},
    {"rnor", Script::RNOR},     {"dgrd", Script::DGRD},      {"rddg", Script::RDDG},
    {"div", Script::DIV_INT},   {"?", Script::CHOOSE},       {"b", Script::BACK},
    {"lc", Script::LC},         {"uc", Script::UC},          {"cap", Script::CAP},
    {"chr", Script::CHR},       {"ord", Script::ORD},        {"scat", Script::SCAT},
    {"schr", Script::SCHR},     {"scmp", Script::SCMP},      {"scmi", Script::SCMI},
    {"sstr", Script::SSTR},     {"ssub", Script::SSUB},      {"symb", Script::SYMB},
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

int32_t to_int32(double value) {
    if (!std::isfinite(value)) return 0;
    const double low = std::fmod(std::trunc(value), 4294967296.0);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(low)));
}

enum BlockKind { IF_BLOCK, ELSE_BLOCK };
struct Block {
    BlockKind kind;
    int jump;  // the op whose target the block's end sets
    // Variables the if{ condition compares with 260 (the module's idle value): a write to one
    // of them inside the block waits until the module has taken the last command.
    std::vector<std::string> idle_checked;
};

constexpr double IDLE_VALUE = 260;
constexpr double PI_VALUE = 3.14159265358979323846;

}  // namespace

const char* script_issue_text(ScriptIssue issue) {
    switch (issue) {
        case ISSUE_EMPTY_STACK:
            return "a value was taken from an empty stack (it reads 0)";
        case ISSUE_DIVIDE_BY_ZERO:
            return "division by zero (it gives 0)";
        case ISSUE_NOT_A_NUMBER:
            return "the result is not a finite number (it gives 0)";
        case ISSUE_CASE_RANGE:
            return "the case selector is outside its values (it gives 0)";
        case ISSUE_STACK_FULL:
            return "the stack is full: the script stops here";
        case ISSUE_STEP_LIMIT:
            return "the script runs too long (a gN loop?): it stops here";
        default:
            return "?";
    }
}

bool Script::tokenize(const std::string& text, ScriptError& error) {
    int line = 1;
    size_t at = 0;
    auto fail = [&](size_t start, size_t end, const char* message) {
        const size_t stop = std::min({end, text.find('\n', start), start + 40});
        error = ScriptError{line, text.substr(start, stop - start), message};
        return false;
    };
    while (at < text.size()) {
        if (is_blank(text[at])) {
            if (text[at] == '\n') ++line;
            ++at;
            continue;
        }
        const size_t start = at;
        if (text[at] == '(') {
            // A variable is one token, spaces and all, and stands on one line: a '(' whose ')'
            // is missing would otherwise take the next variable's ')' and swallow the words
            // between, a key event or a command among them, without a word said.
            const size_t end = text.find_first_of("()\n", at + 1);
            if (end == std::string::npos || text[end] == '\n')
                return fail(start, end, "a '(' without its ')'");
            if (text[end] == '(')
                return fail(start, end, "a '(' without its ')': another '(' comes first");
            at = end + 1;
        } else if (text[at] == '\'') {
            const size_t end = text.find_first_of("'\n", at + 1);
            if (end == std::string::npos || text[end] == '\n')
                return fail(start, end, "a string without its closing quote");
            at = end + 1;
        } else if (text[at] == ')') {
            return fail(start, start + 1, "a ')' without its '('");
        } else {
            while (at < text.size() && !is_blank(text[at]) && text[at] != '(' && text[at] != ')')
                ++at;
        }
        tokens_.push_back(Token{text.substr(start, at - start), line});
    }
    return true;
}

bool Script::compile(const std::string& text, ScriptHost& host, ScriptError& error) {
    *this = Script();
    if (!tokenize(text, error)) return false;
    std::vector<Block> blocks;
    std::vector<int> labels;                 // op index per label number, -1 when absent
    std::vector<std::pair<int, int>> jumps;  // op index, label number
    int closed_if = -1;                      // the jump of an if{ block that the last token closed
    bool jumped = false;                     // a quit or gN came before
    std::vector<std::pair<int, std::string>> reads;  // op index, variable key
    size_t statement = 0;  // the first op after the last write or block boundary
    for (size_t t = 0; t < tokens_.size(); ++t) {
        const std::string& word = tokens_[t].text;
        const std::string lower = lower_text(word);
        const int token = static_cast<int>(t);
        const int after_if = closed_if;
        closed_if = -1;
        auto fail = [&](const std::string& message) {
            error = ScriptError{tokens_[t].line, word, message};
            return false;
        };
        auto emit = [&](Code code, int32_t operand = 0) {
            ops_.push_back(Op{code, operand, token});
        };
        if (word[0] == '(') {
            std::string inside = word.substr(1, word.size() - 2);
            const bool writing = !inside.empty() && trim_text(inside)[0] == '>';
            if (writing) inside = trim_text(inside).substr(1);
            VariableRef ref;
            std::string why;
            if (!parse_variable_ref(inside, ref, why)) return fail(why);
            if (writing && (ref.kind == 'A' || ref.kind == 'P' || ref.kind == 'E'))
                return fail(std::string(1, ref.kind) + ": variables are read-only");
            if (!writing && ref.kind == 'K')
                return fail("K: events are sent, not read: write (>K:" + ref.name + ")");
            const int handle = host.bind(ref, why);
            if (handle < 0) return fail(why);
            if (!writing) reads.emplace_back(static_cast<int>(ops_.size()), ref.key());
            if (writing) {
                ScriptWrite found;
                found.variable = ref;
                found.line = tokens_[t].line;
                found.always = blocks.empty() && !jumped;
                for (const Block& block : blocks) {
                    for (const std::string& key : block.idle_checked)
                        found.gated = found.gated || (ref.kind == 'L' && key == ref.key());
                }
                if (!ops_.empty() && ops_.back().code == PUSH_NUMBER &&
                    ops_.back().token + 1 == token) {
                    found.constant = true;
                    found.value = numbers_[ops_.back().operand];
                }
                writes_.push_back(found);
            }
            emit(!writing ? READ : ref.kind == 'K' ? EVENT : WRITE, handle);
            if (writing) statement = ops_.size();
            continue;
        }
        if (word[0] == '\'') {
            texts_.push_back(word.substr(1, word.size() - 2));
            emit(PUSH_TEXT, static_cast<int32_t>(texts_.size() - 1));
            continue;
        }
        if (lower == "if{") {
            Block block{IF_BLOCK, static_cast<int>(ops_.size()), {}};
            bool idle = false;
            for (size_t op = statement; op < ops_.size(); ++op) {
                idle = idle ||
                       (ops_[op].code == PUSH_NUMBER && numbers_[ops_[op].operand] == IDLE_VALUE);
            }
            for (const auto& read : reads) {
                if (idle && static_cast<size_t>(read.first) >= statement)
                    block.idle_checked.push_back(read.second);
            }
            blocks.push_back(std::move(block));
            emit(JUMP_IF_FALSE, -1);
            statement = ops_.size();
            continue;
        }
        if (lower == "els{") {
            if (after_if < 0) return fail("els{ without an if{ ... } just before it");
            blocks.push_back(Block{ELSE_BLOCK, static_cast<int>(ops_.size()), {}});
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
        for (const Word& entry : WORDS) {
            if (lower == entry.text) {
                emit(entry.code);
                if (entry.code == QUIT) jumped = true;
                known = true;
                break;
            }
        }
        if (!known) {
            if (word[0] == '@') return fail("no macro named " + word.substr(1));
            if (word.find_first_of("{}") != std::string::npos)
                return fail("braces stand apart from the words around them, as in 'if{ 1 }'");
            return fail("not a word of the gauge language");
        }
    }
    if (!blocks.empty()) {
        const Token& open = tokens_[ops_[blocks.back().jump].token];
        error = ScriptError{open.line, open.text, "a block without its closing '}'"};
        return false;
    }
    for (const auto& jump : jumps) {
        const size_t label = static_cast<size_t>(jump.second);
        if (label >= labels.size() || labels[label] < 0) {
            const Token& from = tokens_[ops_[jump.first].token];
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

namespace {

using Value = ScriptMachine::Value;

// One run's state and the stack's operations, shared by the loop of the common words and the
// function of the seldom ones.
struct Running {
    std::vector<Value>& stack;
    ScriptMachine& machine;
    ScriptRunReport& report;
    const std::vector<std::string>& texts;  // the script's own; the run's follow them
    int end;
    int pc = 0;
    int current = 0;

    void issue(ScriptIssue kind) {
        if (!(report.issues & (1u << kind))) report.token[kind] = current;
        report.issues |= 1u << kind;
    }
    Value pop() {
        if (stack.empty()) {
            issue(ISSUE_EMPTY_STACK);
            return Value{0, -1};
        }
        const Value v = stack.back();
        stack.pop_back();
        machine.last_taken = v;
        return v;
    }
    void push(Value v) {
        if (stack.size() >= SCRIPT_STACK_LIMIT) {
            issue(ISSUE_STACK_FULL);
            pc = end;
            return;
        }
        stack.push_back(v);
    }
    static double number(const Value& v) { return v.text < 0 ? v.number : 0.0; }
    void push_number(double x) { push(Value{x, -1}); }
    // Arithmetic results that are not finite numbers read 0, as a panel goes on with them.
    void push_result(double x) {
        if (!std::isfinite(x)) {
            issue(ISSUE_NOT_A_NUMBER);
            x = 0;
        }
        push_number(x);
    }
    // Strings made by the run follow the script's own in the one index space of Value::text.
    const std::string& text_of(const Value& v) const {
        const int32_t own = static_cast<int32_t>(texts.size());
        return v.text < own ? texts[v.text] : machine.strings[v.text - own];
    }
    // The string words take a number as the text it reads as.
    std::string as_text(const Value& v) const {
        if (v.text >= 0) return text_of(v);
        char digits[32];
        std::snprintf(digits, sizeof digits, "%.15g", v.number);
        return digits;
    }
    void push_text(std::string text) {
        machine.strings.push_back(std::move(text));
        push(Value{0, static_cast<int32_t>(texts.size() + machine.strings.size() - 1)});
    }
    int compare(const Value& a, const Value& b) const {
        if (a.text >= 0 && b.text >= 0) {
            const int c = std::strcmp(text_of(a).c_str(), text_of(b).c_str());
            return c < 0 ? -1 : c > 0 ? 1 : 0;
        }
        const double x = number(a), y = number(b);
        return x < y ? -1 : x > y ? 1 : x == y ? 0 : 2;  // 2: unordered (nan)
    }
};

// The math and string words, which most panels use seldom if at all, apart from the loop of
// the common ones: inside it they made the loop too big for the compiler to keep the stack
// operations inline, and every panel paid for it.
[[gnu::noinline]] void run_seldom(Running& r, Script::Code code) {
    switch (code) {
        case Script::INT:
            r.push_result(std::trunc(Running::number(r.pop())));
            break;
        case Script::FRAC: {
            const double x = Running::number(r.pop());
            r.push_result(x - std::trunc(x));
            break;
        }
        case Script::SQR: {
            const double x = Running::number(r.pop());
            r.push_result(x * x);
            break;
        }
        case Script::EXP:
            r.push_result(std::exp(Running::number(r.pop())));
            break;
        case Script::LN:
            r.push_result(std::log(Running::number(r.pop())));
            break;
        case Script::LG:
            r.push_result(std::log10(Running::number(r.pop())));
            break;
        case Script::SIN:
            r.push_result(std::sin(Running::number(r.pop())));
            break;
        case Script::COS:
            r.push_result(std::cos(Running::number(r.pop())));
            break;
        case Script::TG:
            r.push_result(std::tan(Running::number(r.pop())));
            break;
        case Script::CTG:
            r.push_result(1 / std::tan(Running::number(r.pop())));
            break;
        case Script::ASIN:
            r.push_result(std::asin(Running::number(r.pop())));
            break;
        case Script::ACOS:
            r.push_result(std::acos(Running::number(r.pop())));
            break;
        case Script::ATG:
            r.push_result(std::atan(Running::number(r.pop())));
            break;
        case Script::PI:
            r.push_number(PI_VALUE);
            break;
        case Script::EPS:
            r.push_number(DBL_EPSILON);
            break;
        case Script::DNOR:
        case Script::RNOR: {
            const double turn = code == Script::DNOR ? 360.0 : 2 * PI_VALUE;
            double x = std::fmod(Running::number(r.pop()), turn);
            if (x < 0) x += turn;
            r.push_result(x < turn ? x : 0.0);  // -1e-20 + 360 rounds to 360
            break;
        }
        case Script::DGRD:
            r.push_result(Running::number(r.pop()) * (PI_VALUE / 180));
            break;
        case Script::RDDG:
            r.push_result(Running::number(r.pop()) * (180 / PI_VALUE));
            break;
        case Script::RNG: {
            const double high = Running::number(r.pop());
            const double low = Running::number(r.pop());
            const double x = Running::number(r.pop());
            r.push_number(low <= x && x <= high);
            break;
        }
        case Script::CHOOSE: {
            // "then else condition ?": the value for a true condition is written first, as
            // the toggles of working panels rely on ("0 100 (A:..) 0 > ?" switches off).
            const double condition = Running::number(r.pop());
            const Value otherwise = r.pop();
            const Value then = r.pop();
            r.push(condition != 0 ? then : otherwise);
            break;
        }
        case Script::BACK:
            r.push(r.machine.last_taken);
            break;
        case Script::LC:
        case Script::UC:
        case Script::CAP: {
            std::string text = r.as_text(r.pop());
            for (size_t i = 0; i < text.size(); ++i) {
                const unsigned char c = static_cast<unsigned char>(text[i]);
                const bool upper = code == Script::UC || (code == Script::CAP && i == 0);
                text[i] = static_cast<char>(upper ? std::toupper(c) : std::tolower(c));
            }
            r.push_text(std::move(text));
            break;
        }
        case Script::CHR: {
            const char c = static_cast<char>(to_int32(Running::number(r.pop())) & 0xFF);
            r.push_text(c ? std::string(1, c) : std::string());
            break;
        }
        case Script::ORD: {
            const std::string text = r.as_text(r.pop());
            r.push_number(text.empty() ? 0 : static_cast<unsigned char>(text[0]));
            break;
        }
        case Script::SCAT: {
            const Value b = r.pop();
            const Value a = r.pop();
            r.push_text(r.as_text(a) + r.as_text(b));
            break;
        }
        case Script::SCHR:
        case Script::SSTR: {
            const Value what = r.pop();
            const std::string text = r.as_text(r.pop());
            std::string sought = r.as_text(what);
            if (code == Script::SCHR && what.text < 0)
                sought = std::string(1, static_cast<char>(to_int32(what.number) & 0xFF));
            if (code == Script::SCHR) sought = sought.substr(0, 1);
            const size_t at = sought.empty() ? std::string::npos : text.find(sought);
            r.push_number(at == std::string::npos ? -1.0 : static_cast<double>(at));
            break;
        }
        case Script::SCMP:
        case Script::SCMI: {
            std::string b = r.as_text(r.pop());
            std::string a = r.as_text(r.pop());
            if (code == Script::SCMI) {
                a = lower_text(a);
                b = lower_text(b);
            }
            const int c = a.compare(b);
            r.push_number(c < 0 ? -1 : c > 0 ? 1 : 0);
            break;
        }
        case Script::SSUB: {
            const double length = std::trunc(Running::number(r.pop()));
            const double start = std::trunc(Running::number(r.pop()));
            const std::string text = r.as_text(r.pop());
            const double from = std::fmax(0.0, std::fmin(start, double(text.size())));
            const double count = std::fmax(0.0, std::fmin(length, double(text.size()) - from));
            r.push_text(text.substr(static_cast<size_t>(from), static_cast<size_t>(count)));
            break;
        }
        case Script::SYMB: {
            const double index = std::trunc(Running::number(r.pop()));
            const std::string text = r.as_text(r.pop());
            const bool inside = index >= 0 && index < static_cast<double>(text.size());
            r.push_text(inside ? text.substr(static_cast<size_t>(index), 1) : std::string());
            break;
        }
        case Script::DIV_INT: {
            const double b = Running::number(r.pop());
            const double a = Running::number(r.pop());
            if (b == 0) {
                r.issue(ISSUE_DIVIDE_BY_ZERO);
                r.push_number(0);
            } else {
                r.push_result(std::trunc(a / b));
            }
            break;
        }
        case Script::LOG: {
            // "x base log": the base on top, as the exponent of pow.
            const double base = Running::number(r.pop());
            r.push_result(std::log(Running::number(r.pop())) / std::log(base));
            break;
        }
        case Script::ATG2: {
            // "y x atg2": the angle of the point (x, y), as atan2(y, x).
            const double x = Running::number(r.pop());
            r.push_result(std::atan2(Running::number(r.pop()), x));
            break;
        }
        default:
            break;
    }
}

}  // namespace

double Script::run(ScriptHost& host, ScriptMachine& machine, ScriptRunReport& report,
                   long step_limit) const {
    machine.stack.clear();
    machine.strings.clear();
    machine.last_taken = Value{0, -1};
    for (Value& v : machine.registers) v = Value{0, -1};
    if (!compiled_) return 0;
    Running r{machine.stack, machine, report, texts_, static_cast<int>(ops_.size())};
    std::vector<Value>& stack = machine.stack;
    long steps = 0;
    while (r.pc < r.end) {
        if (++steps > step_limit) {
            r.current = r.pc;
            r.issue(ISSUE_STEP_LIMIT);
            break;
        }
        r.current = r.pc;
        const Op& op = ops_[r.pc++];
        switch (op.code) {
            case PUSH_NUMBER:
                r.push_number(numbers_[op.operand]);
                break;
            case PUSH_TEXT:
                r.push(Value{0, op.operand});
                break;
            case READ:
                r.push_number(host.read(op.operand));
                break;
            case WRITE:
                host.write(op.operand, Running::number(r.pop()));
                break;
            case EVENT:
                host.write(op.operand, stack.empty() ? 0.0 : Running::number(r.pop()));
                break;
            case NEG:
                r.push_number(-Running::number(r.pop()));
                break;
            case ABS:
                r.push_number(std::fabs(Running::number(r.pop())));
                break;
            case FLR:
                r.push_number(std::floor(Running::number(r.pop())));
                break;
            case CEIL:
                r.push_number(std::ceil(Running::number(r.pop())));
                break;
            case NEAR:
                r.push_number(std::round(Running::number(r.pop())));
                break;
            case SQRT:
                r.push_result(std::sqrt(Running::number(r.pop())));
                break;
            case INC:
                r.push_result(Running::number(r.pop()) + 1);
                break;
            case DEC:
                r.push_result(Running::number(r.pop()) - 1);
                break;
            case NOT:
                r.push_number(Running::number(r.pop()) == 0 ? 1 : 0);
                break;
            case BIT_NOT:
                r.push_number(~to_int32(Running::number(r.pop())));
                break;
            case DUP: {
                const Value v = r.pop();
                r.push(v);
                r.push(v);
                break;
            }
            case POP:
                r.pop();
                break;
            case SWAP: {
                const Value b = r.pop();
                const Value a = r.pop();
                r.push(b);
                r.push(a);
                break;
            }
            case CLEAR:
                stack.clear();
                break;
            case STORE:
                if (stack.empty()) r.issue(ISSUE_EMPTY_STACK);
                machine.registers[op.operand] = stack.empty() ? Value{0, -1} : stack.back();
                break;
            case STORE_POP:
                machine.registers[op.operand] = r.pop();
                break;
            case LOAD:
                r.push(machine.registers[op.operand]);
                break;
            case JUMP:
                r.pc = op.operand;
                break;
            case JUMP_IF_FALSE:
                if (Running::number(r.pop()) == 0) r.pc = op.operand;
                break;
            case QUIT:
                r.pc = r.end;
                break;
            case CASE: {
                // The selector on top, then the count, then the values: the one written last
                // is 0, as in "30 25 20 10 4 (A:FLAPS HANDLE INDEX, number) case".
                const double selector = std::trunc(Running::number(r.pop()));
                const double count = Running::number(r.pop());
                long n = std::isfinite(count) && count > 0
                             ? static_cast<long>(std::fmin(count, double{SCRIPT_STACK_LIMIT}))
                             : 0;
                if (!(count >= 0)) r.issue(ISSUE_CASE_RANGE);
                Value chosen{0, -1};
                const bool inside = selector >= 0 && selector < static_cast<double>(n);
                for (long i = 0; i < n; ++i) {
                    const Value v = r.pop();
                    if (inside && i == static_cast<long>(selector)) chosen = v;
                }
                if (!inside) r.issue(ISSUE_CASE_RANGE);
                r.push(chosen);
                break;
            }
            case INT:
            case FRAC:
            case SQR:
            case EXP:
            case LN:
            case LG:
            case LOG:
            case SIN:
            case COS:
            case TG:
            case CTG:
            case ASIN:
            case ACOS:
            case ATG:
            case ATG2:
            case PI:
            case EPS:
            case RNG:
            case DNOR:
            case RNOR:
            case DGRD:
            case RDDG:
            case DIV_INT:
            case CHOOSE:
            case BACK:
            case LC:
            case UC:
            case CAP:
            case CHR:
            case ORD:
            case SCAT:
            case SCHR:
            case SCMP:
            case SCMI:
            case SSTR:
            case SSUB:
            case SYMB:
                run_seldom(r, op.code);
                break;
            default: {
                // The binary operators: b is the top of the stack, a the value below it.
                const Value vb = r.pop();
                const Value va = r.pop();
                const double a = Running::number(va), b = Running::number(vb);
                switch (op.code) {
                    case ADD:
                        r.push_result(a + b);
                        break;
                    case SUB:
                        r.push_result(a - b);
                        break;
                    case MUL:
                        r.push_result(a * b);
                        break;
                    case DIV:
                    case MOD:
                        if (b == 0) {
                            r.issue(ISSUE_DIVIDE_BY_ZERO);
                            r.push_number(0);
                        } else {
                            r.push_result(op.code == DIV ? a / b : std::fmod(a, b));
                        }
                        break;
                    case MIN:
                        r.push_number(std::fmin(a, b));
                        break;
                    case MAX:
                        r.push_number(std::fmax(a, b));
                        break;
                    case POW:
                        r.push_result(std::pow(a, b));
                        break;
                    case EQ:
                        r.push_number(r.compare(va, vb) == 0);
                        break;
                    case NE:
                        r.push_number(r.compare(va, vb) != 0);
                        break;
                    case LT:
                        r.push_number(r.compare(va, vb) == -1);
                        break;
                    case GT:
                        r.push_number(r.compare(va, vb) == 1);
                        break;
                    case LE:
                        r.push_number(r.compare(va, vb) == -1 || r.compare(va, vb) == 0);
                        break;
                    case GE:
                        r.push_number(r.compare(va, vb) == 1 || r.compare(va, vb) == 0);
                        break;
                    case AND:
                        r.push_number(a != 0 && b != 0);
                        break;
                    case OR:
                        r.push_number(a != 0 || b != 0);
                        break;
                    case BIT_AND:
                        r.push_number(to_int32(a) & to_int32(b));
                        break;
                    case BIT_OR:
                        r.push_number(to_int32(a) | to_int32(b));
                        break;
                    case BIT_XOR:
                        r.push_number(to_int32(a) ^ to_int32(b));
                        break;
                    case SHIFT_LEFT:
                        r.push_number(static_cast<int32_t>(static_cast<uint32_t>(to_int32(a))
                                                           << (to_int32(b) & 31)));
                        break;
                    case SHIFT_RIGHT:
                        r.push_number(to_int32(a) >> (to_int32(b) & 31));
                        break;
                    default:
                        break;
                }
                break;
            }
        }
    }
    return stack.empty() ? 0.0 : Running::number(stack.back());
}

void scan_variables(const std::string& text, std::vector<VariableRef>& reads,
                    std::vector<VariableRef>& writes) {
    for (size_t at = text.find('('); at != std::string::npos; at = text.find('(', at + 1)) {
        const size_t end = text.find_first_of("()\n", at + 1);
        if (end == std::string::npos || text[end] != ')') continue;
        std::string inside = trim_text(text.substr(at + 1, end - at - 1));
        const bool writing = !inside.empty() && inside[0] == '>';
        if (writing) inside = inside.substr(1);
        VariableRef ref;
        std::string why;
        if (parse_variable_ref(inside, ref, why)) (writing ? writes : reads).push_back(ref);
    }
}
