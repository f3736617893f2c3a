// Scenario files: what the parser accepts and how it refuses a malformed line, and a scenario
// run through the host against the module.
#include "host/scenario.h"

#include <sstream>

#include "e2e/module_fixture.h"

namespace {

bool parse(const std::string& text, Scenario& scenario, std::string& error) {
    std::istringstream in(text);
    return parse_scenario("panel.scn", in, scenario, error);
}

TEST(ScenarioParseTest, ReadsEveryStepKindWithCommentsAndBlankLines) {
    Scenario s;
    std::string error;
    ASSERT_TRUE(
        parse("# a panel\nconnect\n\nupdate\nupdate 3   # three\nwait 0.5\n"
              "write -107\nwrite 1e3\nwrite nan\nwrite -inf\nexpect 260\nservice 4\n"
              "service 0x10\nlose\nDISCONNECT\n",
              s, error))
        << error;
    ASSERT_EQ(s.steps.size(), 13u);
    EXPECT_EQ(s.steps[0].kind, ScenarioStep::CONNECT);
    EXPECT_EQ(s.steps[1].value, 1);
    EXPECT_EQ(s.steps[2].value, 3);
    EXPECT_EQ(s.steps[2].line, 5);
    EXPECT_EQ(s.steps[3].value, 0.5);
    EXPECT_EQ(s.steps[4].value, -107);
    EXPECT_EQ(s.steps[5].value, 1000);
    EXPECT_TRUE(std::isnan(s.steps[6].value));
    EXPECT_EQ(s.steps[7].value, -INFINITY);
    EXPECT_EQ(s.steps[9].value, 4);
    EXPECT_EQ(s.steps[10].value, 16);
    EXPECT_EQ(s.steps[11].kind, ScenarioStep::LOSE);
    EXPECT_EQ(s.steps[12].kind, ScenarioStep::DISCONNECT);
}

TEST(ScenarioParseTest, AMalformedLineIsRefusedWithItsFileLineAndWhatWasExpected) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"connect\nplay 7\n",
         "panel.scn:2: expected a step (connect, disconnect, service, update, wait, write, "
         "expect, lose, set or click), got 'play 7'"},
        // A slip of the keyboard is named for what it was meant to be.
        {"wiat 1\n", "click), got 'wiat 1': did you mean 'wait'?"},
        {"updat\n", "got 'updat': did you mean 'update'?"},
        {"Conect\n", "got 'Conect': did you mean 'connect'?"},
        {"sett A:X 1\n", "did you mean 'set'?"},
        {"write\n", "panel.scn:1: expected a number, nan, inf or -inf after 'write', got 'write'"},
        {"write 0x10\n", "panel.scn:1: expected a number"},
        {"write 7 8\n", "panel.scn:1: expected one argument at most"},
        {"expect seven\n", "panel.scn:1: expected a number"},
        {"update -1\n", "panel.scn:1: expected a count of updates"},
        {"update 2.5\n", "panel.scn:1: expected a count of updates"},
        {"wait -1\n", "panel.scn:1: expected seconds"},
        {"wait nan\n", "panel.scn:1: expected seconds"},
        {"service\n", "panel.scn:1: expected a service code"},
        {"connect now\n", "panel.scn:1: expected no argument after 'connect'"},
    };
    for (const auto& c : cases) {
        Scenario s;
        std::string error;
        EXPECT_FALSE(parse(c.text, s, error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << " gave: " << error;
    }
}

using ScenarioRunTest = ModuleTest;

TEST_F(ScenarioRunTest, AnExpectationThatDoesNotHoldStopsTheRunAtItsLine) {
    default_slot_tone(7);
    host_->add_gauge("");
    Scenario s;
    std::string error;
    ASSERT_TRUE(
        parse("connect\nupdate 2\nwrite -260\nupdate\nexpect -260\nwrite 7\nexpect 7\n"
              "update\nexpect 7\nwrite 8\n",
              s, error));
    RunSettings settings;
    settings.variable_name = "jvb_cuebox_id";
    std::string failure;
    EXPECT_FALSE(run_scenario(*host_, s, settings, *trace_, failure));
    EXPECT_EQ(failure, "panel.scn:9: expected jvb_cuebox_id = 7, found 260");
    EXPECT_EQ(count("gauge_write"), 2u);  // the run stopped before the last write
}

}  // namespace
