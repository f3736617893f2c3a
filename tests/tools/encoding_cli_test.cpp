// Names that are not plain ASCII, through the tools: an INI file in each encoding Windows reads
// and in several ANSI code pages. The JSON of check and of the trace parses with a strict UTF-8
// reader, the text output is valid UTF-8, and each name appears as Windows reads it.
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "platform/codepage.h"
#include "tools/tool_runner.h"

namespace {

using EncodingCliTest = ToolTest;

std::string utf16(const std::string& utf8, bool big_endian) {
    std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
    for (size_t i = 0; i < utf8.size();) {
        unsigned c = static_cast<unsigned char>(utf8[i]);
        size_t length = 1;
        if (c >= 0xE0) {
            c &= 0x0F, length = 3;
        } else if (c >= 0xC0) {
            c &= 0x1F, length = 2;
        }
        for (size_t k = 1; k < length; ++k) c = c << 6 | (utf8[i + k] & 0x3F);
        i += length;
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        out += big_endian ? std::string{high, low} : std::string{low, high};
    }
    return out;
}

TEST_F(EncodingCliTest, OutputIsValidAndShowsNamesAsWindowsReadsThem) {
    const std::string body = "[Config]\r\nLVar=cue\r\n[Sounds]\r\nSound00=Sound\\caf";
    const struct {
        const char* what;
        std::string ini;
        const char* code_page;
        std::string shown;               // the slot's path as Windows reads it, in UTF-8
        std::set<std::string> warnings;  // the kinds check warns of
        bool found;                      // it names Sound/café.wav, which exists
    } cases[] = {
        {"ANSI", body + "\xE9.wav\r\n", "1252", "Sound\\caf\xC3\xA9.wav", {}, true},
        {"ANSI 1251", body + "\xE9.wav\r\n", "1251", "Sound\\caf\xD0\xB9.wav", {}, false},
        {"UTF-8 BOM",
         "\xEF\xBB\xBF" + body + "\xC3\xA9.wav\r\n",
         "1252",
         "Sound\\caf\xC3\xA9.wav",
         {},
         true},
        {"UTF-8",
         body + "\xC3\xA9.wav\r\n",
         "1252",
         "Sound\\caf\xC3\x83\xC2\xA9.wav",
         {"utf8_without_bom", "other_spelling"},
         false},
        {"UTF-16 LE",
         utf16(body + "\xC3\x89.wav\r\n", false),
         "1252",
         "Sound\\caf\xC3\x89.wav",
         {},
         true},
        {"UTF-16 BE",
         utf16(body + "\xC3\xA9.wav\r\n", true),
         "cp1252",
         "Sound\\caf\xC3\xA9.wav",
         {},
         true},
        {"ANSI, CR alone, a file named in ANSI bytes on disk",
         "[Config]\rLVar=cue\r[Sounds]\rSound00=Sound\\caf\xE8.wav\r",
         "1252",
         "Sound\\caf\xC3\xA8.wav",
         {"other_spelling"},
         false},
    };
    write_tone("Sound/caf\xC3\xA9.wav", 440, 0.1);
    write_tone("Sound/caf\xE8.wav", 440, 0.1);
    write_file("play.scn", "connect\nupdate\nwrite 0\nupdate\ndisconnect\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        write_file("Gauges/jvb_cuebox.ini", c.ini);
        const std::vector<std::string> common = {"--root", root_, "--codepage", c.code_page};

        std::vector<std::string> arguments = {"check", "--json"};
        arguments.insert(arguments.end(), common.begin(), common.end());
        const ToolResult json = cuebox(arguments);
        nlohmann::json report;
        ASSERT_NO_THROW(report = nlohmann::json::parse(json.out)) << json.out;
        EXPECT_EQ(report["slots"][0]["path"], c.shown);
        EXPECT_EQ(report["slots"][0]["exists"], c.found);
        EXPECT_EQ(report["variable"]["name"], "cue");
        std::set<std::string> warnings;
        for (const auto& warning : report["warnings"]) {
            warnings.insert(warning["kind"].get<std::string>());
            EXPECT_EQ(warning["line"], 4);
            EXPECT_EQ(warning["file"], "./Gauges/jvb_cuebox.ini");
            EXPECT_NE(warning["message"].get<std::string>().find(c.shown), std::string::npos);
        }
        EXPECT_EQ(warnings, c.warnings);

        arguments[1] = "--all";
        const ToolResult text = cuebox(arguments);
        EXPECT_TRUE(codepage::valid_utf8(text.out)) << text.out;
        EXPECT_NE(text.out.find(c.shown), std::string::npos) << text.out;

        arguments = {"run", path("play.scn"), "--trace"};
        arguments.insert(arguments.end(), common.begin(), common.end());
        const ToolResult trace = cuebox(arguments);
        std::istringstream lines(trace.out);
        std::string line;
        std::string opened;
        int profiles = 0;
        while (std::getline(lines, line)) {
            nlohmann::json event;
            ASSERT_NO_THROW(event = nlohmann::json::parse(line)) << line;
            if (event["event"] == "profile" && event["key"] == "Sound00") {
                ++profiles;
                EXPECT_EQ(event["value"], c.shown);
            }
            if (event["event"] == "open" && event["via"] == "fopen") opened = event["path"];
        }
        EXPECT_EQ(profiles, 1);
        EXPECT_EQ(opened, c.shown);
    }
}

}  // namespace
