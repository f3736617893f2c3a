// `cuebox console` driven through a pipe, as a script would drive it: its status lines, and the
// rendered sound, which must hold each slot's tone when the lines asked for it.
#include <sstream>

#include "support/json_reader.h"
#include "tools/tool_runner.h"

namespace {

class ConsoleTest : public ToolTest {
  protected:
    void SetUp() override {
        ToolTest::SetUp();
        write_tone("Sound/jvb/jvb_xml_05.wav", 500, 0.4);
        write_tone("Sound/jvb/jvb_xml_12.wav", 1200, 0.3);
    }
    ToolResult console(const std::string& input, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {"console", "--root", root_};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return cuebox(arguments, input);
    }
    // Status lines that say `text`, e.g. "playing 05".
    static int lines_with(const std::string& out, const std::string& text) {
        int count = 0;
        for (size_t at = 0; (at = out.find(text, at)) != std::string::npos; ++at) ++count;
        return count;
    }
};

TEST_F(ConsoleTest, PlaysLoopsAndStopsAsTyped) {
    const std::string wav = path("out.wav");
    const ToolResult result = console("5\nwait 1\n112\nwait 1\n112\nwait 0.5\n", {"--out", wav});
    ASSERT_EQ(result.status, 0) << result.err;

    // The status line follows the slots: 5 plays once, 12 loops, then stops.
    EXPECT_NE(result.out.find("loaded 05 | playing 05 | looping -"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("loaded 05 | playing - | looping -"), std::string::npos);
    EXPECT_NE(result.out.find("loaded 05 12 | playing - | looping 12"), std::string::npos);
    EXPECT_EQ(lines_with(result.out, "looping 12"), 1) << "one status line per change";
    const std::string final_status = "loaded 05 12 | playing - | looping -\n";
    const size_t last = result.out.rfind("loaded");
    EXPECT_EQ(result.out.compare(last, final_status.size(), final_status), 0)
        << result.out.substr(last);

    // The render: each tone sounds where the lines put it, and nowhere else.
    tones::Recording recording;
    ASSERT_TRUE(tones::read_recording(wav, recording));
    const double tick = 1.0 / 18;
    // 5 is handled in the second update; the loop starts one second of updates later.
    EXPECT_GT(tones::tone_level(recording, 500, 2 * tick, 2 * tick + 0.35), 0.1);
    EXPECT_LT(tones::tone_level(recording, 500, 0.6, 1.0), 0.01);
    const double loop_start = 3 * tick + 1.0;
    EXPECT_LT(tones::tone_level(recording, 1200, 0.0, loop_start - 0.05), 0.01);
    EXPECT_GT(tones::tone_level(recording, 1200, loop_start + 0.05, loop_start + 0.9), 0.1);
    EXPECT_LT(tones::tone_level(recording, 1200, loop_start + 1.2, loop_start + 1.5), 0.01);
}

TEST_F(ConsoleTest, HelpQuitAndLinesThatAreNoValues) {
    const ToolResult result = console("help\nfive\n5\nquit\n12\n");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("250, -250            stop every slot"), std::string::npos);
    EXPECT_NE(result.out.find("command variable: jvb_cuebox_id"), std::string::npos);
    EXPECT_NE(result.out.find("not a value: 'five'"), std::string::npos);
    EXPECT_NE(result.out.find("playing 05"), std::string::npos);
    // Nothing after quit is taken.
    EXPECT_EQ(result.out.find("> 12"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("12 |"), std::string::npos) << result.out;
}

TEST_F(ConsoleTest, NamesSlotsWhoseFileIsMissingAndWritesTheIniVariable) {
    write_file("Gauges/panel.ini", "[Config]\nLVar=panel_cues\n[Sounds]\nSound07=.\\nowhere.wav\n");
    const ToolResult result = console("7\n5.9\n", {"--param", ".\\Gauges\\panel.ini", "--trace"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("file not found 07"), std::string::npos) << result.out;
    // 5.9 acts as 5. Each trace line is a JSON object.
    EXPECT_NE(result.out.find("loaded 05 | playing 05"), std::string::npos) << result.out;
    int events = 0;
    bool played = false;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] != '{') continue;
        json::Value event;
        ASSERT_TRUE(json::parse(line, event)) << line;
        ++events;
        if (event["event"].text == "gauge_write") {
            EXPECT_TRUE(event["value"].number == 7 || event["value"].number == 5.9) << line;
        }
        played = played || (event["event"].text == "play" && !event["looping"].boolean);
    }
    EXPECT_GT(events, 10);
    EXPECT_TRUE(played);
}

// The stop flag as the module keeps it, shown in the status line: what sets it, what a play
// command becomes while it is set, and the stops that clear it (slots 05 and 12 have files).
TEST_F(ConsoleTest, TheStatusLineShowsTheStopFlagAsTheModuleKeepsIt) {
    const struct {
        const char* input;
        bool set_at_end;
        const char* note;  // a line the console prints on the way, or ""
    } cases[] = {
        {"-112\n", true, ""},                            // the loop starts, the flag stays
        {"-112\n112\n", false, ""},                      // the toggle that stops the loop clears it
        {"-112\n5\n", true, "5 was taken as a stop"},    // 5 never played: nothing happens
        {"5\nwait 0.1\n-5\n", false, ""},                // a stop of a slot that has played
        {"-7\n250\n3\n", true, "which has not played"},  // 250 does not clear it
        {"-260\n", true, ""},
        {"-112\nwait 0.1\n12\n", false, "the flag is down again"},
    };
    for (const auto& c : cases) {
        const ToolResult result = console(c.input);
        ASSERT_EQ(result.status, 0) << result.err;
        const std::string last = result.out.substr(result.out.rfind("loaded"));
        EXPECT_EQ(last.find("stop flag set") != std::string::npos, c.set_at_end) << c.input << "\n"
                                                                                 << result.out;
        EXPECT_NE(result.out.find(c.note), std::string::npos) << c.input << "\n" << result.out;
    }
}

}  // namespace
