// The panel host on the command line: `show` configures the module from a root folder and
// prints what it registered; `run` plays a scenario; bad input is refused with one clear line.
#include <sys/stat.h>

#include <cstdlib>

#include "support/no_hang.h"
#include "tools/cli.h"
#include "tools/tool_runner.h"

namespace {

using HostCliTest = ToolTest;

TEST_F(HostCliTest, ShowPrintsTheVariableAndEverySlotPath) {
    write_file("Gauges/jvb_cuebox.ini", "[Config]\nLVar=panel_sounds\n[Sounds]\nSound03=a.wav\n");
    const ToolResult result = cuebox({"show", "--root", root_});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("variable: panel_sounds = 260\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("slot 03: a.wav (ini)\n"), std::string::npos);
    EXPECT_NE(result.out.find("slot 00: ./Sound/jvb/jvb_xml_00.wav (default)\n"),
              std::string::npos);
    EXPECT_NE(result.out.find("slot 99: ./Sound/jvb/jvb_xml_99.wav (default)\n"),
              std::string::npos);
    size_t slots = 0;
    for (size_t at = 0; (at = result.out.find("\nslot ", at)) != std::string::npos; ++at) ++slots;
    EXPECT_EQ(slots, 100u);
}

TEST_F(HostCliTest, ThePanelParameterStringChoosesTheIniFile) {
    write_file("Panel/mine.ini", "[Config]\nLvar=mine\n");
    const ToolResult result = cuebox({"--root", root_, "--param", "Panel/mine.ini"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("variable: mine = 260\n"), std::string::npos) << result.out;
}

TEST_F(HostCliTest, BadModulesAndFoldersAreRefusedWithOneLine) {
    write_file("not_a_module.gau", "MZ but not really");
    // The head of a 32-bit Windows DLL: "MZ", the offset of its "PE" header, the i386 machine.
    std::string windows_dll(0x80, '\0');
    windows_dll.replace(0, 2, "MZ");
    windows_dll[0x3c] = 0x40;
    windows_dll.replace(0x40, 6, std::string("PE\0\0\x4c\x01", 6));
    write_file("windows.gau", windows_dll);
    write_file("my sounds/x.ini", "[Config]\r\n");
    const std::string fixtures = CUEBOX_FIXTURE_DIR;
    const struct {
        std::vector<std::string> arguments;
        std::string message;
        std::string hint;  // what the line must say to do, where a bare reason misleads
    } cases[] = {
        {{"--module", path("missing.gau")}, "cuebox: no such module file: ", ""},
        {{"--module", root_}, "cuebox: not a module file: ", ""},
        {{"--module", path("not_a_module.gau")},
         "cuebox: not a module that this system can load",
         ""},
        {{"--module", path("windows.gau")},
         "cuebox: not a module that this system can load",
         "32-bit Windows module (as the zip's is), which this Linux cuebox cannot load: leave out "
         "--module"},
        {{"--module", fixtures + "/module_without_linkage.gau"},
         "cuebox: not a gauge module: it exports no Linkage",
         ""},
        {{"--module", fixtures + "/module_wrong_kind.gau"},
         "cuebox: wrong module kind in Linkage: 0x12, expected 0x13",
         ""},
        {{"--module", fixtures + "/module_wrong_version.gau"},
         "cuebox: wrong interface version in Linkage: 0x800, expected 0x900",
         ""},
        {{"--root", path("no/such/folder")}, "cuebox: cannot enter the root folder", ""},
        {{"run"}, "cuebox: run needs a scenario file", ""},
        {{"--bogus"}, "cuebox: unknown option --bogus", ""},
        {{"--codepage", "932"}, "cuebox: --codepage: code page 932 is not supported", ""},
        {{"--codepage", "65000"},
         "cuebox: --codepage: code page 65000 is not an ANSI code page",
         ""},
        {{"--codepage", "latin1"}, "cuebox: --codepage: 'latin1' is not a code page number", ""},
        {{"run", path("missing.scn")}, "cuebox: cannot read the scenario", ""},
        // As cmd.exe hands them on: single quotes kept, a quote escaped by a last backslash.
        {{"--param", "'.\\Gauges\\my.ini'", "check"},
         "cuebox: --param '.\\Gauges\\my.ini': ",
         "single quotes are part of the argument"},
        {{"run", "'flight.scn'"}, "cuebox: 'flight.scn': ", "single quotes"},
        {{"--root", "C:\\my sounds\"", "check"},
         "cuebox: --root C:\\my sounds\": ",
         "a backslash before the closing quote"},
        // A path with spaces, not in double quotes: cmd.exe splits it.
        {{"check", "--root", "C:\\Program", "Files\\FS9", "--param", "x.ini"},
         "cuebox: --root C:\\Program: a path with spaces was split at them",
         "write --root \"C:\\Program Files\\FS9\""},
        {{"--root", "'C:\\Program", "Files\\FS9'", "check"},
         "cuebox: --root 'C:\\Program: a path with spaces was split at them",
         "keeps single quotes): write --root \"C:\\Program Files\\FS9\""},
        {{"--root", path("my"), "sounds", "run", path("missing.scn")},
         "cuebox: --root " + path("my") + ": a path with spaces",
         "write --root \"" + path("my sounds") + "\""},
        // Any command after an option's value is the command, not the rest of a split path.
        {{"--root", root_, "serve", "--panel", "nowhere.cfg"},
         "cuebox: nowhere.cfg: the panel file does not exist",
         ""},
        {{"run", path("missing.scn"), "--param", path("my"), "sounds/x.ini", "--root", root_},
         "cuebox: --param " + path("my") + ": a path with spaces",
         "write --param \"" + path("my sounds/x.ini") + "\""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        if (c.arguments[0] != "--root") arguments.insert(arguments.end(), {"--root", root_});
        const ToolResult result = cuebox(arguments);
        EXPECT_NE(result.status, 0) << c.message;
        EXPECT_EQ(result.err.rfind(c.message, 0), 0u)
            << "expected: " << c.message << "\ngot: " << result.err;
        EXPECT_NE(result.err.substr(0, result.err.find('\n')).find(c.hint), std::string::npos)
            << result.err;
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
}

TEST_F(HostCliTest, ABareCallShowsTheUsageAndVersionNamesTheModule) {
    const ToolResult bare = cuebox({});
    EXPECT_EQ(bare.status, 0);
    EXPECT_EQ(bare.out.rfind("usage: cuebox", 0), 0u) << bare.out;
    EXPECT_EQ(bare.out.find("slot 00"), std::string::npos) << "show ran unasked";
    const ToolResult version = cuebox({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("cuebox 2.", 0), 0u) << version.out;
    EXPECT_NE(version.out.find("jvb_cuebox2.gau"), std::string::npos) << version.out;
}

TEST_F(HostCliTest, RunRendersTheScenarioAndTracesEveryUpdateAsJson) {
    write_tone("Sound/jvb/jvb_xml_07.wav", 700, 0.3);
    write_file("play.scn",
               "connect\nupdate 2\nwrite 7\nupdate\nexpect 260\nwait 0.5\nlose\ndisconnect\n");
    const ToolResult result =
        cuebox({"run", path("play.scn"), "--root", root_, "--trace", "--out", path("out.wav")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("{\"update\":12,\"event\":\"lose\"}\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("{\"update\":3,\"event\":\"read\",\"value\":7}\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("{\"update\":3,\"event\":\"write\",\"value\":260}\n"),
              std::string::npos);
    EXPECT_NE(result.out.find("\"event\":\"play\",\"buffer\":1,\"looping\":false"),
              std::string::npos);
    // Printed, the platform's loss of each buffer and the step itself read apart.
    const ToolResult printed = cuebox({"run", path("play.scn"), "--root", root_});
    EXPECT_NE(printed.out.find("  buffer 1 lost\n"), std::string::npos) << printed.out;
    EXPECT_NE(printed.out.find("  the platform has lost every sound buffer\n"), std::string::npos);
    tones::Recording recording;
    ASSERT_TRUE(tones::read_recording(path("out.wav"), recording));
    EXPECT_GT(tones::tone_level(recording, 700, 0.2, 0.4), 0.05);
}

TEST_F(HostCliTest, AMalformedScenarioStopsBeforeAnythingPlays) {
    write_tone("Sound/jvb/jvb_xml_07.wav", 700, 0.3);
    write_file("bad.scn", "connect\nupdate 2\nwrite 7\nupdate\nplay 7\n");
    const ToolResult result = cuebox({"run", path("bad.scn"), "--root", root_, "--trace"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "cuebox: " + path("bad.scn") +
                              ":5: expected a step (connect, disconnect, service, update, wait, "
                              "write, expect, lose, set or click), got 'play 7'\n");
    EXPECT_TRUE(result.out.empty());
}

TEST_F(HostCliTest, AScenarioOrOutputThatIsAPipeIsRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo(path("scenario.scn").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(path("picture.svg").c_str(), 0644), 0);
    write_file("good.scn", "connect\nupdate 2\ndisconnect\n");
    EXPECT_EQ(run_in_child([&] {
                  const ToolResult result = cuebox({"run", path("scenario.scn"), "--root", root_});
                  return result.status == 2 &&
                         result.err.find("cannot read the scenario") != std::string::npos;
              }),
              "true");
    EXPECT_EQ(run_in_child([&] {
                  const ToolResult result = cuebox({"run", path("good.scn"), "--root", root_,
                                                    "--timeline", path("picture.svg")});
                  return result.status == 2 &&
                         result.err.find("cannot write the timeline") != std::string::npos;
              }),
              "true");
}

TEST_F(HostCliTest, RunTakesSeveralScenariosEachOnAModuleLoadedAfresh) {
    write_tone("Sound/jvb/jvb_xml_07.wav", 700, 0.3);
    // The first scenario never disconnects and fails half-way; the second still starts from a
    // module that configures anew and plays, and the third file is refused by nothing.
    write_file("first.scn", "connect\nupdate 2\nwrite 107\nupdate\nexpect 5\n");
    write_file("second.scn",
               "connect\nupdate\nexpect 260\nwrite 7\nupdate\nexpect 260\n"
               "disconnect\n");
    const ToolResult result =
        cuebox({"--root", root_, "run", path("first.scn"), path("second.scn"), "--trace"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "cuebox: " + path("first.scn") +
                              ":5: expected jvb_cuebox_id = 5, found 260\n"
                              "cuebox: 2 scenarios, 1 failed\n");
    const size_t first =
        result.out.find("{\"event\":\"scenario\",\"file\":\"" + path("first.scn") + "\"}\n");
    const size_t second =
        result.out.find("{\"event\":\"scenario\",\"file\":\"" + path("second.scn") + "\"}\n");
    ASSERT_NE(first, std::string::npos) << result.out;
    ASSERT_NE(second, std::string::npos) << result.out;
    EXPECT_LT(first, second);
    // The second scenario's module reads its INI defaults again and plays slot 7 once.
    EXPECT_NE(result.out.find("{\"update\":1,\"event\":\"write\",\"value\":260}", second),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("\"looping\":false", second), std::string::npos) << result.out;
}

TEST_F(HostCliTest, SeveralScenariosAllPassWithARelativeRoot) {
    write_file("a.scn", "connect\nupdate\nexpect 260\ndisconnect\n");
    // Each scenario enters the root from where cuebox started, not from the last root.
    const std::string relative =
        std::filesystem::relative(root_, std::filesystem::current_path()).string();
    ASSERT_NE(relative.rfind("/", 0), 0u);
    const ToolResult result = cuebox({"--root", relative, "run", path("a.scn"), path("a.scn")});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "cuebox: 2 scenarios, 0 failed\n");
}

TEST_F(HostCliTest, OneSoundFileOrDrawingTakesOneScenario) {
    write_file("a.scn", "connect\n");
    const ToolResult result =
        cuebox({"--root", root_, "run", path("a.scn"), path("a.scn"), "--out", path("x.wav")});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err.rfind("cuebox: --out, --timeline and --panel take one scenario file\n", 0),
              0u)
        << result.err;
}

}  // namespace

// Sound asked for on a machine without a sound device: said once, with what to check, and the
// run ends with its own status, unless a failed expectation says more or --silent asked for none.
TEST_F(HostCliTest, NoSoundDeviceIsSaidOnceAndEndsTheRunWithItsOwnStatus) {
    write_tone("Sound/jvb/jvb_xml_07.wav", 700, 0.3);
    write_file("play.scn", "connect\nupdate\nwrite 7\nupdate\nexpect 260\ndisconnect\n");
    write_file("wrong.scn", "connect\nupdate\nwrite 7\nupdate\nexpect 7\n");
    // OpenAL Soft with no backend it knows opens no audio device, as a machine without sound.
    setenv("ALSOFT_DRIVERS", "no-such-backend", 1);
    const struct {
        std::vector<std::string> arguments;
        std::string input;
        int status;
        bool told;
    } cases[] = {
        {{"--live", "run", path("play.scn")}, "", NO_SOUND_STATUS, true},
        {{"--live", "run", path("play.scn"), path("play.scn")}, "", NO_SOUND_STATUS, true},
        {{"--live", "run", path("wrong.scn")}, "", 1, true},
        {{"--live", "run", path("play.scn"), path("wrong.scn")}, "", 1, true},
        {{"--live", "run", path("play.scn"), "--silent"}, "", 0, false},
        {{"--live", "console"}, "7\nquit\n", NO_SOUND_STATUS, true},
        {{"console"}, "7\nquit\n", 0, false},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--root", root_});
        const ToolResult result = cuebox(arguments, c.input);
        EXPECT_EQ(result.status, c.status) << c.arguments[1] << " " << result.err;
        const std::string told =
            "cuebox: no sound output (DirectSound could not start: 0x88780078 DSERR_NODRIVER";
        const size_t at = result.err.find(told);
        EXPECT_EQ(at != std::string::npos, c.told) << result.err;
        if (at != std::string::npos) {
            EXPECT_EQ(result.err.find(told, at + 1), std::string::npos) << "said twice";
            EXPECT_NE(result.err.find("check that a sound server"), std::string::npos);
        }
    }
    unsetenv("ALSOFT_DRIVERS");
}
