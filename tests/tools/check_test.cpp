// `cuebox check` against sound sets and INI files with every mistake that ends in silence, each
// once, its JSON taken apart field by field.
#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>

#include "support/json_reader.h"
#include "support/no_hang.h"
#include "tools/tool_runner.h"

namespace {

using riff::Bytes;

class CheckTest : public ToolTest {
  protected:
    // Runs check --json and parses what it prints.
    json::Value check(std::vector<std::string> arguments, int expected_status) {
        arguments.insert(arguments.begin(), {"check", "--json", "--root", root_});
        const ToolResult result = cuebox(arguments);
        EXPECT_EQ(result.status, expected_status) << result.out << result.err;
        json::Value value;
        EXPECT_TRUE(json::parse(result.out, value)) << result.out;
        return value;
    }

    // The INI file's text from its lines; remembers each line's number by its text.
    std::string ini(const std::vector<std::string>& lines) {
        std::string text;
        for (size_t i = 0; i < lines.size(); ++i) {
            text += lines[i] + "\r\n";
            line_of_[lines[i]] = static_cast<int>(i) + 1;
        }
        return text;
    }
    int line(const std::string& text) { return line_of_.at(text); }

    static std::vector<const json::Value*> problems(const json::Value& report,
                                                    const std::string& kind) {
        std::vector<const json::Value*> found;
        for (const json::Value& problem : report["problems"].items) {
            if (problem["kind"].text == kind) found.push_back(&problem);
        }
        return found;
    }
    // The one problem of `kind` for `slot` (or, with slot -1, on `line`).
    static const json::Value* problem(const json::Value& report, const std::string& kind, int slot,
                                      int line = 0) {
        for (const json::Value* p : problems(report, kind)) {
            if (slot >= 0 && (*p)["slot"].number == slot) return p;
            if (slot < 0 && line > 0 && (*p)["line"].number == line) return p;
            if (slot < 0 && line == 0) return p;
        }
        return nullptr;
    }

