// A whole panel: gauges found in folders and cabinets (read with libmspack from memory), DLL
// gauges, missing ones; then run in panel order with G: variables per instance, clicks, and each
// script problem reported once.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "panel/cabinet.h"
#include "panel/panel_runner.h"
#include "support/file_text.h"

namespace {

// Files in memory, found in any letter case, as on the simulator's file system.
struct MemoryFiles : PanelFiles {
    std::map<std::string, std::string> files;  // by lower-case path
    std::vector<std::string> reads;

    void add(const std::string& path, const std::string& bytes) { files[lower_text(path)] = bytes; }
    Result read(const std::string& path, size_t limit, std::string& bytes) override {
        reads.push_back(path);
        const auto found = files.find(lower_text(path));
        if (found == files.end()) return MISSING;
        if (found->second.size() > limit) return TOO_LARGE;
        bytes = found->second;
        return READ;
    }
    bool exists(const std::string& path) override { return files.count(lower_text(path)) > 0; }
};

std::string gauge_xml(const std::string& update) {
    return "<Gauge><Update>" + update + "</Update></Gauge>";
}

TEST(CabinetTest, FilesAreReadOutOfCompressedAndStoredCabinets) {
    const std::string zipped = file_text(CUEBOX_ZIPPED_CABINET);
    const std::string stored = file_text(CUEBOX_STORED_CABINET);
    ASSERT_FALSE(zipped.empty());
    std::string contents, error;
    ASSERT_EQ(read_from_cabinet(zipped, "beta.xml", contents, error), CabinetResult::FOUND)
        << error;
    EXPECT_EQ(contents, file_text(CUEBOX_FIXTURE_GAUGES "/beta.xml"));
    // Names in any letter case.
    ASSERT_EQ(read_from_cabinet(zipped, "ALPHA.XML", contents, error), CabinetResult::FOUND);
    EXPECT_EQ(contents, file_text(CUEBOX_FIXTURE_GAUGES "/Alpha.xml"));
    ASSERT_EQ(read_from_cabinet(stored, "alpha.xml", contents, error), CabinetResult::FOUND);
    EXPECT_EQ(contents, file_text(CUEBOX_FIXTURE_GAUGES "/Alpha.xml"));
    EXPECT_EQ(read_from_cabinet(zipped, "gamma.xml", contents, error),
              CabinetResult::NOT_IN_CABINET);
    EXPECT_EQ(error, "the cabinet holds no gamma.xml (it holds: Alpha.xml, beta.xml)");
}

TEST(CabinetTest, BrokenCabinetsAreRefused) {
    const std::string zipped = file_text(CUEBOX_ZIPPED_CABINET);
    std::string contents, error;
    EXPECT_EQ(read_from_cabinet("not a cabinet at all", "a.xml", contents, error),
              CabinetResult::NOT_A_CABINET);
    EXPECT_EQ(read_from_cabinet("", "a.xml", contents, error), CabinetResult::NOT_A_CABINET);
    // Cut short: the header promises data that is not there.
    const CabinetResult cut =
        read_from_cabinet(zipped.substr(0, zipped.size() - 40), "beta.xml", contents, error);
    EXPECT_TRUE(cut == CabinetResult::DAMAGED || cut == CabinetResult::NOT_A_CABINET) << error;
    EXPECT_TRUE(contents.empty());
    // Compressed data spoilt: the checksum or the decompressor says so.
    std::string spoilt = zipped;
    for (size_t i = spoilt.size() - 30; i < spoilt.size(); ++i)
        spoilt[i] = static_cast<char>(~spoilt[i]);
    EXPECT_NE(read_from_cabinet(spoilt, "beta.xml", contents, error), CabinetResult::FOUND);
}

TEST(PanelLoadTest, GaugesComeFromFoldersCabinetsAndThePanelsOwnFolder) {
    MemoryFiles files;
    files.add("Aircraft/Plane/panel/panel.cfg",
              "[Window00]\n"
              "gauge00=jvb_cuebox2!jvb_cuebox2, 0, 0, 1, 1, .\\Gauges\\plane.ini\n"
              "gauge01=sounds!gear, 0, 0\n"
              "gauge02=Fixture!beta, 0, 0\n"
              "gauge03=local!horn, 0, 0\n"
              "gauge04=both!one, 0, 0\n"
              "gauge05=Cockpit!Clock, 0, 0\n"
              "gauge06=sounds!gear 0, 0, 5\n"  // the comma after the name left out
              "gauge07=sounds!gear, 0, 0\n"
              "gauge08=sounds!broken, 0, 0\n"
              "gauge09=Fixture!beta 60, 0, 5\n"             // the same, for a gauge in a cabinet
              "gauge10=sounds!Radio Nav-Comm 1, 0, 29\n");  // a name that ends in a number
    files.add("Gauges/Sounds/GEAR.xml", gauge_xml("1"));
    files.add("Gauges/fixture.cab", file_text(CUEBOX_ZIPPED_CABINET));
    files.add("Aircraft/Plane/panel/local/horn.xml", gauge_xml("2"));
    files.add("Gauges/both/one.xml", gauge_xml("3"));
    files.add("Gauges/both.cab", "never read");
    files.add("Gauges/cockpit.gau", "MZ");
    files.add("Gauges/sounds/broken.xml", "<Gauge>");
    const LoadedPanel panel =
        load_panel("Aircraft\\Plane\\panel\\panel.cfg", files, {"JVB_CUEBOX2"});
    ASSERT_EQ(panel.gauges.size(), 6u);
    EXPECT_EQ(panel.gauges[0].kind, PanelGauge::DLL);
    EXPECT_EQ(panel.gauges[0].line.parameters, ".\\Gauges\\plane.ini");
    EXPECT_EQ(panel.gauges[1].source, "Gauges/sounds/gear.xml");
    EXPECT_EQ(panel.gauges[2].source, "Gauges/Fixture.cab");
    EXPECT_EQ(panel.gauges[2].xml.scripts[0].text, "2 (>L:beta, number)");
    EXPECT_EQ(panel.gauges[3].source, "Aircraft/Plane/panel/local/horn.xml");
    EXPECT_EQ(panel.gauges[4].source, "Gauges/both/one.xml");
    EXPECT_EQ(panel.gauges[5].line.number, 7);  // the same gauge twice: two instances
    // The gauge on two lines was read once.
    EXPECT_EQ(std::count(files.reads.begin(), files.reads.end(), "Gauges/sounds/gear.xml"), 1);

    ASSERT_EQ(panel.problems.size(), 4u);
    EXPECT_EQ(panel.problems[0].line, 8);
    EXPECT_NE(panel.problems[0].text.find("gauge not found: no Gauges/sounds/gear 0.xml"),
              std::string::npos);
    EXPECT_NE(panel.problems[0].text.find("is a comma missing after gear?"), std::string::npos)
        << panel.problems[0].text;
    EXPECT_EQ(panel.problems[1].line, 10);
    EXPECT_NE(panel.problems[1].text.find("Gauges/sounds/broken.xml: line 1: not well-formed"),
              std::string::npos);
    EXPECT_EQ(panel.problems[2].line, 11);
    EXPECT_NE(panel.problems[2].text.find("the cabinet holds no beta 60.xml"), std::string::npos);
    EXPECT_NE(panel.problems[2].text.find("is a comma missing after beta?"), std::string::npos)
        << panel.problems[2].text;
    // Without a gauge of the shorter name, the name is taken as written.
    EXPECT_EQ(panel.problems[3].line, 12);
    EXPECT_EQ(panel.problems[3].text.find("comma"), std::string::npos) << panel.problems[3].text;
    ASSERT_EQ(panel.notes.size(), 2u);
    EXPECT_NE(panel.notes[0].text.find("the folder Gauges/both is used, not Gauges/both.cab"),
              std::string::npos);
    EXPECT_NE(panel.notes[1].text.find("Cockpit!Clock: a DLL gauge (Gauges/Cockpit.gau), listed "
                                       "and skipped"),
              std::string::npos);
}

TEST(PanelLoadTest, ACabinetIsReadOnceForAllItsGauges) {
    MemoryFiles files;
    files.add("panel.cfg", "[Window00]\ngauge00=Fixture!alpha, 0, 0\ngauge01=fixture!Beta, 0, 0\n");
    files.add("Gauges/fixture.cab", file_text(CUEBOX_ZIPPED_CABINET));
    const LoadedPanel panel = load_panel("panel.cfg", files, {});
    ASSERT_EQ(panel.gauges.size(), 2u);
    EXPECT_EQ(panel.gauges[1].xml.scripts[0].text, "2 (>L:beta, number)");
    EXPECT_EQ(std::count(files.reads.begin(), files.reads.end(), "Gauges/Fixture.cab") +
                  std::count(files.reads.begin(), files.reads.end(), "Gauges/fixture.cab"),
              1);
}

TEST(PanelLoadTest, AMissingPanelFileIsOneProblemWithoutALine) {
    MemoryFiles files;
    const LoadedPanel panel = load_panel("panel.cfg", files, {});
    ASSERT_EQ(panel.problems.size(), 1u);
    EXPECT_EQ(panel.problems[0].line, 0);
    EXPECT_EQ(panel.problems[0].text, "the panel file does not exist");
}

// Variables in a map; the listener records the order of the panel and the problems.
struct Recorder : PanelVariables, PanelListener {
    std::vector<std::string> names;
    std::map<int, double> values;
    std::vector<std::string> events;

