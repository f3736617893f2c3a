// An author's panel beside the module: the module's pre-update at its place in the panel order,
// its parameter string from panel.cfg, several instances sharing one module, and the example
// panel's flight, whose sounds must come at the updates its timeline says, heard in the
// rendered sound.
#include <fstream>
#include <iterator>
#include <sstream>

#include "e2e/module_fixture.h"
#include "host/panel_session.h"
#include "host/root_files.h"
#include "support/file_text.h"
#include "tools/configuration_view.h"

namespace {

class PanelE2eTest : public ModuleTest {
  protected:
    // Loads the panel and starts it, as `cuebox run --panel` does.
    void open_panel(const std::string& panel_path) {
        session_ = std::make_unique<PanelSession>(*host_);
        RootFiles files;
        session_->load(panel_path, files);
        for (const PanelMessage& problem : session_->problems()) ADD_FAILURE() << problem.text;
        const std::vector<std::string>& parameters = session_->module_parameters();
        settings_.variable_name =
            read_configuration(parameters.empty() ? "" : parameters[0].c_str()).variable_name;
        settings_.panel = session_.get();
        session_->start(settings_.variable_name, *trace_);
    }
    void run(const std::string& steps) {
        Scenario scenario;
        std::istringstream in(steps);
        std::string error;
        ASSERT_TRUE(parse_scenario("test.scn", in, scenario, error)) << error;
        ASSERT_TRUE(run_scenario(*host_, scenario, settings_, *trace_, error)) << error;
    }
    // The update of the first event of a kind whose value field is `value`.
    long update_of(const std::string& kind, const std::string& value) const {
        for (const TraceEvent& e : trace_->events()) {
            if (e.event == kind && trace_field(e, "value") == value) return e.update;
        }
        return -1;
    }

    // Runs TRIGGER_GAUGE beside the module, in the order `lines` of [Window00] give, until it
    // writes 7 in update 3; returns the update in which the module read and played it.
    long module_reads_trigger_in(const std::string& lines);

