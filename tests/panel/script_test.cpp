// The gauge script language: each family of words, and what authors trip over (a division by
// zero, an empty stack, if{ without a condition, unknown words, syntax faults, nested blocks).
#include "panel/script.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <regex>

namespace {

// Variables in a map by kind and name; writes and events are recorded.
struct TestHost : ScriptHost {
    std::vector<VariableRef> bound;
    std::map<std::string, double> values;  // by "L:name" in lower case
    std::vector<std::pair<std::string, double>> written;

    int bind(const VariableRef& variable, std::string& why) override {
        if (variable.kind == 'P' && variable.name == "REFUSED") {
            why = "refused by the host";
            return -1;
        }
        bound.push_back(variable);
        return static_cast<int>(bound.size()) - 1;
    }
    std::string key(int handle) const {
        return std::string(1, bound[handle].kind) + ":" + bound[handle].key();
    }
    double read(int handle) override { return values[key(handle)]; }
    void write(int handle, double value) override {
        values[key(handle)] = value;
        written.emplace_back(key(handle), value);
    }
    void write_event(int handle, double first, double second) override {
        written.emplace_back(key(handle), first);
        written.emplace_back(key(handle), second);
    }
};

class ScriptTest : public ::testing::Test {
  protected:
    // Compiles and runs `text` once; the result is the value left on top.
    double run(const std::string& text, long step_limit = SCRIPT_STEP_LIMIT) {
        report_ = ScriptRunReport();
        ScriptError error;
        EXPECT_TRUE(script_.compile(text, host_, error))
            << text << ": " << error.message << " at '" << error.token << "'";
        return script_.run(host_, machine_, report_, step_limit);
    }
    // The error of a script that must not compile.
    ScriptError refused(const std::string& text) {
        ScriptError error;
        EXPECT_FALSE(script_.compile(text, host_, error)) << text;
        EXPECT_FALSE(script_.compiled());
        return error;
    }
    // The token where an issue first happened in the last run.
    std::string issue_token(ScriptIssue issue) const {
        return script_.token_text(report_.token[issue]);
    }