    int bind(const VariableRef& variable, std::string&) override {
        const auto known = std::find(names.begin(), names.end(), variable.key());
        if (known != names.end()) return static_cast<int>(known - names.begin());
        names.push_back(variable.key());
        return static_cast<int>(names.size()) - 1;
    }
    double read(int handle) override { return values[handle]; }
    void write(int handle, double value, const ScriptSource& by) override {
        values[handle] = value;
        char text[64];
        std::snprintf(text, sizeof text, "%g", value);
        events.push_back(*by.gauge + " " + *by.place + " " + names[handle] + "=" + text);
    }
    void host_gauge_update(int instance) override {
        events.push_back("module " + std::to_string(instance));
    }
    void script_problem(const ScriptSource& by, int line, const std::string& token,
                        const std::string& message) override {
        events.push_back("problem " + *by.gauge + " " + *by.place + " line " +
                         std::to_string(line) + " '" + token + "': " + message);
    }
};

class PanelRunTest : public ::testing::Test {
  protected:
    void load(const std::string& panel_cfg) {
        files_.add("panel.cfg", panel_cfg);
        runner_ = std::make_unique<PanelRunner>(load_panel("panel.cfg", files_, {"module"}),
                                                recorder_, recorder_);
    }
    MemoryFiles files_;
    Recorder recorder_;
    std::unique_ptr<PanelRunner> runner_;
};

TEST_F(PanelRunTest, GaugesRunInPanelOrderWithTheModuleAtItsPlace) {
    files_.add("Gauges/g/counter.xml",
               "<Gauge>\n"
               "<Update>(G:Var1) 1 + (&gt;G:Var1) (G:Var1) (&gt;L:count)</Update>\n"
               "<Element><Select><Value>(L:count) 10 * (&gt;L:tens)</Value></Select></Element>\n"
               "</Gauge>");
    load(
        "[Window00]\ngauge00=g!counter,0,0\ngauge01=module!m,0,0\ngauge02=g!counter,0,0\n"
        "gauge03=module!m,0,0,1,1,second\n");
    EXPECT_EQ(runner_->host_gauge_count(), 2);
    runner_->update();
    runner_->update();
    // Each instance counts in its own G:Var1; both write the same L: variable.
    const std::vector<std::string> expected = {
        "g!counter Update count=1", "g!counter Element 1 Value tens=10", "module 0",
        "g!counter Update count=1", "g!counter Element 1 Value tens=10", "module 1",
        "g!counter Update count=2", "g!counter Element 1 Value tens=20", "module 0",
        "g!counter Update count=2", "g!counter Element 1 Value tens=20", "module 1",
    };
    EXPECT_EQ(recorder_.events, expected);
}

TEST_F(PanelRunTest, ClicksFindTheirAreaByNumberOrTooltip) {
    files_.add("Gauges/g/buttons.xml",
               "<Gauge><Mouse>"
               "<Area><Tooltip>Horn test</Tooltip><Click>1 (&gt;L:pressed)</Click></Area>"
               "<Area><Click>2 (&gt;L:pressed)</Click></Area>"
               "<Area><Tooltip>Dead</Tooltip></Area>"
               "</Mouse></Gauge>");
    load("[Window00]\ngauge00=g!buttons,0,0\n");
    std::string error;
    EXPECT_TRUE(runner_->click("g!buttons", "horn TEST", error)) << error;
    EXPECT_TRUE(runner_->click("buttons", "2", error)) << error;
    EXPECT_EQ(recorder_.events, (std::vector<std::string>{"g!buttons Area 1 Click pressed=1",
                                                          "g!buttons Area 2 Click pressed=2"}));
    runner_->update();  // clicks do not run at updates
    EXPECT_EQ(recorder_.events.size(), 2u);
    EXPECT_FALSE(runner_->click("g!buttons", "4", error));
    EXPECT_EQ(error, "g!buttons has no mouse area 4 (it has 3)");
    EXPECT_FALSE(runner_->click("g!buttons", "Dead", error));
    EXPECT_EQ(error, "g!buttons: mouse area 3 has no <Click> script");
    EXPECT_FALSE(runner_->click("g!other", "1", error));
    EXPECT_EQ(error, "no XML gauge g!other in the panel");
}

TEST_F(PanelRunTest, EachScriptProblemIsReportedOnceAndTheRestRuns) {
    files_.add("Gauges/g/faults.xml",
               "<Gauge>\n"
               "<Update>\n"
               "  1 (&gt;L:before)\n"
               "  2 frobnicate\n"
               "</Update>\n"
               "<Element><Select><Value>1 0 / (&gt;L:ratio) p p</Value></Select></Element>\n"
               "</Gauge>");
    files_.add("Gauges/g/fine.xml", gauge_xml("5 (&gt;L:fine)"));
    load("[Window00]\ngauge00=g!faults,0,0\ngauge01=g!fine,0,0\n");
    ASSERT_EQ(recorder_.events.size(), 1u);
    EXPECT_EQ(recorder_.events[0],
              "problem g!faults Update line 4 'frobnicate': not a word of the gauge language: this "
              "script does not run");
    recorder_.events.clear();
    runner_->update();
    runner_->update();
    const std::vector<std::string> expected = {
        "g!faults Element 1 Value ratio=0",
        "problem g!faults Element 1 Value line 6 'p': a value was taken from an empty stack "
        "(it reads 0)",
        "problem g!faults Element 1 Value line 6 '/': division by zero (it gives 0)",
        "g!fine Update fine=5",
        "g!faults Element 1 Value ratio=0",
        "g!fine Update fine=5",
    };
    EXPECT_EQ(recorder_.events, expected);
}

TEST_F(PanelRunTest, AGaugeVariableOutsideVar1ToVar9IsAnError) {
    files_.add("Gauges/g/bad.xml", gauge_xml("(G:Var10)"));
    load("[Window00]\ngauge00=g!bad,0,0\n");
    ASSERT_EQ(recorder_.events.size(), 1u);
    EXPECT_NE(recorder_.events[0].find("a gauge's own variables are G:Var1 to G:Var9"),
              std::string::npos);
}

// The XML examples of the authors' documentation, as written, each made a whole gauge.
std::vector<std::string> documented_gauges() {
    const std::string text = file_text(CUEBOX_DOCS_DIR "/xml_gauges.md");
    std::vector<std::string> gauges;
    for (size_t at = text.find("```xml\n"); at != std::string::npos;
         at = text.find("```xml\n", at + 1)) {
        const size_t start = at + 7;
        std::string xml = text.substr(start, text.find("```", start) - start);
        if (xml.compare(0, 6, "<Click") == 0) xml = "<Mouse><Area>" + xml + "</Area></Mouse>";
        if (xml.compare(0, 6, "<Gauge") != 0) xml = "<Gauge>" + xml + "</Gauge>";
        gauges.push_back(xml);
    }
    return gauges;
}

// Every XML example of the authors' documentation loads and compiles, fragments put into a
// gauge (that each waits for 260 before it writes a command is tests/tools/write_gating_test's).
TEST(DocumentedGaugesTest, EveryExampleCompiles) {
    int examples = 0;
    for (const std::string& xml : documented_gauges()) {
        MemoryFiles files;
        files.add("panel.cfg", "[Window00]\ngauge00=docs!example,0,0\n");
        files.add("Gauges/docs/example.xml", xml);
        Recorder recorder;
        const LoadedPanel panel = load_panel("panel.cfg", files, {});
        ASSERT_TRUE(panel.problems.empty()) << panel.problems[0].text << "\n" << xml;
        PanelRunner runner(panel, recorder, recorder);
        EXPECT_FALSE(runner.scripts().empty()) << xml;
        runner.update();
        for (const std::string& event : recorder.events)
            EXPECT_NE(event.rfind("problem", 0), 0u) << event << "\n" << xml;
        ++examples;
    }
    EXPECT_GE(examples, 6);
}

// Every example run as written along a short flight, with the module's part played by the test
// (it takes a command and writes 260 back after each update): none sounds when the panel loads
// with the aircraft as it usually stands (gear down, battery on, engine stopped), except the
// one meant to, and each sounds once when its state changes.
TEST(DocumentedGaugesTest, NoExampleSoundsAtLoadAndEachSoundsWhenItsStateChanges) {
    struct Step {
        const char* variable;  // set before the updates; "" for none, "click" for a click
        double value;
        const char* commands;  // what the module takes in the 3 updates after it
    };
    const struct {
        const char* marks;  // a word only this example holds
        std::vector<Step> steps;
    } flights[] = {
        {"BatteryClickWanted", {{"", 0, ""}, {"click", 0, "0"}}},
        {"GearSoundHandle",
         {{"", 0, ""}, {"gear handle position", 0, "3"}, {"gear handle position", 1, "3"}}},
        {"StallSoundOn", {{"", 0, ""}, {"stall warning", 1, "112"}, {"stall warning", 0, "112"}}},
        {"SoundsBattery", {{"", 0, ""}, {"electrical master battery", 0, "250"}}},
        {"-5 (&gt;", {{"", 0, ""}, {"click", 0, "-5"}}},
        {"WantChime",
         {{"", 0, ""},
          {"general eng oil pressure:1", 60, ""},
          {"general eng oil pressure:1", 20, "21"}}},
        {"WelcomePlayed", {{"", 0, "30"}, {"", 0, ""}}},
    };
    const std::vector<std::string> gauges = documented_gauges();
    ASSERT_EQ(gauges.size(), std::size(flights)) << "an example without a flight here";
    for (const auto& flight : flights) {
        const auto xml = std::find_if(gauges.begin(), gauges.end(), [&](const std::string& g) {
            return g.find(flight.marks) != std::string::npos;
        });
        ASSERT_NE(xml, gauges.end()) << flight.marks;
        MemoryFiles files;
        files.add("panel.cfg", "[Window00]\ngauge00=docs!example,0,0\n");
        files.add("Gauges/docs/example.xml", *xml);
        Recorder aircraft;
        auto value = [&](const std::string& name) -> double& {
            std::string unused;
            return aircraft.values[aircraft.bind(VariableRef{'A', name, 0, ""}, unused)];
        };
        // As the panel loads: the module has written 260; the aircraft stands as it usually does.
        value("jvb_cuebox_id") = 260;
        value("gear handle position") = 1;
        value("electrical master battery") = 1;
        PanelRunner runner(load_panel("panel.cfg", files, {}), aircraft, aircraft);
        for (const Step& step : flight.steps) {
            std::string error;
            if (std::string(step.variable) == "click") {
                ASSERT_TRUE(runner.click("example", "1", error)) << error;
            } else if (*step.variable) {
                value(step.variable) = step.value;
            }
            std::string taken;
            for (int update = 0; update < 3; ++update) {
                runner.update();
                double& command = value("jvb_cuebox_id");
                if (command != 260) {
                    char text[32];
                    std::snprintf(text, sizeof text, "%s%g", taken.empty() ? "" : " ", command);
                    taken += text;
                    command = 260;
                }
            }
            EXPECT_EQ(taken, step.commands)
                << flight.marks << ", after " << (*step.variable ? step.variable : "loading");
        }
    }
}

}  // namespace