    RunSettings settings_;
    std::unique_ptr<PanelSession> session_;
};

// A gauge that writes 7 once, when A:TRIGGER becomes 1.
const char* const TRIGGER_GAUGE =
    "<Gauge Name=\"Trigger\"><Element><Select><Value>\n"
    "(A:TRIGGER, bool) (L:Seen, bool) != if{ (A:TRIGGER, bool) (&gt;L:Seen, bool) "
    "7 (&gt;L:jvb_cuebox_id, number) }\n"
    "</Value></Select></Element></Gauge>\n";

long PanelE2eTest::module_reads_trigger_in(const std::string& lines) {
    default_slot_tone(7);
    write_file("Gauges/test/trigger.xml", TRIGGER_GAUGE);
    write_file("panel.cfg", "[Window00]\n" + lines);
    open_panel("panel.cfg");
    run("connect\nupdate 2\nset A:TRIGGER,bool 1\nupdate 3\n");
    EXPECT_EQ(update_of("gauge_write", "7"), 3);
    const std::vector<TraceEvent> played = events("play");
    EXPECT_EQ(played.size(), 1u);
    const long read = update_of("read", "7");
    EXPECT_EQ(played.empty() ? -1 : played[0].update, read);
    return read;
}

TEST_F(PanelE2eTest, TheModuleReadsAWriteAtTheUpdateItsPlaceInThePanelGives) {
    // The module after the gauge: it reads the write in the same update.
    EXPECT_EQ(module_reads_trigger_in("gauge00=test!trigger,0,0\n"
                                      "gauge01=jvb_cuebox2!jvb_cuebox2,0,0\n"),
              3);
}

TEST_F(PanelE2eTest, AModuleBeforeTheGaugeReadsItsWriteOneUpdateLater) {
    EXPECT_EQ(module_reads_trigger_in("gauge00=jvb_cuebox2!jvb_cuebox2,0,0\n"
                                      "gauge01=test!trigger,0,0\n"),
              4);
}

TEST_F(PanelE2eTest, TheModuleLineGivesTheIniFileAndGaugesMayWriteTheNameInAnyCase) {
    write_file("Gauges/mine.ini", "[Config]\nLVar=My_Cue\n[Sounds]\nSound03=Sound\\three.wav\n");
    write_tone("Sound/three.wav", 900);
    write_file("Gauges/test/horn.xml",
               "<Gauge><Mouse><Area><Click>3 (&gt;L:MY_CUE, number)</Click></Area></Mouse>"
               "</Gauge>");
    write_file("Aircraft/A/panel.cfg",
               "[Window00]\ngauge00=JVB_CueBox2!jvb_cuebox2, 0, 0, 1, 1, .\\Gauges\\mine.ini\n"
               "gauge01=test!horn, 0, 0\n");
    open_panel("Aircraft\\A\\panel.cfg");
    EXPECT_EQ(settings_.variable_name, "My_Cue");
    run("connect\nupdate 2\nclick horn 1\nupdate 2\n");
    EXPECT_EQ(update_of("read", "3"), 3);
    const std::vector<TraceEvent> opened = events("open", "via", "fopen");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(trace_field(opened[0], "path"), "Sound\\three.wav");
    EXPECT_EQ(events("play").size(), 1u);
    EXPECT_EQ(value("my_cue"), 260);
}

TEST_F(PanelE2eTest, SeveralModuleLinesShareOneModuleThatTakesEachCommandOnce) {
    default_slot_tone(7);
    write_file("Gauges/test/trigger.xml", TRIGGER_GAUGE);
    write_file("panel.cfg",
               "[Window00]\ngauge00=jvb_cuebox2!jvb_cuebox2,0,0\ngauge01=test!trigger,0,0\n"
               "[Window01]\ngauge00=jvb_cuebox2!jvb_cuebox2,0,0\n");
    open_panel("panel.cfg");
    EXPECT_EQ(host_->gauge_count(), 2);
    run("connect\nupdate 2\nset A:TRIGGER,bool 1\nupdate 3\ndisconnect\n");
    // The second instance runs after the gauge in the same update: it takes the command; the
    // first one reads the idle value it wrote back.
    EXPECT_EQ(update_of("read", "7"), 3);
    EXPECT_EQ(events("read", "value", "7").size(), 1u);
    EXPECT_EQ(events("play").size(), 1u);
    // Each instance is connected, as the simulator does; the second connect keeps the device
    // that the first one made.
    EXPECT_EQ(count("device"), 1u);
    EXPECT_EQ(standin_call_count("DirectSoundCreate"), 1);
    EXPECT_EQ(count("release"), 1u);
}

TEST_F(PanelE2eTest, TheExampleFlightPlaysItsSoundsAtTheUpdatesItsTimelineSays) {
    const std::string demo = CUEBOX_DEMO_DIR;
    write_file("Aircraft/Demo/panel/panel.cfg", file_text(demo + "/panel/panel.cfg"));
    write_file("Gauges/demo_sounds/gear_flaps.xml", file_text(demo + "/panel/gear_flaps.xml"));
    write_file("Gauges/demo_warnings.cab", file_text(CUEBOX_DEMO_CABINET));
    write_file("Gauges/demo_panel.ini", file_text(demo + "/panel/demo_panel.ini"));
    // A pure tone per sound of the example's INI file, to tell them apart in the recording.
    const double GEAR = 400, STALL = 1000, CHIME = 1500, FLAPS = 700;
    write_tone("Sound/Cockpit/Gear.WAV", GEAR, 1.0);
    write_tone("Sound/Cockpit/stall.wav", STALL, 0.3);
    write_tone("Sound/Cockpit/chime.wav", CHIME, 0.4);
    write_tone("Sound/Cockpit/flaps.wav", FLAPS, 0.6);
    open_panel("Aircraft\\Demo\\panel\\panel.cfg");
    std::string error;
    ASSERT_TRUE(session_->set_timeline(file_text(demo + "/flight.csv"), error)) << error;
    const std::string recording = root_ + "/flight.wav";
    ASSERT_EQ(standin_set_output(STANDIN_OUTPUT_FILE, recording.c_str()), 0);
    run(file_text(demo + "/flight.scn"));
    standin_finish_output();

    // A row at t seconds is applied in the update that starts at t (update 18 t + 1); the
    // gauges write then, after the module's pre-update, so the module reads the command in the
    // next update. The click comes after update 342 (19 s) and is read in update 343.
    const struct {
        long update;
        const char* value;
    } commands[] = {{38, "5"},    {92, "1"},  {146, "5"}, {200, "102"},
                    {245, "102"}, {290, "1"}, {326, "5"}, {343, "3"}};
    std::vector<std::pair<long, std::string>> read;
    for (const TraceEvent& e : events("read")) {
        if (trace_field(e, "value") != "260") read.emplace_back(e.update, trace_field(e, "value"));
    }
    ASSERT_EQ(read.size(), std::size(commands));
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].first, commands[i].update) << "command " << commands[i].value;
        EXPECT_EQ(read[i].second, commands[i].value);
        // Each was written by a gauge of the panel, named in the trace, the update before.
        bool written = false;
        for (const TraceEvent& w : events("gauge_write", "value", commands[i].value)) {
            written =
                written || (w.update == commands[i].update - 1 && !trace_field(w, "gauge").empty());
        }
        EXPECT_TRUE(written) << "command " << commands[i].value;
    }

    tones::Recording sound;
    ASSERT_TRUE(tones::read_recording(recording, sound));
    auto start = [](long update) { return (update - 1) / 18.0; };
    auto heard = [&](double frequency, double from, double to) {
        for (double t = from; t + 0.05 <= to + 1e-9; t += 0.05) {
            if (tones::tone_level(sound, frequency, t, t + 0.05) < 0.1) return false;
        }
        return true;
    };
    auto silent = [&](double frequency, double from, double to) {
        for (double t = from; t + 0.05 <= to + 1e-9; t += 0.05) {
            if (tones::tone_level(sound, frequency, t, t + 0.05) > 0.02) return false;
        }
        return true;
    };
    const struct {
        double frequency;
        long update;
        double seconds;
    } once[] = {{FLAPS, 38, 0.6}, {GEAR, 92, 1.0},   {FLAPS, 146, 0.6},
                {GEAR, 290, 1.0}, {FLAPS, 326, 0.6}, {CHIME, 343, 0.4}};
    for (const auto& o : once) {
        const double t = start(o.update);
        EXPECT_TRUE(silent(o.frequency, t - 0.3, t - 0.02)) << o.frequency << " Hz before " << t;
        EXPECT_TRUE(heard(o.frequency, t + 0.02, t + o.seconds - 0.03))
            << o.frequency << " Hz at " << t;
        EXPECT_TRUE(silent(o.frequency, t + o.seconds + 0.03, t + o.seconds + 0.3))
            << o.frequency << " Hz after " << t;
    }
    // The stall warning loops from its first command to its second.
    EXPECT_TRUE(silent(STALL, 0, start(200) - 0.02));
    EXPECT_TRUE(heard(STALL, start(200) + 0.02, start(245) - 0.02));
    EXPECT_TRUE(silent(STALL, start(245) + 0.03, 21.0));
}

}  // namespace