    TestHost host_;
    Script script_;
    ScriptMachine machine_;
    ScriptRunReport report_;
};

TEST_F(ScriptTest, NumbersAndStrings) {
    EXPECT_EQ(run("42"), 42);
    EXPECT_EQ(run("-7"), -7);
    EXPECT_EQ(run("+2.5"), 2.5);
    EXPECT_EQ(run(".5"), 0.5);
    EXPECT_EQ(run("1e3"), 1000);
    EXPECT_EQ(run("0x1F"), 31);
    EXPECT_EQ(run("-0x10"), -16);
    EXPECT_EQ(run("0XfF"), 255);
    EXPECT_EQ(run("'a string' 3"), 3);
    EXPECT_EQ(run("'two words' 'two words' =="), 1);
    EXPECT_EQ(run("'abc' 'abd' <"), 1);
    EXPECT_EQ(report_.issues, 0u);
    for (const char* bad : {"1.2.3", "0x", "0xZZ", "1e", "--1", "nan", "inf", "12abc"}) {
        EXPECT_EQ(refused(bad).message, "not a word of the gauge language") << bad;
    }
}

TEST_F(ScriptTest, ArithmeticTakesItsOperandsInTheOrderWritten) {
    EXPECT_EQ(run("7 2 -"), 5);
    EXPECT_EQ(run("7 2 /"), 3.5);
    EXPECT_EQ(run("7 2 %"), 1);
    EXPECT_EQ(run("-7 2 %"), -1);
    EXPECT_EQ(run("2 3 pow"), 8);
    EXPECT_EQ(run("3 4 * 1 +"), 13);
    EXPECT_EQ(run("3 neg"), -3);
    EXPECT_EQ(run("3 /-/"), -3);
    EXPECT_EQ(run("-3.5 abs"), 3.5);
    EXPECT_EQ(run("-2.5 flr"), -3);
    EXPECT_EQ(run("2.1 ceil"), 3);
    EXPECT_EQ(run("2.5 near"), 3);
    EXPECT_EQ(run("-2.5 near"), -3);
    EXPECT_EQ(run("2.4 near"), 2);
    EXPECT_EQ(run("3 9 min"), 3);
    EXPECT_EQ(run("3 9 max"), 9);
    EXPECT_EQ(run("16 sqrt"), 4);
    EXPECT_EQ(run("5 ++"), 6);
    EXPECT_EQ(run("5 --"), 4);
    EXPECT_EQ(report_.issues, 0u);
}

TEST_F(ScriptTest, WhatHasNoValueGivesZeroAndIsReported) {
    EXPECT_EQ(run("5 0 /"), 0);
    EXPECT_TRUE(report_.has(ISSUE_DIVIDE_BY_ZERO));
    EXPECT_EQ(issue_token(ISSUE_DIVIDE_BY_ZERO), "/");
    EXPECT_EQ(run("5 0 % 1 +"), 1);  // the script goes on with the 0
    EXPECT_TRUE(report_.has(ISSUE_DIVIDE_BY_ZERO));
    EXPECT_EQ(run("-1 sqrt"), 0);
    EXPECT_TRUE(report_.has(ISSUE_NOT_A_NUMBER));
    EXPECT_EQ(run("0 -1 pow"), 0);
    EXPECT_TRUE(report_.has(ISSUE_NOT_A_NUMBER));
    EXPECT_EQ(run("10 400 pow"), 0);
    EXPECT_TRUE(report_.has(ISSUE_NOT_A_NUMBER));
    // An empty stack reads 0 wherever a value is taken.
    EXPECT_EQ(run("+"), 0);
    EXPECT_TRUE(report_.has(ISSUE_EMPTY_STACK));
    EXPECT_EQ(run("3 -"), -3);  // the missing value under the 3 reads 0
    EXPECT_EQ(run("p p 4"), 4);
    EXPECT_TRUE(report_.has(ISSUE_EMPTY_STACK));
    EXPECT_EQ(issue_token(ISSUE_EMPTY_STACK), "p");
    EXPECT_EQ(run(""), 0);
    EXPECT_EQ(report_.issues, 0u);
}

TEST_F(ScriptTest, ComparisonsGiveOneOrZeroInBothSpellings) {
    const struct {
        const char* symbol;
        const char* word;
        int less, same, more;  // for 1 2, 2 2, 3 2
    } cases[] = {
        {"==", "eq", 0, 1, 0}, {"!=", "ne", 1, 0, 1}, {"<", "lt", 1, 0, 0},
        {">", "gt", 0, 0, 1},  {"<=", "le", 1, 1, 0}, {">=", "ge", 0, 1, 1},
    };
    for (const auto& c : cases) {
        for (const char* op : {c.symbol, c.word}) {
            EXPECT_EQ(run(std::string("1 2 ") + op), c.less) << op;
            EXPECT_EQ(run(std::string("2 2 ") + op), c.same) << op;
            EXPECT_EQ(run(std::string("3 2 ") + op), c.more) << op;
        }
    }
    EXPECT_EQ(run("1 2 LT"), 1);  // words in any letter case
}

TEST_F(ScriptTest, LogicAndBits) {
    EXPECT_EQ(run("1 2 &&"), 1);
    EXPECT_EQ(run("1 0 and"), 0);
    EXPECT_EQ(run("0 0 ||"), 0);
    EXPECT_EQ(run("0 -3 or"), 1);
    EXPECT_EQ(run("0 !"), 1);
    EXPECT_EQ(run("0.5 not"), 0);
    EXPECT_EQ(run("12 10 &"), 8);
    EXPECT_EQ(run("12 10 |"), 14);
    EXPECT_EQ(run("12 10 ^"), 6);
    EXPECT_EQ(run("0 ~"), -1);
    EXPECT_EQ(run("1 4 <<"), 16);
    EXPECT_EQ(run("-16 2 >>"), -4);
    EXPECT_EQ(run("1 31 <<"), -2147483648.0);
    EXPECT_EQ(run("1 33 <<"), 2);  // the count is taken modulo 32
    EXPECT_EQ(run("7.9 1 &"), 1);  // bits of the value truncated
    EXPECT_EQ(run("4294967303 0xFF &"), 7);
    EXPECT_EQ(report_.issues, 0u);
}

TEST_F(ScriptTest, StackWordsAndRegisters) {
    EXPECT_EQ(run("3 d *"), 9);
    EXPECT_EQ(run("1 2 r -"), 1);
    EXPECT_EQ(run("1 2 p"), 1);
    EXPECT_EQ(run("1 2 3 c 4"), 4);
    EXPECT_EQ(run("1 2 3 c +"), 0);
    EXPECT_TRUE(report_.has(ISSUE_EMPTY_STACK));
    // s0 keeps the value on the stack, sp0 takes it.
    EXPECT_EQ(run("5 s0 l0 +"), 10);
    EXPECT_EQ(run("5 sp0 l0 l0 *"), 25);
    EXPECT_EQ(run("5 sp0 7"), 7);
    EXPECT_EQ(run("6 s49 p l49"), 6);
    // Registers start at 0 at every run.
    EXPECT_EQ(run("l0 l49 +"), 0);
    EXPECT_EQ(refused("1 s50").message, "registers are numbered 0 to 49");
}

TEST_F(ScriptTest, IfAndElseBlocksNest) {
    EXPECT_EQ(run("1 if{ 10 } els{ 20 }"), 10);
    EXPECT_EQ(run("0 if{ 10 } els{ 20 }"), 20);
    EXPECT_EQ(run("0 if{ 10 } 30"), 30);
    EXPECT_EQ(run("1 if{ 0 if{ 1 } els{ 2 } } els{ 3 }"), 2);
    EXPECT_EQ(run("0 if{ 1 if{ 1 } els{ 2 } } els{ 1 if{ 4 } els{ 5 } }"), 4);
    EXPECT_EQ(run("1 if{ 1 if{ 0 if{ 6 } els{ 7 } } }"), 7);
    EXPECT_EQ(run("1 IF{ 8 } ELS{ 9 }"), 8);
    EXPECT_EQ(report_.issues, 0u);
    // if{ without a condition takes 0 from the empty stack: the block is skipped.
    EXPECT_EQ(run("if{ 1 } els{ 2 }"), 2);
    EXPECT_TRUE(report_.has(ISSUE_EMPTY_STACK));
    EXPECT_EQ(issue_token(ISSUE_EMPTY_STACK), "if{");
}

TEST_F(ScriptTest, BlocksThatDoNotMatchAreRefusedWithTheirToken) {
    EXPECT_EQ(refused("1 if{ 2").message, "a block without its closing '}'");
    EXPECT_EQ(refused("1 if{ 2").token, "if{");
    EXPECT_EQ(refused("1 }").message, "a '}' without its if{ or els{");
    EXPECT_EQ(refused("els{ 1 }").message, "els{ without an if{ ... } just before it");
    EXPECT_EQ(refused("1 if{ 2 } 3 els{ 4 }").message, "els{ without an if{ ... } just before it");
    EXPECT_EQ(refused("1 if{ 2 } els{ 3 } els{ 4 }").message,
              "els{ without an if{ ... } just before it");
    // Tokens stand apart: "if{2}" is no if{.
    EXPECT_EQ(refused("1 if{2}").message,
              "braces stand apart from the words around them, as in 'if{ 1 }'");
}

TEST_F(ScriptTest, QuitAndJumps) {
    EXPECT_EQ(run("1 quit 2"), 1);
    EXPECT_EQ(run("1 if{ 5 quit } 6"), 5);
    // A loop: count register 0 up to 10.
    EXPECT_EQ(run("0 sp0 :1 l0 1 + sp0 l0 10 < if{ g1 } l0"), 10);
    EXPECT_EQ(run("g2 1 :2 3"), 3);
    EXPECT_EQ(refused("g3 :2").message, "jumps to :3, which is not in the script");
    EXPECT_EQ(refused(":1 :1").message, "the label :1 appears twice");
    // A loop that never ends is stopped at the step limit, and the run still ends.
    run(":0 g0", 1000);
    EXPECT_TRUE(report_.has(ISSUE_STEP_LIMIT));
    EXPECT_EQ(issue_token(ISSUE_STEP_LIMIT), "g0");
    // One that pushes without end stops when the stack is full.
    run(":0 1 g0");
    EXPECT_TRUE(report_.has(ISSUE_STACK_FULL));
    EXPECT_LE(machine_.stack.size(), SCRIPT_STACK_LIMIT);
}

TEST_F(ScriptTest, CaseTakesTheSelectorFromTheTopThenTheCount) {
    // The values, then the count, then the selector: the value written last is 0.
    const double degrees[] = {10, 20, 25, 30};
    for (int flaps = 0; flaps < 4; ++flaps) {
        host_.values["A:flaps handle index"] = flaps;
        EXPECT_EQ(run("30 25 20 10 4 (A:Flaps handle index,number) case"), degrees[flaps]);
    }
    EXPECT_EQ(run("1 2 3 3 1 case"), 2);
    EXPECT_EQ(run("99 30 20 10 3 2 case +"), 129);  // only the three values are taken
    EXPECT_EQ(run("'c' 'b' 'a' 3 1 case 'b' =="), 1);
    EXPECT_EQ(report_.issues, 0u);
    for (const char* outside : {"30 20 10 3 3 case", "30 20 10 3 -1 case", "10 -4 0 case"}) {
        EXPECT_EQ(run(outside), 0) << outside;
        EXPECT_TRUE(report_.has(ISSUE_CASE_RANGE)) << outside;
    }
    EXPECT_EQ(run("10 5 1 case"), 0);  // fewer values than the count
    EXPECT_TRUE(report_.has(ISSUE_EMPTY_STACK));
    EXPECT_EQ(run("1 1e9 0 case"), 1);  // a count beyond all reason takes what there is
    EXPECT_TRUE(report_.has(ISSUE_EMPTY_STACK));
}

TEST_F(ScriptTest, MathWords) {
    const double pi = 3.14159265358979323846;
    const struct {
        const char* script;
        double result;
    } cases[] = {
        {"-2.7 int", -2},
        {"-2.75 frac", -0.75},
        {"-3 sqr", 9},
        {"1 exp", std::exp(1)},
        {"1 exp ln", 1},
        {"1000 lg", 3},
        {"8 2 log", 3},
        {"pi", pi},
        {"eps 1 + 1 -", 2.220446049250313e-16},
        {"30 dgrd sin", 0.5},
        {"pi cos", -1},
        {"45 dgrd tg", 1},
        {"45 dgrd ctg", 1},
        {"1 asin rddg", 90},
        {"-1 acos", pi},
        {"1 atg rddg", 45},
        {"1 -1 atg2 rddg", 135},
        {"-1 0 atg2", -pi / 2},
        {"-90 dnor", 270},
        {"725 dnor", 5},
        {"360 dnor", 0},
        {"-1 rnor", 2 * pi - 1},
        {"7 2 div", 3},
        {"-7 2 div", -3},
        {"1 9 5 rng", 1},
        {"1 9 9 rng", 1},
        {"1 9 1 rng", 1},
        {"1 9 10 rng", 0},
        {"9 1 5 rng", 1},
        {"163 176 162 rng", 0},
        {"3 4 1 ?", 3},
        {"0 100 1 ?", 0},
        {"3 4 0 ?", 4},
        {"1 2 + p b", 3},
        {"5 p 6 p b b +", 12},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(run(c.script), c.result, 1e-12) << c.script;
        EXPECT_EQ(report_.issues, 0u) << c.script;
    }
    for (const char* nothing : {"0 ln", "2 asin", "0 ctg", "-1 lg", "0 exp 1 log"}) {
        EXPECT_EQ(run(nothing), 0) << nothing;
        EXPECT_TRUE(report_.has(ISSUE_NOT_A_NUMBER)) << nothing;
    }
    EXPECT_EQ(run("1 0 div"), 0);
    EXPECT_TRUE(report_.has(ISSUE_DIVIDE_BY_ZERO));
}

TEST_F(ScriptTest, StringWords) {
    const struct {
        const char* script;
        const char* text;  // the string left on top, or null for a number
        double number;
    } cases[] = {
        {"'Flaps' lc", "flaps", 0},
        {"'Flaps' uc", "FLAPS", 0},
        {"'fLAPS up' cap", "Flaps up", 0},
        {"65 chr", "A", 0},
        {"'A' ord", nullptr, 65},
        {"'' ord", nullptr, 0},
        {"'gear ' 'down' scat", "gear down", 0},
        {"'gear' 3 scat", "gear3", 0},
        {"'gear' 'a' schr", nullptr, 2},
        {"'gear' 97 schr", nullptr, 2},
        {"'gear' 'x' schr", nullptr, -1},
        {"'abc' 'abd' scmp", nullptr, -1},
        {"'abc' 'ABC' scmp", nullptr, 1},
        {"'abc' 'ABC' scmi", nullptr, 0},
        {"'landing gear' 'gear' sstr", nullptr, 8},
        {"'landing gear' 'flaps' sstr", nullptr, -1},
        {"'landing gear' 8 4 ssub", "gear", 0},
        {"'landing gear' 8 99 ssub", "gear", 0},
        {"'landing gear' -3 4 ssub", "land", 0},
        {"'gear' 1 symb", "e", 0},
        {"'gear' 4 symb", "", 0},
        {"'x' 'y' scat s0 p l0 'xy' ==", nullptr, 1},
    };
    for (const auto& c : cases) {
        if (c.text) {
            EXPECT_EQ(run(std::string(c.script) + " '" + c.text + "' =="), 1) << c.script;
        } else {
            EXPECT_EQ(run(c.script), c.number) << c.script;
        }
        EXPECT_EQ(report_.issues, 0u) << c.script;
    }
}

TEST_F(ScriptTest, SyntaxFaultsAreFoundAtTheirLine) {
    const struct {
        const char* script;
        int line;
        const char* token;
        const char* message;
    } cases[] = {
        // The ')' of the next line's key event would close the variable and hide the event.
        {"1 (>L:x, number\n2 (>K:SOME_EVENT)", 1, "(>L:x, number", "a '(' without its ')'"},
        {"1 (>L:x, number (>K:A)", 1, "(>L:x, number ",
         "a '(' without its ')': another '(' comes first"},
        {"1\n2 )", 2, ")", "a ')' without its '('"},
        {"1\n(L:x) 2) +", 2, ")", "a ')' without its '('"},
        {"'open\n' 1", 1, "'open", "a string without its closing quote"},
        {"1 if{\n2 if{ 3 }", 1, "if{", "a block without its closing '}'"},
        {"1 if{ 2 } }", 1, "}", "a '}' without its if{ or els{"},
    };
    for (const auto& c : cases) {
        const ScriptError error = refused(c.script);
        EXPECT_EQ(error.line, c.line) << c.script;
        EXPECT_EQ(error.token, c.token) << c.script;
        EXPECT_EQ(error.message, c.message) << c.script;
    }
}

TEST_F(ScriptTest, VariablesAreReadAndWrittenThroughTheHost) {
    host_.values["A:gear handle position"] = 1;
    host_.values["A:general eng rpm:2"] = 2400;
    EXPECT_EQ(run("(A:GEAR HANDLE POSITION, bool) (A:general eng rpm:2,rpm) +"), 2401);
    EXPECT_EQ(host_.bound[1].index, 2);
    EXPECT_EQ(host_.bound[1].unit, "rpm");
    run("7 (>L:My Sound, number) (L:my sound,number) 1 + (> L:other)");
    EXPECT_EQ(host_.values["L:my sound"], 7);
    EXPECT_EQ(host_.values["L:other"], 8);
    run("(L:x)(L:x)+(>G:Var1)");  // parentheses end a token without a space
    EXPECT_EQ(host_.written.back().first, "G:var1");
    // A K: event takes its parameter when there is one, and nothing from an empty stack.
    host_.written.clear();
    run("(>K:TOGGLE_MASTER_BATTERY) 25 (>K:FLAPS_SET)");
    ASSERT_EQ(host_.written.size(), 2u);
    EXPECT_EQ(host_.written[0], (std::pair<std::string, double>("K:toggle_master_battery", 0)));
    EXPECT_EQ(host_.written[1].second, 25);
    EXPECT_EQ(report_.issues, 0u);
    // A newer simulator's key event of two parameters takes both, the first written first; a
    // unit after a key event is dropped.
    host_.written.clear();
    run("1 3 (>K:2:STROBES_SET) (>K:LANDING_LIGHTS_SET, Bool)");
    ASSERT_EQ(host_.written.size(), 3u);
    EXPECT_EQ(host_.written[0], (std::pair<std::string, double>("K:strobes_set:2", 1)));
    EXPECT_EQ(host_.written[1].second, 3);
    EXPECT_EQ(host_.bound[host_.bound.size() - 2].text(), "K:2:STROBES_SET");
    EXPECT_EQ(host_.bound.back().text(), "K:LANDING_LIGHTS_SET");
    EXPECT_EQ(report_.issues, 0u);
}

TEST_F(ScriptTest, VariablesThatCannotBeUsedSoAreRefused) {
    EXPECT_EQ(refused("1 (>A:GEAR HANDLE POSITION, bool)").message, "A: variables are read-only");
    EXPECT_EQ(refused("1 (>P:ABSOLUTE TIME, seconds)").message, "P: variables are read-only");
    EXPECT_EQ(refused("(K:FLAPS_SET)").message,
              "K: events are sent, not read: write (>K:FLAPS_SET)");
    EXPECT_NE(refused("(C:fs9gps:WaypointsNumber)").message.find("does not model C:"),
              std::string::npos);
    EXPECT_NE(refused("(M:X)").message.find("does not model M: variables (the mouse)"),
              std::string::npos);
    EXPECT_EQ(refused("(L:, number)").message, "the variable has no name");
    EXPECT_EQ(refused("(P:REFUSED)").message, "refused by the host");
    EXPECT_EQ(refused("1 (>L:x, number").message, "a '(' without its ')'");
    EXPECT_EQ(refused("'open").message, "a string without its closing quote");
}

TEST_F(ScriptTest, AnUnknownTokenIsNamedWithItsLine) {
    const ScriptError error = refused("1 if{\n  2 (>L:a)\n  3 bogus 4\n}");
    EXPECT_EQ(error.token, "bogus");
    EXPECT_EQ(error.line, 3);
    EXPECT_EQ(error.message, "not a word of the gauge language");
    EXPECT_EQ(refused("@cue").message, "no macro named cue");
    // A script that did not compile runs nothing.
    EXPECT_EQ(script_.run(host_, machine_, report_), 0);
    EXPECT_TRUE(host_.written.empty());
}

// What a newer simulator runs but the preview does not model stops the script at that word,
// said as the preview's limit and not as the author's mistake; what the simulator computes as
// the preview does but an author may not mean (a word short of values reads 0) is a note of a
// script that runs.
TEST_F(ScriptTest, WhatTheSimulatorAcceptsIsNeverCalledAMistake) {
    const struct {
        const char* script;
        bool runs;
        const char* token;  // of the error, or of the first note; "" for none
        const char* said;
        bool unmodelled;
    } cases[] = {
        {"(* gear light *) 1 (>L:a)", false, "(* gear light *)",
         "the preview does not model (* comments *)", true},
        {"1 (* over\ntwo (lines) *) 2", false, "(* over\ntwo (lines) *)",
         "the preview does not model (* comments *)", true},
        {"p0 (>L:a)", false, "p0", "the preview does not model p0, the parameter", true},
        {"#LIGHT_ON# (>L:a)", false, "#LIGHT_ON#", "the preview does not model #PARAMETERS#", true},
        {"(L:#NAME#, bool)", false, "(L:#NAME#, bool)", "does not model #PARAMETERS#", true},
        {"1 @ 2", false, "@", "the preview does not model '@' without a macro name", true},
        {"(M:X)", false, "(M:X)", "the preview does not model M: variables", true},
        {"1 (>K:3:EVENT)", false, "(>K:3:EVENT)", "does not model key events of 3", true},
        {"@cue", false, "@cue", "no macro named cue", false},
        {"frob", false, "frob", "not a word of the gauge language", false},
        {"'#a#' (>L:a)", true, "", "", false},
        {"(A:X, bool) || (A:Y, bool) ||", true, "||",
         "takes 2 values from a stack that holds 1: the missing ones read 0", false},
        {"(L:x, enum) - 1 ==", true, "-", "takes 2 values from a stack that holds 1", false},
        {"1 (>L:a) if{ 2 (>L:b) }", true, "if{", "takes 1 value from a stack that holds 0", false},
        {"1 2 + s0 (>L:a) l0 d * 1 r - (>L:b)", true, "", "", false},
        {"c 1 +", true, "+", "takes 2 values from a stack that holds 1", false},
        {"1 (>K:LANDING_LIGHTS_SET, Bool)", true, "(>K:LANDING_LIGHTS_SET, Bool)",
         "a key event has no unit: ',Bool' is ignored", false},
        {":1 + g1", true, "", "", false},  // past a label, the stack's depth is not known
    };
    for (const auto& c : cases) {
        ScriptError error;
        EXPECT_EQ(script_.compile(c.script, host_, error), c.runs) << c.script;
        if (c.runs && script_.notes().empty()) {
            EXPECT_STREQ(c.token, "") << c.script;
            continue;
        }
        const ScriptError& said = c.runs ? script_.notes()[0] : error;
        EXPECT_EQ(said.token, c.token) << c.script;
        EXPECT_NE(said.message.find(c.said), std::string::npos) << c.script << ": " << said.message;
        EXPECT_EQ(said.unmodelled, c.unmodelled) << c.script;
    }
}

TEST_F(ScriptTest, WritesAreFoundForTheChecks) {
    run("5 (>L:a)\n"
        "(L:b) (>L:c)\n"
        "1 if{ 6 (>L:d) } els{ 7 (>L:e) }\n"
        "8 (>L:f) quit 9 (>L:g)");
    const std::vector<ScriptWrite>& writes = script_.writes();
    ASSERT_EQ(writes.size(), 6u);
    EXPECT_TRUE(writes[0].always && writes[0].constant && writes[0].value == 5);
    EXPECT_TRUE(writes[1].always && !writes[1].constant);
    EXPECT_TRUE(!writes[2].always && writes[2].constant && writes[2].value == 6);
    EXPECT_EQ(writes[2].line, 3);
    EXPECT_FALSE(writes[3].always);
    EXPECT_TRUE(writes[4].always);
    EXPECT_FALSE(writes[5].always);  // after a quit it may never run
    run("1 g1 :1 2 (>L:a)");
    EXPECT_FALSE(script_.writes()[0].always);
}

// The word table of docs/xml_gauges.md is run as written: every "`SCRIPT` is VALUE" of a row
// (a number, a quoted string or "the empty string") must be what the script leaves on top, so
// a doc edited without the evaluator, or the evaluator without the doc, fails here with the
// doc's line.
TEST_F(ScriptTest, EveryExampleOfTheWordTableGivesItsValue) {
    const std::string doc = CUEBOX_DOCS_DIR "/xml_gauges.md";
    std::ifstream in(doc);
    ASSERT_TRUE(in) << doc;
    const std::regex example(
        "`([^`]+)` is (-?[0-9]+(?:\\.[0-9]+)?(?:e-?[0-9]+)?|`'([^`']*)'`|the empty string)");
    bool in_table = false;
    int line_number = 0, examples = 0;
    for (std::string line; std::getline(in, line);) {
        ++line_number;
        if (line.rfind("| word | what it does", 0) == 0) in_table = true;
        if (!in_table) continue;
        if (line.empty() || line[0] != '|') break;
        for (std::sregex_iterator it(line.begin(), line.end(), example), end; it != end; ++it) {
            const std::smatch& m = *it;
            const std::string where =
                doc + ":" + std::to_string(line_number) + ": `" + m[1].str() + "` is " + m[2].str();
            ++examples;
            if (m[2].str()[0] == '`' || m[2].str() == "the empty string") {
                EXPECT_EQ(run(m[1].str() + " '" + m[3].str() + "' =="), 1) << where;
            } else {
                EXPECT_NEAR(run(m[1].str()), std::stod(m[2].str()), 1e-9) << where;
            }
        }
    }
    EXPECT_TRUE(in_table) << doc << ": no word table";
    EXPECT_GE(examples, 20) << doc << ": the word table lost its examples";
}

}  // namespace
