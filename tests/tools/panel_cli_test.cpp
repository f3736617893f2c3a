// `cuebox run --panel` and `cuebox check --panel` as an author uses them: a panel, its gauges and
// a timeline on the command line; problems of the panel said with file and line; and each of
// check's panel findings from a panel made to show it.
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>

#include "platform/standin.h"
#include "tools/cli.h"
#include "tools/tool_runner.h"

namespace {

class PanelCliTest : public ToolTest {
  protected:
    // A panel with the module first and one XML gauge `gauge` in Gauges/test/, on a second
    // window too when asked.
    void panel(const std::string& gauge_xml, const std::string& ini = "",
               bool two_windows = false) {
        write_file("Gauges/jvb_cuebox.ini",
                   ini.empty() ? "[Config]\nLVar=cue\n[Sounds]\nSound01=Sound\\one.wav\n" : ini);
        write_tone("Sound/one.wav", 500, 0.3);
        write_file("Gauges/test/gauge.xml", gauge_xml);
        write_file("Aircraft/Plane/panel.cfg",
                   "[Window00]\ngauge00=jvb_cuebox2!jvb_cuebox2, 0, 0\ngauge01=test!gauge, 0, 0\n" +
                       std::string(two_windows ? "[Window01]\ngauge00=test!gauge, 0, 0\n" : ""));
    }
    ToolResult check(const std::vector<std::string>& more = {}) {
        std::vector<std::string> arguments = {"check", "--root", root_, "--panel",
                                              "Aircraft\\Plane\\panel.cfg"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return cuebox(arguments);
    }
};

TEST_F(PanelCliTest, RunPlaysWhatTheGaugesWriteAndNamesThem) {
    panel(
        "<Gauge><Element><Select><Value>\n"
        "(A:GEAR HANDLE POSITION, bool) (L:seen, bool) != if{\n"
        "  (A:GEAR HANDLE POSITION, bool) (&gt;L:seen, bool) 1 (&gt;L:Cue, number) }\n"
        "</Value></Select></Element></Gauge>\n");
    write_file("flight.csv", "time,A:GEAR HANDLE POSITION,bool\n0,0\n0.5,1\n");
    write_file("flight.scn", "connect\nwait 1\ndisconnect\n");
    const ToolResult result =
        cuebox({"run", path("flight.scn"), "--root", root_, "--panel", "Aircraft/Plane/panel.cfg",
                "--vars", path("flight.csv"), "--timeline", path("flight.svg")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("update   10    0.500 s  set A:GEAR HANDLE POSITION,bool = 1 (vars)"),
              std::string::npos)
        << result.out;
    EXPECT_NE(
        result.out.find("update   10    0.500 s  gauge test!gauge writes 1 (Element 1 Value)"),
        std::string::npos);
    EXPECT_NE(result.out.find("update   11    0.556 s  read 1"), std::string::npos);
    EXPECT_NE(result.out.find("update   11    0.556 s  buffer 1 plays once from byte 0"),
              std::string::npos);
    const std::string svg = file_text(path("flight.svg"));
    EXPECT_NE(svg.find("data-value=\"1\" data-gauge=\"test!gauge\""), std::string::npos);
    EXPECT_NE(svg.find(">1 gauge</text>"), std::string::npos);

    // The trace names the gauge and its script too.
    const ToolResult json =
        cuebox({"run", path("flight.scn"), "--root", root_, "--panel", "Aircraft/Plane/panel.cfg",
                "--vars", path("flight.csv"), "--trace"});
    EXPECT_NE(json.out.find("{\"update\":10,\"event\":\"gauge_write\",\"value\":1,\"gauge\":"
                            "\"test!gauge\",\"script\":\"Element 1 Value\"}"),
              std::string::npos)
        << json.out;
}

// The panel an author has before adding the module, the module alone, and many copies of it:
// each runs to its end and closes cleanly.
TEST_F(PanelCliTest, RunTakesAPanelWithoutTheModuleOrWithManyInstances) {
    panel("<Gauge><Update>1 (&gt;L:cue, number)</Update></Gauge>");
    const std::string module = "gauge00=jvb_cuebox2!jvb_cuebox2, 0, 0\n";
    const std::string xml = "gauge01=test!gauge, 0, 0\n";
    std::string many;
    for (int n = 0; n < 6; ++n)
        many += "gauge0" + std::to_string(n) + "=jvb_cuebox2!jvb_cuebox2, 0, 0\n";
    const std::vector<std::string> panels = {"[Window00]\n", "[Window00]\n" + xml,
                                             "[Window00]\n" + module, "[Window00]\n" + many + xml};
    write_file("flight.scn", "connect\nupdate 1\nwait 0.2\ndisconnect\n");
    for (const std::string& cfg : panels) {
        write_file("Aircraft/Plane/panel.cfg", cfg);
        // The host loads the module even when no line places it, and the module frees the
        // tables it allocated at load only at a disconnect, which no instance then receives.
        // The simulator would not load such a gauge at all: that leak at exit is the host's
        // doing, not the module's, so the leak check is off for those panels alone.
        const bool placed = cfg.find("jvb_cuebox2!") != std::string::npos;
        if (placed)
            unsetenv("LSAN_OPTIONS");
        else
            setenv("LSAN_OPTIONS", "detect_leaks=0", 1);
        const ToolResult result = cuebox(
            {"run", path("flight.scn"), "--root", root_, "--panel", "Aircraft/Plane/panel.cfg"});
        EXPECT_EQ(result.status, 0) << cfg << result.err;
        EXPECT_EQ(result.err.find("terminate"), std::string::npos) << cfg << result.err;
    }
    unsetenv("LSAN_OPTIONS");
}

TEST_F(PanelCliTest, RunSaysWhatIsWrongWithThePanelAndGoesOn) {
    panel(
        "<Gauge><Update>1 frobnicate</Update>"
        "<Mouse><Area><Tooltip>Horn</Tooltip><Click>1 (&gt;L:cue) (&gt;K:HORN_ON) "
        "1 3 (&gt;K:2:STROBES_SET)</Click></Area>"
        "</Mouse></Gauge>");
    write_file("Aircraft/Plane/panel.cfg",
               "[Window00]\ngauge00=jvb_cuebox2!jvb_cuebox2, 0, 0\ngauge01=test!gauge, 0, 0\n"
               "gauge02=broken line\ngauge03=test!missing, 0, 0\n");
    write_file("click.scn", "connect\nupdate 2\nclick test!gauge horn\nupdate 3\n");
    const ToolResult result =
        cuebox({"run", path("click.scn"), "--root", root_, "--panel", "Aircraft/Plane/panel.cfg"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("cuebox: Aircraft/Plane/panel.cfg:4: gauge02: 'broken line' names "
                              "no gauge"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("cuebox: Aircraft/Plane/panel.cfg:5: test!missing: gauge not found"),
              std::string::npos);
    // The unknown word is said once, although the script comes at every update.
    const std::string said =
        "gauge test!gauge, Update, line 1, at 'frobnicate': not a word of the gauge language: "
        "this script does not run";
    const size_t first = result.out.find(said);
    ASSERT_NE(first, std::string::npos) << result.out;
    EXPECT_EQ(result.out.find(said, first + 1), std::string::npos);
    EXPECT_NE(result.out.find("gauge test!gauge sends K:HORN_ON 0"), std::string::npos);
    // A key event of two parameters gives both, the one written first first.
    EXPECT_NE(result.out.find("gauge test!gauge sends K:2:STROBES_SET 1 3"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("read 1"), std::string::npos);
}

TEST_F(PanelCliTest, WhatCannotRunIsRefusedBeforeAnythingPlays) {
    panel("<Gauge/>");
    write_file("a.scn", "connect\nupdate\n");
    write_file("set.scn", "connect\nset A:FLAPS HANDLE INDEX,number 1\n");
    write_file("bad.csv", "time,A:X\n1,0\n0,1\n");
    const std::string cfg = "Aircraft/Plane/panel.cfg";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string message;
    } cases[] = {
        {{"run", path("a.scn"), "--panel", "nowhere.cfg"},
         2,
         "cuebox: nowhere.cfg: the panel file does not exist"},
        {{"run", path("a.scn"), "--panel", cfg, "--vars", path("bad.csv")},
         2,
         "cuebox: " + path("bad.csv") + ": line 3: the time goes back"},
        {{"run", path("a.scn"), "--panel", cfg, "--vars", path("none.csv")},
         2,
         "cuebox: cannot read the timeline " + path("none.csv")},
        {{"run", path("a.scn"), "--vars", path("bad.csv")}, 2, "cuebox: --vars needs --panel"},
        {{"run", path("a.scn"), "--panel", cfg, "--param", "x.ini"},
         2,
         "cuebox: --param and --panel"},
        {{"show", "--panel", cfg}, 2, "cuebox: --panel goes with run, check and serve"},
        {{"run", path("set.scn")},
         1,
         "cuebox: " + path("set.scn") + ":2: 'set' and 'click' need a panel"},
        {{"check", "--panel", "nowhere.cfg"},
         2,
         "cuebox: nowhere.cfg: the panel file does not exist"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--root", root_});
        const ToolResult result = cuebox(arguments);
        EXPECT_EQ(result.status, c.status) << c.message << "\n" << result.err;
        EXPECT_EQ(result.err.rfind(c.message, 0), 0u) << result.err;
        EXPECT_EQ(result.out.find("plays"), std::string::npos);
    }
}

TEST_F(PanelCliTest, CheckFindsNoWriterAndNamesTheSimilarNamesWritten) {
    panel(
        "<Gauge><Element><Select><Value>\n"
        "(A:X, bool) if{ 1 (&gt;L:cue_sound, number) }\n"
        "(A:X, bool) if{ 1 (&gt;L:Counter, number) }\n"
        "</Value></Select></Element></Gauge>");
    const ToolResult result = check();
    EXPECT_EQ(result.status, 1) << result.out << result.err;
    EXPECT_NE(result.out.find("no gauge writes (>L:cue), the variable the module reads: similar "
                              "names written: cue_sound at Gauges/test/gauge.xml:2 (test!gauge in "
                              "[Window00], Element 1 Value)\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("Counter at"), std::string::npos);
    // Written in another letter case, it is the same variable: nothing to find.
    panel("<Gauge><Mouse><Area><Click>1 (&gt;L:CUE, number)</Click></Area></Mouse></Gauge>");
    const ToolResult fine = check();
    EXPECT_EQ(fine.status, 0) << fine.out;
    EXPECT_NE(fine.out.find("no problems found"), std::string::npos);
}

// A machine whose DirectSound cannot start (Wine answers DSERR_INVALIDPARAM when it finds no
// playback device): said once, without blaming the tool; each file's format is still judged,
// and a gauge's command is reported only for a slot that would be silent with a device too.
// check runs in this process here, where the platform's fault switch takes the device away.
TEST_F(PanelCliTest, CheckWithoutDeviceSaysSoOnceAndStillJudgesEachFile) {
    panel(
        "<Gauge><Mouse>"
        "<Area><Click>1 (&gt;L:cue)</Click></Area>"  // a safe format
        "<Area><Click>2 (&gt;L:cue)</Click></Area>"  // 48 kHz: outside the always-safe set
        "<Area><Click>3 (&gt;L:cue)</Click></Area>"  // no file
        "</Mouse></Gauge>",
        "[Config]\nLVar=cue\n[Sounds]\nSound01=Sound\\one.wav\nSound02=Sound\\wide.wav\n"
        "Sound03=Sound\\none.wav\n");
    write_tone("Sound/wide.wav", 500, 0.3, 48000);
    CliOptions options;
    options.command = "check";
    options.root = root_;
    options.json = true;
    options.panel = "Aircraft\\Plane\\panel.cfg";
    const std::filesystem::path here = std::filesystem::current_path();
    standin_fail_device_create(DSERR_INVALIDPARAM);
    testing::internal::CaptureStdout();
    const int status = command_check(options);
    const nlohmann::json output = nlohmann::json::parse(testing::internal::GetCapturedStdout());
    std::filesystem::current_path(here);
    EXPECT_EQ(status, 1);

    std::map<std::string, std::vector<nlohmann::json>> found;
    for (const char* list : {"problems", "warnings"}) {
        for (const auto& finding : output[list]) found[finding["kind"]].push_back(finding);
    }
    ASSERT_EQ(found["device_unavailable"].size(), 1u) << output.dump(1);
    EXPECT_EQ(found["device_unavailable"][0]["message"].get<std::string>().rfind(
                  "no sound output (DirectSound could not start: 0x80070057 DSERR_INVALIDPARAM, "
                  "as Wine answers without a playback device): check that",
                  0),
              0u);
    ASSERT_EQ(found["format_not_always_safe"].size(), 1u) << output.dump(1);
    EXPECT_EQ(found["format_not_always_safe"][0]["slot"], 2);
    EXPECT_NE(found["format_not_always_safe"][0]["message"].get<std::string>().find(
                  "(PCM 1 ch 48000 Hz 16-bit) lies outside the always-safe set: 48000 Hz"),
              std::string::npos);
    ASSERT_EQ(found["slot_silent"].size(), 1u) << output.dump(1);
    EXPECT_EQ(found["slot_silent"][0]["slot"], 3);
    EXPECT_EQ(found.count("device_refused"), 0u);
}

// The gauge sits on two windows: each finding once, naming both; a click names the copy.
TEST_F(PanelCliTest, CheckFindsCommandsForSlotsThatCannotSound) {
    panel(
        "<Gauge><Mouse>"
        "<Area><Click>1 (&gt;L:cue)</Click></Area>"    // plays
        "<Area><Click>2 (&gt;L:cue)</Click></Area>"    // no file
        "<Area><Click>103 (&gt;L:cue)</Click></Area>"  // refused
        "<Area><Click>-4 (&gt;L:cue)</Click></Area>"   // default file, absent
        "</Mouse></Gauge>",
        "[Config]\nLVar=cue\n[Sounds]\nSound01=Sound\\one.wav\nSound02=Sound\\two.wav\n"
        "Sound03=Sound\\three.wav\n",
        true);
    write_file("Sound/three.wav", "RIFF but no more");
    const ToolResult result = check({"--json"});
    EXPECT_EQ(result.status, 1);
    // Each finding names the gauge file and its line as fields, not only in its message.
    std::map<int, std::string> silent;
    std::map<int, int> times;
    const nlohmann::json output = nlohmann::json::parse(result.out);
    for (const auto& problem : output["problems"]) {
        if (problem["kind"] != "slot_silent") continue;
        EXPECT_EQ(problem["file"], "Gauges/test/gauge.xml");
        EXPECT_EQ(problem["line"], 1);
        silent[problem["slot"].get<int>()] = problem["message"];
        ++times[problem["slot"].get<int>()];
    }
    EXPECT_EQ(silent[2],
              "Gauges/test/gauge.xml:1 (test!gauge in [Window00] and [Window01], Area 2 Click): "
              "writes 2 for slot 02, which cannot sound: no file (Sound\\two.wav)");
    EXPECT_NE(silent[3].find("which cannot sound: refused: not_wave"), std::string::npos);
    EXPECT_NE(
        silent[4].find(
            "writes -4 for slot 04, which cannot sound: no file (./Sound/jvb/jvb_xml_04.wav)"),
        std::string::npos);
    EXPECT_EQ(silent.count(1), 0u) << result.out;
    EXPECT_EQ(times[2], 1) << "once";

    write_file("click.scn", "connect\nclick test!gauge 2\nwait 0.2\ndisconnect\n");
    const ToolResult clicked =
        cuebox({"run", path("click.scn"), "--root", root_, "--panel", "Aircraft/Plane/panel.cfg"});
    EXPECT_NE(clicked.out.find("click on test!gauge, area 2, the copy in [Window00] (line 3), "
                               "the first of 2\n"),
              std::string::npos)
        << clicked.out << clicked.err;
}

TEST_F(PanelCliTest, CheckFindsValuesTheModuleIgnoresAndWritesAtEveryUpdate) {
    panel(
        "<Gauge>\n"
        "<Update>1 (&gt;L:cue, number)</Update>\n"
        "<Element><Select><Value>(A:X, bool) if{ 205 (&gt;L:cue) } els{ 255 (&gt;L:cue) }\n"
        "(A:Y, bool) if{ 300 (&gt;L:cue) -250 (&gt;L:cue) 260 (&gt;L:cue) 5.9 (&gt;L:cue) }\n"
        "</Value></Select></Element>\n"
        "<Mouse><Area><Click>199 (&gt;L:cue)</Click></Area></Mouse>\n"
        "</Gauge>");
    const ToolResult result = check();
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(
        result.out.find("Gauges/test/gauge.xml:2 (test!gauge in [Window00], Update): writes 1 to "
                        "(>L:cue) at every update, without a condition"),
        std::string::npos)
        << result.out;
    for (const char* value : {"205", "255", "300"}) {
        EXPECT_NE(result.out.find(std::string("writes ") + value + ", a value the module ignores"),
                  std::string::npos)
            << value;
    }
    for (const char* fine : {"-250", "260", "5.9", "199"}) {
        EXPECT_EQ(result.out.find(std::string("writes ") + fine + ", a value"), std::string::npos)
            << fine;
    }
    // Only the unconditional write is reported as such: clicks and if{ blocks are not.
    size_t every = 0;
    for (size_t at = 0; (at = result.out.find("without a condition", at)) != std::string::npos;
         ++at)
        ++every;
    EXPECT_EQ(every, 1u);
}

TEST_F(PanelCliTest, CheckFindsThePanelsOwnProblems) {
    panel("<Gauge><Update>1 (&gt;L:cue) if{</Update></Gauge>");
    write_file("Aircraft/Plane/panel.cfg",
               "[Window00]\ngauge00=test!gauge, 0, 0\ngauge01 test!gauge, 0, 0\n");
    const ToolResult result = check();
    EXPECT_EQ(result.status, 1);
    for (const char* expected :
         {"  Gauges/test/gauge.xml:1 (test!gauge, Update): at 'if{': a block without its "
          "closing '}': this script does not run",
          "Aircraft\\Plane\\panel.cfg:3: expected KEY=VALUE in [Window00]",
          "Aircraft\\Plane\\panel.cfg has no jvb_cuebox2 line: the module never runs"}) {
        EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;
    }
}

}  // namespace

namespace {

// Two loops of one gauge, each toggled when its condition changes: the documentation's loop
// pattern as it stood, and the same gated on 260.
const char* const TWO_LOOPS_UNGATED =
    "<Gauge><Element><Select><Value>\n"
    "(A:STALL WARNING, bool) (L:StallOn, bool) != if{\n"
    "  (A:STALL WARNING, bool) (&gt;L:StallOn, bool) 112 (&gt;L:cue, number) }\n"
    "(A:FAN, bool) (L:FanOn, bool) != if{\n"
    "  (A:FAN, bool) (&gt;L:FanOn, bool) 115 (&gt;L:cue, number) }\n"
    "</Value></Select></Element></Gauge>\n";
const char* const TWO_LOOPS_GATED =
    "<Gauge><Element><Select><Value>\n"
    "(A:STALL WARNING, bool) (L:StallOn, bool) != (L:cue, number) 260 == and if{\n"
    "  (L:StallOn, bool) ! (&gt;L:StallOn, bool) 112 (&gt;L:cue, number) }\n"
    "(A:FAN, bool) (L:FanOn, bool) != (L:cue, number) 260 == and if{\n"
    "  (L:FanOn, bool) ! (&gt;L:FanOn, bool) 115 (&gt;L:cue, number) }\n"
    "</Value></Select></Element></Gauge>\n";

TEST_F(PanelCliTest, ACommandOverwrittenBeforeTheModuleReadsItIsSaidLost) {
    write_file("flight.csv", "time,A:STALL WARNING,bool,A:FAN,bool\n0,0,0\n0.5,1,1\n1,0,0\n");
    write_file("flight.scn", "connect\nwait 1.5\ndisconnect\n");
    for (const bool gated : {false, true}) {
        panel(gated ? TWO_LOOPS_GATED : TWO_LOOPS_UNGATED);
        const std::vector<std::string> run = {
            "run",        path("flight.scn"),         "--root", root_,
            "--panel",    "Aircraft/Plane/panel.cfg", "--vars", path("flight.csv"),
            "--timeline", path("flight.svg")};
        const ToolResult text = cuebox(run);
        ASSERT_EQ(text.status, 0) << text.err;
        std::vector<std::string> traced = run;
        traced.push_back("--trace");
        const ToolResult json = cuebox(traced);
        const std::string svg = file_text(path("flight.svg"));
        if (gated) {
            // Each command waits for the module: 112 goes out, then 115 an update later.
            EXPECT_EQ(text.out.find("LOST"), std::string::npos) << text.out;
            EXPECT_EQ(json.out.find("command_lost"), std::string::npos);
            EXPECT_EQ(svg.find("class=\"lost\""), std::string::npos);
            EXPECT_NE(text.out.find("update   11    0.556 s  read 112"), std::string::npos);
            EXPECT_NE(text.out.find("update   12    0.611 s  read 115"), std::string::npos)
                << text.out;
            continue;
        }
        // Both conditions change at 0.5 s and again at 1 s: 115 overwrites 112 each time.
        EXPECT_NE(text.out.find("update   10    0.500 s  command 112 LOST: gauge test!gauge wrote "
                                "it (Element 1 Value, update 10), then gauge test!gauge wrote 115 "
                                "over it (Element 1 Value) before the module read it"),
                  std::string::npos)
            << text.out;
        EXPECT_NE(json.out.find("{\"update\":19,\"event\":\"command_lost\",\"value\":112,"
                                "\"gauge\":\"test!gauge\",\"script\":\"Element 1 Value\","
                                "\"written_update\":19,\"by_value\":115,"),
                  std::string::npos)
            << json.out;
        EXPECT_NE(text.err.find("cuebox: 2 command(s) written by the panel's gauges never reached "
                                "the module"),
                  std::string::npos)
            << text.err;
        EXPECT_NE(svg.find("<path class=\"lost\" data-time=\"0.500\" data-value=\"112\" "
                           "data-gauge=\"test!gauge\""),
                  std::string::npos);
    }
}

// Writing the idle value asks for nothing: a command written over it is no loss.
TEST_F(PanelCliTest, ACommandWrittenOverTheIdleValueIsNoLoss) {
    panel(
        "<Gauge><Mouse><Area><Click>260 (&gt;L:cue, number) 1 (&gt;L:cue, number)</Click>"
        "</Area></Mouse></Gauge>");
    write_file("click.scn", "connect\nupdate\nclick test!gauge 1\nwait 0.2\ndisconnect\n");
    const ToolResult run =
        cuebox({"run", path("click.scn"), "--root", root_, "--panel", "Aircraft/Plane/panel.cfg"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("read 1"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("LOST"), std::string::npos) << run.out;
}

TEST_F(PanelCliTest, CheckWarnsOfCommandWritesThatDoNotWaitFor260) {
    for (const bool gated : {false, true}) {
        panel(gated ? TWO_LOOPS_GATED : TWO_LOOPS_UNGATED,
              "[Config]\nLVar=cue\n[Sounds]\nSound12=Sound\\one.wav\nSound15=Sound\\one.wav\n");
        const ToolResult result = check();
        EXPECT_EQ(result.status, 0) << result.out;  // a warning, not a problem
        EXPECT_EQ(result.out.find("2 writes of (>L:cue) do not first check that it holds 260") !=
                      std::string::npos,
                  !gated)
            << result.out;
    }
}

// The mistakes of an author's first hour that lose sounds without a word: a gauge pasted from
// the docs writes their variable, not the INI's; one careless gauge among careful ones.
TEST_F(PanelCliTest, CheckFindsTheWrongVariableAndTheOneWriterThatDoesNotWait) {
    const std::string gated =
        "(A:GEAR, bool) (L:cue_snd, number) 260 == and if{ 3 (&gt;L:cue_snd) }";
    const struct {
        std::string gear, fan;  // two gauges' update scripts
        int status;
        std::string found;  // "" when nothing of the two kinds is found
    } cases[] = {
        {"(A:GEAR, bool) if{ 3 (&gt;L:jvb_cuebox_id, number) }", "", 1,
         "gear.xml:1 (test!gear in [Window00], Element 1 Value): writes (>L:jvb_cuebox_id), the "
         "name of the docs' examples and of the module's default, but the module reads "
         "(>L:cue_snd), as the INI's LVar says"},
        {"(A:GEAR, bool) if{ 3 (&gt;L:cue_sd, number) }", "", 1,
         "writes (>L:cue_sd), a command (3) to a name close to the module's"},
        // A name that only shares the module's, or a value that is no command, is the gauge's own.
        {"(A:GEAR, bool) if{ 1 (&gt;L:cue_snd_on, number) 3 (&gt;L:cue_snd) }", "", 0, ""},
        {"(A:GEAR, bool) if{ 300 (&gt;L:cue_sd, number) 3 (&gt;L:cue_snd) }", "", 0, ""},
        {gated, "(A:FAN, bool) if{ 115 (&gt;L:cue_snd) }", 0,
         "1 write of (>L:cue_snd) does not first check that it holds 260, and other gauges write "
         "it too: when two come in one update, the module never sees the first (wait for 260, "
         "as the docs' patterns do): Gauges/test/fan.xml:1 (test!fan in [Window00], Element 1 "
         "Value); waiting for 260: Gauges/test/gear.xml:1"},
        {gated, "(A:FAN, bool) (L:cue_snd) 260 == and if{ 115 (&gt;L:cue_snd) }", 0, ""},
        {"(A:GEAR, bool) if{ 3 (&gt;L:cue_snd) }", "", 0, ""},  // alone, it cannot collide
    };
    for (const auto& c : cases) {
        write_file("Gauges/jvb_cuebox.ini",
                   "[Config]\nLVar=cue_snd\n[Sounds]\nSound03=Sound\\one.wav\n"
                   "Sound15=Sound\\one.wav\n");
        write_tone("Sound/one.wav", 500, 0.3);
        auto gauge = [](const std::string& script) {
            return "<Gauge><Element><Select><Value>" + script +
                   "</Value></Select></Element></Gauge>";
        };
        write_file("Gauges/test/gear.xml", gauge(c.gear));
        write_file("Gauges/test/fan.xml", gauge(c.fan.empty() ? "1 (&gt;L:idle, bool)" : c.fan));
        write_file("Aircraft/Plane/panel.cfg",
                   "[Window00]\ngauge00=jvb_cuebox2!jvb_cuebox2, 0, 0\ngauge01=test!gear, 0, 0\n"
                   "gauge02=test!fan, 0, 0\n");
        const ToolResult result = check();
        EXPECT_EQ(result.status, c.status) << c.gear << "\n" << result.out;
        if (c.status == 1) {
            // A run names the gauge that writes the wrong variable as check does.
            write_file("flight.scn", "connect\nupdate 1\ndisconnect\n");
            const ToolResult run = cuebox({"run", path("flight.scn"), "--root", root_, "--panel",
                                           "Aircraft/Plane/panel.cfg"});
            std::string said = c.found;  // without the windows, which a run does not list
            const size_t windows = said.find(" in [Window00]");
            if (windows != std::string::npos) said.erase(windows, 14);
            EXPECT_NE(run.out.find(said), std::string::npos) << run.out;
        }
        if (c.found.empty()) {
            EXPECT_EQ(result.out.find("(>L:cue_snd), as the INI's LVar"), std::string::npos)
                << result.out;
            EXPECT_EQ(result.out.find("first check that it holds 260"), std::string::npos)
                << result.out;
        } else {
            EXPECT_NE(result.out.find(c.found), std::string::npos) << result.out;
        }
    }
}

TEST_F(PanelCliTest, ValuesReadInAnotherUnitAreConverted) {
    panel(
        "<Gauge><Update>\n"
        "1000 (&gt;L:alt, feet) (L:alt, meters) (&gt;K:L_IN_METERS)\n"
        "(L:alt, feet) (&gt;K:L_IN_FEET)\n"
        "(A:SPEED, meters per second) (&gt;K:A_IN_METERS_PER_SECOND)\n"
        "(A:TEMP, fahrenheit) (&gt;K:A_IN_FAHRENHEIT)\n"
        "(A:SPEED, seconds) (&gt;K:A_IN_ANOTHER_FAMILY)\n"
        "5 (&gt;L:odd, furlongs) (L:odd, meters) (&gt;K:L_IN_AN_UNKNOWN_UNIT)\n"
        "</Update></Gauge>\n");
    write_file("flight.csv", "time,A:SPEED,knots,A:TEMP,celsius\n0,100,100\n");
    write_file("flight.scn", "connect\nupdate 2\ndisconnect\n");
    const ToolResult result = cuebox({"run", path("flight.scn"), "--root", root_, "--panel",
                                      "Aircraft/Plane/panel.cfg", "--vars", path("flight.csv")});
    ASSERT_EQ(result.status, 0) << result.err;
    // The key event's name has a field of its own: "event" is the kind of every line.
    const ToolResult json =
        cuebox({"run", path("flight.scn"), "--root", root_, "--panel", "Aircraft/Plane/panel.cfg",
                "--vars", path("flight.csv"), "--trace"});
    EXPECT_NE(json.out.find("\"event\":\"key_event\",\"name\":\"K:L_IN_FEET\",\"value\":1000,"),
              std::string::npos)
        << json.out;
    for (const char* expected : {
             "sends K:L_IN_METERS 304.8",
             "sends K:L_IN_FEET 1000\n",
             "sends K:A_IN_METERS_PER_SECOND 51.44444444",
             "sends K:A_IN_FAHRENHEIT 212",
             "sends K:A_IN_ANOTHER_FAMILY 100\n",
             "A:SPEED is set in knots but read in seconds, which measures something else",
             "sends K:L_IN_AN_UNKNOWN_UNIT 5\n",
             "the preview does not know the unit 'furlongs' (L:odd,furlongs)",
         }) {
        EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;
    }
}

TEST_F(PanelCliTest, AScriptThatCannotRunIsAProblemOnlyWhereItDrivesTheSound) {
    const struct {
        const char* gauge;
        int status;
        const char* said;  // null: nothing said of the script
    } cases[] = {
        // An attitude gauge's trigonometry runs: nothing to say.
        {"<Gauge><Update>(A:PITCH, degrees) dgrd sin 100 * (&gt;L:PitchBar)</Update>"
         "<Mouse><Area><Click>1 (&gt;L:cue)</Click></Area></Mouse></Gauge>",
         0, nullptr},
        // A mouse variable is not modelled; the script writes nothing that drives the sound.
        {"<Gauge><Update>(M:X) (&gt;L:Knob)</Update>"
         "<Mouse><Area><Click>1 (&gt;L:cue)</Click></Area></Mouse></Gauge>",
         0, "the preview does not model M: variables (the mouse)"},
        // The missing ')' of a script that writes the command variable.
        {"<Gauge><Update>\n1 (&gt;L:x, number\n2 (&gt;L:cue)</Update></Gauge>", 1,
         "Gauges/test/gauge.xml:2 (test!gauge, Update): at '(>L:x, number': a '(' without its "
         "')': this script does not run (it writes (>L:cue)"},
        // A script that sets an L: variable a sound script reads drives the sound too.
        {"<Gauge><Update>(A:X, bool) frob (&gt;L:Want)</Update><Element><Select><Value>"
         "(L:Want) if{ 1 (&gt;L:cue) }</Value></Select></Element></Gauge>",
         1,
         "at 'frob': not a word of the gauge language: this script does not run (it writes "
         "(>L:Want), which drives the sound)"},
        // What the simulator runs but the preview does not model is a note even there.
        {"<Gauge><Update>(M:X) (&gt;L:Want)</Update><Element><Select><Value>"
         "(L:Want) if{ 1 (&gt;L:cue) }</Value></Select></Element></Gauge>",
         0,
         "does not model M: variables (the mouse); it runs A:, L:, G:, P:, E: and K:: this "
         "script does not run (it writes (>L:Want), which drives the sound: the simulator runs "
         "it, the preview does not)"},
        // A word short of values is the simulator's idiom: a note of a script that runs.
        {"<Gauge><Update>(A:X, bool) || (A:Y, bool) || if{ 1 (&gt;L:cue) }</Update></Gauge>", 0,
         "Gauges/test/gauge.xml:1 (test!gauge, Update): at '||': takes 2 values from a stack "
         "that holds 1: the missing ones read 0, as in the simulator"},
    };
    for (const auto& c : cases) {
        panel(c.gauge);
        const ToolResult result = check();
        EXPECT_EQ(result.status, c.status) << c.gauge << "\n" << result.out;
        if (c.said) {
            EXPECT_NE(result.out.find(c.said), std::string::npos) << c.said << "\n" << result.out;
        } else {
            EXPECT_EQ(result.out.find("does not run"), std::string::npos) << result.out;
        }
    }
}

// Every script of a gauge is checked at its own line, and what the preview does not model is
// said once per gauge, however many windows place it.
TEST_F(PanelCliTest, CheckReadsEveryScriptAndSaysWhatItSkipped) {
    const struct {
        const char* element;
        const char* said;
    } cases[] = {
        {"<Rotate>\n<Value>(A:AIRSPEED INDICATED,knots if{ frob</Value></Rotate>",
         "gauge.xml:3 (test!gauge, Element 1 Rotate): at '(A:AIRSPEED INDICATED,knots if{ frob'"},
        {"<Shift><Value>\n\n1 }</Value></Shift>", "gauge.xml:4 (test!gauge, Element 1 Shift)"},
        {"<Visible>\n1 frob</Visible>", "gauge.xml:3 (test!gauge, Element 1 Visible): at 'frob'"},
        {"<Text><String>speed\n%((A:X, knots) }})%!d!</String></Text>",
         "gauge.xml:3 (test!gauge, Element 1 String 1)"},
    };
    for (const auto& c : cases) {
        panel(std::string("<Gauge>\n<Element>") + c.element +
              "</Element>\n<Mouse><Area><Click>1 (&gt;L:cue)</Click></Area></Mouse></Gauge>");
        const ToolResult result = check();
        EXPECT_NE(result.out.find(c.said), std::string::npos) << c.said << "\n" << result.out;
    }
    panel(
        "<Gauge>\n<Element><MaskImage Name=\"m.bmp\"/><Polygon/></Element>\n"
        "<Element><MaskImage Name=\"n.bmp\"/></Element>\n"
        "<Keys><On Key=\"A\">1 (&gt;L:a)</On></Keys>\n"
        "<Mouse><Area><Click>1 (&gt;L:cue)</Click></Area></Mouse></Gauge>",
        "", true);
    const std::string said =
        "the preview reads this gauge only in part: it does not model <MaskImage> (line 2), "
        "<Polygon> (line 2), <Keys> (compiled, never run)";
    // Said once, although the gauge stands on two windows; a run says it as check does.
    write_file("flight.scn", "connect\nupdate 1\n");
    for (const ToolResult& result : {check(), cuebox({"run", path("flight.scn"), "--root", root_,
                                                      "--panel", "Aircraft/Plane/panel.cfg"})}) {
        const size_t first = result.out.find(said);
        EXPECT_NE(first, std::string::npos) << result.out;
        EXPECT_EQ(result.out.find(said, first + 1), std::string::npos) << result.out;
    }
}

// The trace holds each element's state when it changes, not at every update.
TEST_F(PanelCliTest, TheTraceSaysAnElementsStateOnlyWhenItChanges) {
    panel(
        "<Gauge><Element><Visible>(A:GEAR HANDLE POSITION, bool)</Visible>\n"
        "<Text><String>%((A:GEAR HANDLE POSITION, bool))%{if}DOWN%{end}</String></Text>"
        "</Element></Gauge>\n");
    write_file("flight.csv", "time,A:GEAR HANDLE POSITION,bool\n0,0\n0.5,1\n");
    write_file("flight.scn", "connect\nwait 1\ndisconnect\n");
    const ToolResult result =
        cuebox({"run", path("flight.scn"), "--root", root_, "--panel", "Aircraft/Plane/panel.cfg",
                "--vars", path("flight.csv"), "--trace"});
    ASSERT_EQ(result.status, 0) << result.err;
    std::vector<std::string> states;
    for (size_t at = result.out.find("\"element_state\""); at != std::string::npos;
         at = result.out.find("\"element_state\"", at + 1)) {
        const size_t start = result.out.rfind('{', at);
        states.push_back(result.out.substr(start, result.out.find('}', at) - start + 1));
    }
    ASSERT_EQ(states.size(), 2u) << result.out;
    // The printed run stays about sound.
    const ToolResult printed = cuebox({"run", path("flight.scn"), "--root", root_, "--panel",
                                       "Aircraft/Plane/panel.cfg", "--vars", path("flight.csv")});
    EXPECT_EQ(printed.out.find("element_state"), std::string::npos) << printed.out;
    EXPECT_EQ(states[0],
              "{\"update\":1,\"event\":\"element_state\",\"gauge\":\"test!gauge\","
              "\"element\":1,\"visible\":false}");
    EXPECT_EQ(states[1],
              "{\"update\":10,\"event\":\"element_state\",\"gauge\":\"test!gauge\","
              "\"element\":1,\"visible\":true,\"image\":\"\",\"x\":0,\"y\":0,"
              "\"angle\":0,\"text\":\"DOWN\"}");
}

}  // namespace