    std::map<std::string, int> line_of_;
};

Bytes samples(size_t count) {
    return riff::pattern(count);
}

Bytes operator+(Bytes first, const Bytes& second) {
    riff::append(first, second);
    return first;
}

TEST_F(CheckTest, ExplainsEachBrokenSlotAndIniMistake) {
    const std::string long_path = "./Sound/" + std::string(128, 'a') + ".wav";
    write_file("Gauges/jvb_cuebox.ini", ini({"; a panel's sounds, with each mistake once",
                                             "[Config]",
                                             "LVar=panel_sounds",
                                             "Sound03=./Sound/set/good.wav",
                                             "[Sound]",
                                             "Sound04=./Sound/set/good.wav",
                                             "[Sounds]",
                                             "Sound01=./Sound/set/good.wav",
                                             "sound01=./Sound/set/other.wav",
                                             "Sound7=./Sound/set/good.wav",
                                             "Sound100=./Sound/set/good.wav",
                                             "Sound09=" + long_path,
                                             "Sound10=./Sound/set/missing.wav ; the gear horn",
                                             "Sound11=Sound\\SET\\Good.WAV",
                                             "Sound12=./Sound/set/not_riff.wav",
                                             "Sound13=./Sound/set/not_wave.wav",
                                             "Sound14=./Sound/set/no_fmt.wav",
                                             "Sound15=./Sound/set/short_fmt.wav",
                                             "Sound16=./Sound/set/no_extra.wav",
                                             "Sound17=./Sound/set/no_data.wav",
                                             "Sound18=./Sound/set/long_data.wav",
                                             "Sound19=./Sound/set/mpeg.wav",
                                             "Sound20=./Sound/set",
                                             "Sound21=\"./Sound/set/good.wav\"",
                                             "[sounds]",
                                             "Sound22=./Sound/set/good.wav"}));
    write_tone("Sound/jvb/jvb_xml_00.wav", 440, 0.5);
    write_tone("Sound/set/good.wav", 660, 0.25, 44100, 2, 16);
    write_tone("Sound/set/other.wav", 880, 0.25);
    write_file("Sound/set/not_riff.wav", "ID3\x03 this is no RIFF file");
    write_bytes(
        "Sound/set/not_wave.wav",
        riff::file(riff::pcm_format(1, 22050, 16) + riff::chunk("data", samples(64)), "AVI "));
    write_bytes("Sound/set/no_fmt.wav", riff::file(riff::chunk("data", samples(64))));
    write_bytes("Sound/set/short_fmt.wav",
                riff::file(riff::chunk("fmt ", samples(14)) + riff::chunk("data", samples(64))));
    Bytes adpcm = riff::format_fields(2, 1, 22050, 4);
    riff::append_le16(adpcm, 40);  // 40 extra format bytes, which the file does not hold
    write_bytes("Sound/set/no_extra.wav", riff::file(riff::chunk("fmt ", adpcm)));
    write_bytes("Sound/set/no_data.wav", riff::file(riff::pcm_format(1, 22050, 16)));
    write_bytes("Sound/set/long_data.wav",
                riff::file(riff::pcm_format(1, 22050, 16) +
                           riff::chunk_with_size("data", 64 + 1000, samples(64))));
    Bytes mpeg = riff::format_fields(85, 1, 22050, 0);
    riff::append_le16(mpeg, 12);
    riff::append(mpeg, samples(12));
    write_bytes("Sound/set/mpeg.wav",
                riff::file(riff::chunk("fmt ", mpeg) + riff::chunk("data", samples(400))));

    const json::Value report = check({}, 1);
    ASSERT_EQ(report["slots"].size(), 100u);
    const json::Value& slots = report["slots"];

    // The configuration as the module reads it.
    EXPECT_EQ(report["ini"]["path"].text, "./Gauges/jvb_cuebox.ini");
    EXPECT_EQ(report["ini"]["named_by"].text, "default");
    EXPECT_TRUE(report["ini"]["readable"].boolean);
    EXPECT_EQ(report["variable"]["name"].text, "panel_sounds");
    EXPECT_EQ(report["variable"]["source"].text, "ini");
    EXPECT_EQ(report["variable"]["line"].number, line("LVar=panel_sounds"));
    EXPECT_TRUE(report["device"]["available"].boolean);
    EXPECT_FALSE(report["ok"].boolean);

    // Slots that play: a default file, the first of two duplicate keys, a Windows-style path
    // in other letter case, a quoted value.
    EXPECT_EQ(slots[0]["source"].text, "default");
    EXPECT_TRUE(slots[0]["plays"].boolean);
    EXPECT_EQ(slots[0]["format"]["tag"].number, 1);
    EXPECT_EQ(slots[0]["format"]["channels"].number, 1);
    EXPECT_EQ(slots[0]["format"]["rate"].number, 22050);
    EXPECT_EQ(slots[0]["format"]["bits"].number, 16);
    EXPECT_NEAR(slots[0]["duration"].number, 0.5, 0.001);
    EXPECT_EQ(slots[1]["path"].text, "./Sound/set/good.wav");
    EXPECT_EQ(slots[1]["line"].number, line("Sound01=./Sound/set/good.wav"));
    EXPECT_TRUE(slots[1]["plays"].boolean);
    EXPECT_EQ(slots[11]["path"].text, "Sound\\SET\\Good.WAV");
    EXPECT_TRUE(slots[11]["exists"].boolean);
    EXPECT_EQ(slots[11]["resolved"].text, "Sound/set/good.wav");
    EXPECT_TRUE(slots[11]["plays"].boolean);
    EXPECT_EQ(slots[11]["format"]["channels"].number, 2);
    EXPECT_EQ(slots[11]["format"]["rate"].number, 44100);
    EXPECT_NEAR(slots[11]["duration"].number, 0.25, 0.001);
    EXPECT_EQ(slots[21]["path"].text, "./Sound/set/good.wav");
    EXPECT_TRUE(slots[21]["plays"].boolean);

    // Keys the module never reads leave their slots on the default rule.
    for (int slot : {3, 4, 7, 22}) {
        EXPECT_EQ(slots[slot]["source"].text, "default") << slot;
        EXPECT_FALSE(slots[slot]["exists"].boolean) << slot;
    }

    // Files that are not there.
    EXPECT_EQ(slots[9]["path"].text.size(), 127u);
    EXPECT_EQ(slots[9]["path"].text, long_path.substr(0, 127));
    EXPECT_FALSE(slots[9]["exists"].boolean);
    EXPECT_FALSE(slots[10]["exists"].boolean);
    EXPECT_TRUE(slots[10]["reader"].is_null());
    EXPECT_FALSE(slots[10]["plays"].boolean);
    EXPECT_TRUE(slots[20]["folder"].boolean);
    EXPECT_FALSE(slots[20]["plays"].boolean);

    // Files the WAV reader refuses, each with the check that failed.
    const std::map<int, std::string> reasons = {{12, "not_riff"},
                                                {13, "not_wave"},
                                                {14, "no_fmt"},
                                                {15, "fmt_too_short"},
                                                {16, "format_extra_missing"},
                                                {17, "no_data"}};
    for (const auto& expected : reasons) {
        const json::Value& slot = slots[expected.first];
        EXPECT_TRUE(slot["exists"].boolean) << expected.first;
        EXPECT_FALSE(slot["reader"]["accepted"].boolean) << expected.first;
        EXPECT_EQ(slot["reader"]["result"].text, "0x80004005") << expected.first;
        EXPECT_EQ(slot["reader"]["reason"].text, expected.second) << expected.first;
        EXPECT_FALSE(slot["plays"].boolean) << expected.first;
        EXPECT_NE(problem(report, "wav_refused", expected.first), nullptr) << expected.first;
    }
    // A file cut short plays what it holds, with a warning that says what is missing.
    EXPECT_TRUE(slots[18]["reader"]["accepted"].boolean);
    EXPECT_TRUE(slots[18]["plays"].boolean);
    EXPECT_EQ(slots[18]["reader"]["missing_bytes"].number, 1000);
    EXPECT_EQ(slots[18]["reader"]["declared_bytes"].number, 1064);
    EXPECT_EQ(slots[18]["data_bytes"].number, 64);
    ASSERT_EQ(report["warnings"].size(), 1u);
    const json::Value& short_data = report["warnings"][0];
    EXPECT_EQ(short_data["kind"].text, "data_short");
    EXPECT_EQ(short_data["slot"].number, 18);
    EXPECT_NE(short_data["message"].text.find("1000 more than the file holds"), std::string::npos)
        << short_data["message"].text;
    EXPECT_NE(short_data["message"].text.find("0.00 s"), std::string::npos);
    EXPECT_EQ(slots[14]["format"].kind, json::Value::NUL);

    // A file the reader takes but the sound device refuses.
    EXPECT_TRUE(slots[19]["reader"]["accepted"].boolean);
    EXPECT_EQ(slots[19]["format"]["tag"].number, 85);
    EXPECT_FALSE(slots[19]["device"]["accepted"].boolean);
    EXPECT_EQ(slots[19]["device"]["result"].text, "0x80004001");
    EXPECT_FALSE(slots[19]["plays"].boolean);

    // The problems, each once, and nothing else.
    EXPECT_NE(problem(report, "unknown_key", -1, line("Sound03=./Sound/set/good.wav")), nullptr);
    const json::Value* section = problem(report, "unknown_section", -1, line("[Sound]"));
    ASSERT_NE(section, nullptr);
    EXPECT_NE((*section)["message"].text.find("[Sounds]"), std::string::npos);
    const json::Value* duplicate = problem(report, "duplicate_key", 1);
    ASSERT_NE(duplicate, nullptr);
    EXPECT_EQ((*duplicate)["line"].number, line("sound01=./Sound/set/other.wav"));
    const json::Value* seven =
        problem(report, "unknown_key", -1, line("Sound7=./Sound/set/good.wav"));
    ASSERT_NE(seven, nullptr);
    EXPECT_NE((*seven)["message"].text.find("Sound07"), std::string::npos);
    const json::Value* hundred =
        problem(report, "unknown_key", -1, line("Sound100=./Sound/set/good.wav"));
    ASSERT_NE(hundred, nullptr);
    EXPECT_NE((*hundred)["message"].text.find("00 to 99"), std::string::npos);
    EXPECT_NE(problem(report, "duplicate_section", -1, line("[sounds]")), nullptr);
    EXPECT_NE(problem(report, "value_cut", 9), nullptr);
    EXPECT_NE(problem(report, "file_missing", 9), nullptr);
    ASSERT_NE(problem(report, "file_missing", 10), nullptr);
    // A comment after a value is part of it, as Windows reads the file: the message says so.
    EXPECT_NE((*problem(report, "file_missing", 10))["message"].text.find("part of the value"),
              std::string::npos);
    EXPECT_EQ((*problem(report, "file_missing", 9))["message"].text.find("part of the value"),
              std::string::npos);
    EXPECT_NE(problem(report, "file_is_folder", 20), nullptr);
    EXPECT_NE(problem(report, "device_refused", 19), nullptr);
    // Three keys never read, one section never read, one duplicate key, one duplicate
    // section, one cut value, two missing files, six refused files, one refused format, one
    // folder.
    EXPECT_EQ(report["problems"].size(), 3u + 1 + 1 + 1 + 1 + 2 + 6 + 1 + 1)
        << "unexpected extra problems";
    for (const json::Value& p : report["problems"].items) {
        const double slot = p["slot"].is_null() ? -1 : p["slot"].number;
        EXPECT_TRUE(slot != 0 && slot != 11 && slot != 21 && slot != 50) << p["message"].text;
    }
}

TEST_F(CheckTest, GoodSetPassesAndListsOnlySlotsInUse) {
    write_file("Gauges/jvb_cuebox.ini", "[Sounds]\nSound05=.\\Sound\\five.wav\n");
    write_tone("Sound/five.wav", 500, 0.2);
    write_tone("Sound/jvb/jvb_xml_42.wav", 420, 0.2);

    const json::Value report = check({}, 0);
    EXPECT_TRUE(report["ok"].boolean);
    EXPECT_EQ(report["problems"].size(), 0u);
    EXPECT_EQ(report["variable"]["name"].text, "jvb_cuebox_id");
    EXPECT_EQ(report["variable"]["source"].text, "default");
    EXPECT_TRUE(report["slots"][5]["plays"].boolean);
    EXPECT_EQ(report["slots"][5]["resolved"].text, "Sound/five.wav");
    EXPECT_TRUE(report["slots"][42]["plays"].boolean);

    // The readable table: the configured slot and the default file that exists, or all 100.
    auto rows = [](const std::string& out) {
        int count = 0;
        for (size_t at = 0; (at = out.find("\n  ", at)) != std::string::npos; ++at) {
            if (at + 5 < out.size() && std::isdigit(static_cast<unsigned char>(out[at + 3])) &&
                std::isdigit(static_cast<unsigned char>(out[at + 4])))
                ++count;
        }
        return count;
    };
    const ToolResult table = cuebox({"check", "--root", root_});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(rows(table.out), 2) << table.out;
    EXPECT_NE(table.out.find("  05  ini"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("  42  default"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("no problems found"), std::string::npos) << table.out;
    const ToolResult all = cuebox({"check", "--all", "--root", root_});
    EXPECT_EQ(rows(all.out), 100) << all.out;
}

TEST_F(CheckTest, VariableNamesThatNoGaugeReaches) {
    write_tone("Sound/jvb/jvb_xml_00.wav", 300, 0.1);  // something to play
    struct Case {
        std::string value;
        std::string kind;
        std::string name;
    };
    for (const Case& c : {Case{"", "lvar_empty", ""}, Case{"my sounds", "lvar_spaces", "my sounds"},
                          Case{"L:my_sounds", "lvar_prefix", "L:my_sounds"}}) {
        write_file("Gauges/panel.ini", "[Config]\nLVar=" + c.value + "\n");
        const json::Value report = check({"--param", ".\\Gauges\\panel.ini"}, 1);
        EXPECT_EQ(report["variable"]["name"].text, c.name);
        EXPECT_EQ(report["ini"]["named_by"].text, "parameter");
        ASSERT_EQ(report["problems"].size(), 1u) << c.kind;
        EXPECT_EQ(report["problems"][0]["kind"].text, c.kind);
        EXPECT_EQ(report["problems"][0]["line"].number, 2);
    }
    const json::Value report = check({"--param", ".\\Gauges\\panel.ini"}, 1);
    EXPECT_NE(report["problems"][0]["message"].text.find("LVar=my_sounds"), std::string::npos);
}

TEST_F(CheckTest, IniFilesTheModuleCannotUse) {
    write_tone("Sound/jvb/jvb_xml_03.wav", 300, 0.1);
    write_file("panel.ini", "[Config]\nLVar=in_the_root\n");

    // Named without a folder: Windows looks in its own folder, not in the simulator's.
    json::Value report = check({"--param", "panel.ini"}, 1);
    EXPECT_NE(problem(report, "ini_no_folder", -1), nullptr);
    EXPECT_NE(problem(report, "ini_missing", -1), nullptr);
    EXPECT_EQ(report["variable"]["name"].text, "jvb_cuebox_id");
    write_file("windows/panel.ini", "[Config]\nLVar=in_the_windows_folder\n");
    report = check({"--param", "panel.ini"}, 1);
    EXPECT_EQ(report["problems"].size(), 1u);
    EXPECT_EQ(report["ini"]["resolved"].text, "windows/panel.ini");
    EXPECT_EQ(report["variable"]["name"].text, "in_the_windows_folder");

    // Named but missing, or a folder.
    report = check({"--param", ".\\Gauges\\nowhere.ini"}, 1);
    EXPECT_EQ(report["problems"].size(), 1u);
    EXPECT_NE(problem(report, "ini_missing", -1), nullptr);
    EXPECT_FALSE(report["ini"]["found"].boolean);
    std::filesystem::create_directories(path("Gauges/folder.ini"));
    report = check({"--param", ".\\Gauges\\folder.ini"}, 1);
    EXPECT_NE(problem(report, "ini_unreadable", -1), nullptr);
    EXPECT_FALSE(report["ini"]["readable"].boolean);

    // 129 characters are still a path; from 130 on the module reads no INI file at all.
    const std::string folder = ".\\Gauges\\";
    const std::string longest = folder + std::string(129 - folder.size() - 4, 'p') + ".ini";
    write_file("Gauges/" + longest.substr(folder.size()), "[Config]\nLVar=long_named\n");
    report = check({"--param", longest}, 0);
    EXPECT_EQ(report["variable"]["name"].text, "long_named");
    const std::string too_long = folder + std::string(130 - folder.size() - 4, 'p') + ".ini";
    write_file("Gauges/" + too_long.substr(folder.size()), "[Config]\nLVar=long_named\n");
    report = check({"--param", too_long}, 1);
    ASSERT_EQ(report["problems"].size(), 1u);
    EXPECT_EQ(report["problems"][0]["kind"].text, "parameter_too_long");
    EXPECT_TRUE(report["ini"]["path"].is_null());
    EXPECT_EQ(report["variable"]["name"].text, "jvb_cuebox_id");
    EXPECT_TRUE(report["slots"][3]["plays"].boolean);

    // None named and the default missing: the INI files of ours in Gauges are listed, with how
    // to use one. Without any, the defaults apply, which is no mistake while a default sound
    // file exists, and is one when nothing at all would play.
    report = check({}, 1);
    const json::Value* elsewhere = problem(report, "ini_elsewhere", -1);
    ASSERT_NE(elsewhere, nullptr);
    EXPECT_NE((*elsewhere)["message"].text.find("--param " + longest), std::string::npos)
        << (*elsewhere)["message"].text;
    std::filesystem::remove_all(path("Gauges"));
    report = check({}, 0);
    EXPECT_FALSE(report["ini"]["found"].boolean);
    EXPECT_EQ(report["notes"].size(), 1u);
    std::filesystem::remove_all(path("Sound"));
    report = check({}, 1);
    EXPECT_NE(problem(report, "nothing_configured", -1), nullptr);
}

// An INI file the module does not find: the message names the file the author meant, in
// whichever encoding it is saved; none is named where none is near.
TEST_F(CheckTest, AnIniFileNotFoundNamesTheOneMeant) {
    write_tone("Sound/jvb/jvb_xml_03.wav", 300, 0.1);
    write_file("Gauges/myplane.ini", "[Config]\r\nLVar=myplane_snd\r\n");
    std::string utf16 = "\xFF\xFE";  // Notepad's "Unicode"
    for (const char c : std::string("[Sounds]\r\nSound03=x.wav\r\n")) utf16 += {c, '\0'};
    write_file("Gauges/Unicode Sounds.ini", utf16);
    const struct {
        std::vector<std::string> arguments;
        const char* kind;
        const char* says;      // in the message
        const char* not_says;  // nor this
    } cases[] = {
        {{"--param", ".\\Gauges\\myplnae.ini"}, "ini_missing",
         "did you mean .\\Gauges\\myplane.ini?", "Unicode"},
        {{"--param", "Gauges/MYPLANE.in"}, "ini_missing", "did you mean Gauges/myplane.ini?", ""},
        {{"--param", ".\\Gauges\\other_plane.ini"}, "ini_missing", "was not found",
         "did you mean"},
        // None named, jvb_cuebox.ini absent: both of ours are listed, the UTF-16 one too.
        {{}, "ini_elsewhere", "Gauges holds Unicode Sounds.ini, myplane.ini", ""},
    };
    for (const auto& c : cases) {
        const json::Value report = check(c.arguments, 1);
        const json::Value* found = problem(report, c.kind, -1);
        ASSERT_NE(found, nullptr) << c.kind;
        const std::string& message = (*found)["message"].text;
        EXPECT_NE(message.find(c.says), std::string::npos) << message;
        if (*c.not_says) {
            EXPECT_EQ(message.find(c.not_says), std::string::npos) << message;
        }
    }
}

// Pipes named as files: the tool says so at once instead of waiting for a writer. Each run is
// in a child process, so a tool that blocks fails this test alone.
TEST_F(CheckTest, PipesNamedAsFilesAreReportedWithoutBlocking) {
    write_file("Gauges/jvb_cuebox.ini",
               "[Config]\nLVar=piped\n[Sounds]\nSound04=Sound\\pipe.wav\n");
    std::filesystem::create_directories(path("Sound"));
    ASSERT_EQ(::mkfifo(path("Sound/pipe.wav").c_str(), 0644), 0);
    ASSERT_EQ(::mkfifo(path("Gauges/pipe.ini").c_str(), 0644), 0);
    EXPECT_EQ(run_in_child([&] {
                  const json::Value report = check({}, 1);
                  const json::Value* pipe = problem(report, "file_not_regular", 4);
                  return pipe && report["slots"][4]["special"].boolean &&
                         report["problems"].size() == 1;
              }),
              "true");
    EXPECT_EQ(run_in_child([&] {
                  const json::Value report = check({"--param", ".\\Gauges\\pipe.ini"}, 1);
                  return problem(report, "ini_unreadable", -1) != nullptr &&
                         report["variable"]["name"].text == "jvb_cuebox_id";
              }),
              "true");
}

// Formats by name in aligned columns; what plays here but not on every Windows is warned
// about; what no Windows plays, or what is no WAV file at all, says what to save it as.
TEST_F(CheckTest, FormatsInWordsWithWhatPlaysEverywhere) {
    auto with_extra = [](uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                         const Bytes& extra) {
        Bytes format = riff::format_fields(tag, channels, rate, bits);
        riff::append_le16(format, static_cast<uint16_t>(extra.size()));
        return riff::file(riff::chunk("fmt ", format + extra) + riff::chunk("data", samples(64)));
    };
    auto cut = [](Bytes file, size_t size) {
        file.resize(size);
        return file;
    };
    Bytes extensible_float;  // valid bits, channel mask, the sub-format GUID of IEEE float
    riff::append_le16(extensible_float, 32);
    riff::append_le32(extensible_float, 3);
    riff::append_le32(extensible_float, 3);
    riff::append_le16(extensible_float, 0);
    riff::append_le16(extensible_float, 0x10);
    riff::append(extensible_float, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    const struct {
        Bytes file;
        const char* format;
        const char* kind;    // the finding, or "" for none
        const char* advice;  // what it must say
    } cases[] = {
        {riff::wav(samples(64)), "PCM 1 ch 22050 Hz 16-bit", "", ""},
        {riff::wav(samples(64), 2, 48000), "PCM 2 ch 48000 Hz 16-bit", "format_not_always_safe",
         "48000 Hz"},
        {with_extra(3, 1, 44100, 32, {}), "IEEE float 1 ch 44100 Hz 32-bit",
         "format_not_always_safe", "IEEE float samples"},
        {with_extra(0xFFFE, 2, 44100, 32, extensible_float),
         "extensible IEEE float 2 ch 44100 Hz 32-bit", "format_not_always_safe", "extensible"},
        {with_extra(0x55, 1, 22050, 0, Bytes(12, 0)), "MPEG Layer 3 1 ch 22050 Hz",
         "device_refused", "no compressed format"},
        {with_extra(2, 1, 22050, 4, Bytes(32, 0)), "MS ADPCM 1 ch 22050 Hz 4-bit", "device_refused",
         "save it as 16-bit PCM"},
        {riff::text("ID3\x03") + samples(64), "-", "wav_refused", "it is an MP3 file"},
        {riff::text("OggS") + samples(64), "-", "wav_refused", "an Ogg file"},
        // Files cut short: what the refused file holds where the reader stopped.
        {cut(riff::file(riff::info_list("x") + riff::pcm_format(1, 22050, 16)), 20), "-",
         "wav_refused", "(chunks: LIST)"},
        {cut(riff::file(riff::pcm_format(1, 22050, 16)), 30), "-", "wav_refused",
         "ends inside the 16 bytes"},
        {riff::file(riff::chunk("fmt ", riff::format_fields(2, 1, 22050, 4))), "-", "wav_refused",
         "needs a count of extra format bytes"},
        {riff::text("RIFF\x01"), "-", "wav_refused", "holds only 5 bytes"},
    };
    std::string lines = "[Sounds]\n";
    for (size_t i = 0; i < std::size(cases); ++i) {
        write_bytes("Sound/f" + std::to_string(i) + ".wav", cases[i].file);
        lines += "Sound" + std::to_string(10 + i) + "=Sound\\f" + std::to_string(i) + ".wav\n";
    }
    write_file("Gauges/jvb_cuebox.ini", lines);
    const ToolResult text = cuebox({"check", "--root", root_});
    const json::Value report = check({}, 1);
    size_t length_column = std::string::npos;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const int slot = 10 + static_cast<int>(i);
        const size_t row = text.out.find("\n  " + std::to_string(slot) + "  ini      ");
        ASSERT_NE(row, std::string::npos) << text.out;
        const std::string line = text.out.substr(row + 1, text.out.find('\n', row + 1) - row - 1);
        EXPECT_EQ(line.find(std::string(c.format) + "  "), 15u) << line;
        const size_t length = line.find_first_not_of(' ', 15 + std::strlen(c.format));
        if (length_column == std::string::npos) length_column = length;
        EXPECT_EQ(length, length_column) << "columns out of line:\n" << text.out;
        const json::Value* found = nullptr;
        for (const char* list : {"problems", "warnings"}) {
            for (const json::Value& p : report[list].items) {
                if (p["slot"].number == slot) found = &p;
            }
        }
        if (!*c.kind) {
            EXPECT_EQ(found, nullptr) << line;
            continue;
        }
        ASSERT_NE(found, nullptr) << line;
        EXPECT_EQ((*found)["kind"].text, c.kind) << line;
        EXPECT_NE((*found)["message"].text.find(c.advice), std::string::npos)
            << (*found)["message"].text;
    }
}

TEST_F(CheckTest, UsageErrorsExitWithTwo) {
    EXPECT_EQ(cuebox({"check", "extra"}).status, 2);
    EXPECT_EQ(cuebox({"check", "--root", path("no/such/folder")}).status, 2);
    EXPECT_EQ(cuebox({"check", "--bogus"}).status, 2);
}

}  // namespace
