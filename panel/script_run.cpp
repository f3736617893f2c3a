// Running compiled gauge scripts: the interpreter's loop, with the words most panels use, and
// a function of its own for the seldom ones. Which code runs where comes from the word table
// (panel/script_words.h); a code of the table that one of the switches below leaves out does
// not compile.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "panel/script.h"

#pragma GCC diagnostic error "-Wswitch"

namespace {

int32_t to_int32(double value) {
    if (!std::isfinite(value)) return 0;
    const double low = std::fmod(std::trunc(value), 4294967296.0);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(low)));
}

constexpr double PI_VALUE = 3.14159265358979323846;

// Case labels of the table's codes by where they run, and of all the others.
#define CASE_LOOP_LOOP(code) case Script::code:
#define CASE_LOOP_BINARY(code)
#define CASE_LOOP_SELDOM(code)
#define CASE_BINARY_LOOP(code)
#define CASE_BINARY_BINARY(code) case Script::code:
#define CASE_BINARY_SELDOM(code)
#define CASE_SELDOM_LOOP(code)
#define CASE_SELDOM_BINARY(code)
#define CASE_SELDOM_SELDOM(code) case Script::code:
#define NOT_LOOP_LOOP(code)
#define NOT_LOOP_BINARY(code) case Script::code:
#define NOT_LOOP_SELDOM(code) case Script::code:
#define NOT_BINARY_LOOP(code) case Script::code:
#define NOT_BINARY_BINARY(code)
#define NOT_BINARY_SELDOM(code) case Script::code:
#define NOT_SELDOM_LOOP(code) case Script::code:
#define NOT_SELDOM_BINARY(code) case Script::code:
#define NOT_SELDOM_SELDOM(code)
#define BINARY_CASE(code, spellings, operands, results, where, what) CASE_BINARY_##where(code)
#define SELDOM_CASE(code, spellings, operands, results, where, what) CASE_SELDOM_##where(code)
#define NOT_BINARY_CASE(code, spellings, operands, results, where, what) NOT_BINARY_##where(code)
#define NOT_SELDOM_CASE(code, spellings, operands, results, where, what) NOT_SELDOM_##where(code)

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
            // "low high x rng": the bounds first and the value on top, as in the one working
            // script known, "163 176 (A:ANGLE OF ATTACK INDICATOR, Degree) rng"; bounds given
            // high before low mean the same range.
            const double x = Running::number(r.pop());
            const double b = Running::number(r.pop());
            const double a = Running::number(r.pop());
            r.push_number(std::fmin(a, b) <= x && x <= std::fmax(a, b));
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
            SCRIPT_WORDS(NOT_SELDOM_CASE)
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
            case EVENT2: {
                const double second = Running::number(r.pop());
                host.write_event(op.operand, Running::number(r.pop()), second);
                break;
            }
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
            case ROUND:
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
                SCRIPT_WORDS(SELDOM_CASE)
                run_seldom(r, op.code);
                break;
                SCRIPT_WORDS(BINARY_CASE) {
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
                            SCRIPT_WORDS(NOT_BINARY_CASE)
                            break;
                    }
                    break;
                }
        }
    }
    return stack.empty() ? 0.0 : Running::number(stack.back());
}

const std::string* Script::top_text(const ScriptMachine& machine) const {
    if (machine.stack.empty() || machine.stack.back().text < 0) return nullptr;
    const size_t index = static_cast<size_t>(machine.stack.back().text);
    if (index < texts_.size()) return &texts_[index];
    return index - texts_.size() < machine.strings.size() ? &machine.strings[index - texts_.size()]
                                                          : nullptr;
}
