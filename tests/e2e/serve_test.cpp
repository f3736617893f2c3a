// The live panel behind `cuebox serve`, driven as the page drives it, on the example panel: a
// click plays its slot within two updates, a variable set drives the gauges and the module, the
// slots show what the module made of their files, a file edited on disk reloads the panel with
// the author's variables kept, the flight seeks and pauses, closing disconnects the module, and
// the page is sent what it draws each gauge from (its bitmaps, out of a cabinet too).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "platform/standin.h"
#include "support/file_text.h"
#include "support/tones.h"
#include "tools/serve_session.h"

namespace {

class ServeSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        char pattern[] = "/tmp/cuebox-serve-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        std::filesystem::copy_file(CUEBOX_MODULE_FILE, root_ + "/instance.gau");
        standin_set_output(STANDIN_OUTPUT_NONE, nullptr);
        const std::string demo = CUEBOX_DEMO_DIR;
        write_file("Aircraft/Demo/panel/panel.cfg", file_text(demo + "/panel/panel.cfg"));
        write_file("Gauges/demo_sounds/gear_flaps.xml", file_text(demo + "/panel/gear_flaps.xml"));
        write_file("Gauges/demo_warnings.cab", file_text(CUEBOX_DEMO_CABINET));
        // The example's INI, with a slot whose file is missing and one the WAV reader refuses.
        write_file("Gauges/demo_panel.ini", file_text(demo + "/panel/demo_panel.ini") +
                                                "Sound07=Sound\\none.wav\n"
                                                "Sound08=Sound\\broken.wav\n");
        write_file("Sound/broken.wav", std::string("RIFF\x04\0\0\0WAVE", 12));
        std::filesystem::create_directories(root_ + "/Sound/Cockpit");
        for (const char* name : {"Gear.WAV", "stall.wav", "chime.wav", "flaps.wav"})
            ASSERT_TRUE(tones::write_tone(root_ + "/Sound/Cockpit/" + name, 600, 0.4));
        options_.root = root_;
        options_.module = root_ + "/instance.gau";
        options_.panel = "Aircraft\\Demo\\panel\\panel.cfg";
        options_.trace = getenv("SERVE_DEBUG") != nullptr;
    }
    void TearDown() override {
        session_.reset();
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(root_);
    }

    void write_file(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(
            std::filesystem::path(root_ + "/" + path).parent_path());
        std::ofstream(root_ + "/" + path, std::ios::binary) << text;
    }
    void open() {
        session_ = std::make_unique<ServeSession>(options_);
        std::string error;
        ASSERT_TRUE(session_->open(error)) << error;
    }
    void update(int count) {
        for (int i = 0; i < count; ++i) session_->update();
    }
    // The state the page shows of a slot: "loaded", "playing", "looping", ...
    std::string slot_state(int slot) {
        const nlohmann::ordered_json state = session_->state();
        for (const auto& shown : state["slots"]) {
            if (shown["slot"] == slot) return shown["state"];
        }
        return "absent";
    }
    // Updates until the slot shows `state`; the number of updates it took, or -1 after `limit`.
    int updates_until(int slot, const std::string& state, int limit = 10) {
        for (int n = 1; n <= limit; ++n) {
            session_->update();
            if (slot_state(slot) == state) return n;
        }
        return -1;
    }
    double variable(const std::string& name) {
        const nlohmann::ordered_json state = session_->state();
        for (const auto& shown : state["variables"]) {
            if (shown["name"] == name) return shown["value"];
        }
        return -1;
    }

    std::string root_;
    std::filesystem::path previous_;
    CliOptions options_;
    std::unique_ptr<ServeSession> session_;
};

TEST_F(ServeSessionTest, AClickOrAVariableSetOnThePageDrivesTheModuleWithinTwoUpdates) {
    open();
    update(2);
    std::string why;
    ASSERT_TRUE(session_->click("demo_warnings!warnings", "1", why)) << why;
    const int click_updates = updates_until(3, "playing");
    EXPECT_GE(click_updates, 1);
    EXPECT_LE(click_updates, 2);
    size_t plays = 0;
    for (const TraceEvent& e : session_->trace()->events()) plays += e.event == "play";
    EXPECT_EQ(plays, 1u);

    ASSERT_TRUE(session_->set("A:STALL WARNING,bool", 1, why)) << why;
    const int set_updates = updates_until(2, "looping");
    EXPECT_GE(set_updates, 1);
    EXPECT_LE(set_updates, 2);
    EXPECT_EQ(variable("A:STALL WARNING"), 1);
    // The same area by its tooltip, and what is not there, as the scenario's click step says.
    EXPECT_TRUE(session_->click("demo_warnings!warnings", "Test the warning chime", why)) << why;
    EXPECT_FALSE(session_->click("demo_warnings!nothing", "1", why));
    EXPECT_FALSE(session_->set("K:TOGGLE_GEAR", 1, why));
}

TEST_F(ServeSessionTest, TheSlotsShowWhatTheModuleMadeOfTheirFilesAndTheStopFlag) {
    open();
    update(2);
    EXPECT_EQ(slot_state(1), "not loaded yet");
    EXPECT_EQ(slot_state(40), "absent");  // neither named nor commanded
    std::string why;
    const struct {
        double command;
        int slot;
        const char* state;
    } cases[] = {{7, 7, "not found"}, {8, 8, "refused"}, {5, 5, "playing"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(session_->set("L:DemoCue,number", c.command, why)) << why;
        EXPECT_NE(updates_until(c.slot, c.state), -1) << c.command << " " << slot_state(c.slot);
    }
    ASSERT_TRUE(session_->set("L:DemoCue,number", -260, why));
    update(2);
    nlohmann::ordered_json state = session_->state();
    EXPECT_EQ(state["stop_flag"]["set"], true);
    EXPECT_NE(state["stop_flag"]["effect"].get<std::string>(), "");
    EXPECT_EQ(state["variable"]["name"], "DemoCue");
    EXPECT_EQ(state["variable"]["read"].back()["value"], -260);
}

TEST_F(ServeSessionTest, AnEditedFileReloadsThePanelKeepingTheAuthorsVariables) {
    open();
    EXPECT_TRUE(session_->changed_files().empty());
    update(2);
    std::string why;
    ASSERT_TRUE(session_->set("A:STALL WARNING,bool", 1, why)) << why;
    ASSERT_NE(updates_until(2, "looping"), -1);
    EXPECT_TRUE(session_->changed_files().empty());

    // The gauge file changes (a later time, another size), as an editor saves it.
    std::string gauge = file_text(root_ + "/Gauges/demo_sounds/gear_flaps.xml");
    write_file("Gauges/demo_sounds/gear_flaps.xml", gauge + "\n<!-- edited -->\n");
    const std::vector<std::string> changed = session_->changed_files();
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(changed[0], "Gauges/demo_sounds/gear_flaps.xml");
    const auto settings = session_->author_settings();
    session_->close();
    EXPECT_EQ(standin_live_buffers(), 0);
    EXPECT_EQ(standin_live_devices(), 0);
    std::string error;
    ASSERT_TRUE(session_->open(error)) << error;
    session_->restore(settings);
    EXPECT_EQ(variable("A:STALL WARNING"), 1);
    EXPECT_NE(updates_until(2, "looping"), -1);

    // The INI and a sound file are watched too.
    write_file("Gauges/demo_panel.ini", file_text(root_ + "/Gauges/demo_panel.ini") + "\n");
    ASSERT_TRUE(tones::write_tone(root_ + "/Sound/Cockpit/chime.wav", 900, 0.2));
    EXPECT_EQ(session_->changed_files().size(), 2u);
}

TEST_F(ServeSessionTest, TheFlightSeeksPausesAndPlaysOn) {
    options_.vars = std::string(CUEBOX_DEMO_DIR) + "/flight.csv";
    open();
    ASSERT_TRUE(session_->has_flight());
    std::string why;
    // At 11.5 s the flight has the stall warning on, the gear up and the flaps at 0.
    ASSERT_TRUE(session_->seek(11.5, why)) << why;
    EXPECT_EQ(variable("A:STALL WARNING"), 1);
    EXPECT_EQ(variable("A:GEAR HANDLE POSITION"), 0);
    session_->play(false);
    update(60);
    EXPECT_NEAR(session_->flight_position(), 11.5, 1e-9);
    EXPECT_EQ(variable("A:STALL WARNING"), 1);  // 13.5 s would turn it off
    session_->play(true);
    update(40);
    EXPECT_NEAR(session_->flight_position(), 11.5 + 40 / 18.0, 1e-6);
    EXPECT_EQ(variable("A:STALL WARNING"), 0);
    ASSERT_TRUE(session_->seek(0, why));
    EXPECT_EQ(variable("A:GEAR HANDLE POSITION"), 1);
    EXPECT_FALSE(session_->seek(-1, why));
}

TEST_F(ServeSessionTest, ClosingDisconnectsTheModule) {
    open();
    update(2);
    std::string why;
    ASSERT_TRUE(session_->set("A:STALL WARNING,bool", 1, why));
    ASSERT_NE(updates_until(2, "looping"), -1);
    EXPECT_TRUE(session_->connected());
    EXPECT_GT(standin_live_buffers(), 0);
    session_->close();
    EXPECT_FALSE(session_->connected());
    EXPECT_EQ(standin_live_buffers(), 0);
    EXPECT_EQ(standin_live_devices(), 0);
    EXPECT_FALSE(session_->click("demo_warnings!warnings", "1", why));
}

TEST_F(ServeSessionTest, ThePageGetsEachGaugesBitmapsAndState) {
    // A gauge whose bitmap is in its cabinet, beside the example's.
    write_file("Gauges/stored.cab", file_text(CUEBOX_STORED_CABINET));
    write_file("Aircraft/Demo/panel/panel.cfg",
               file_text(std::string(CUEBOX_DEMO_DIR) + "/panel/panel.cfg") +
                   "gauge03=stored!Alpha, 200,10,40,40\n");
    open();
    update(1);
    const nlohmann::ordered_json state = session_->state();
    std::map<std::string, nlohmann::ordered_json> gauges;
    for (const auto& gauge : state["windows"][0]["gauges"]) gauges[gauge["name"]] = gauge;
    ASSERT_EQ(gauges.count("stored!Alpha"), 1u);
    const auto& image = gauges["stored!Alpha"]["drawing"]["images"][0];
    EXPECT_EQ(image["path"], "Gauges/stored.cab/dial.bmp");
    EXPECT_GT(image["w"].get<int>(), 0);
    // The tooltip as the gauge's state gives it, beside the area it belongs to.
    const auto& warnings = gauges["demo_warnings!warnings"];
    EXPECT_EQ(state["gauges"][warnings["state"].get<size_t>()]["tooltips"][0],
              "Test the warning chime");

    // The page may ask for the bitmap by that path, and gets it out of the cabinet.
    const std::string bitmap = file_text(CUEBOX_FIXTURE_GAUGES "/dial.bmp");
    int asked = 0;
    for (const DrawnFile& drawn : session_->drawn_files()) {
        if (drawn.path != image["path"]) continue;
        ++asked;
        std::string bytes;
        EXPECT_TRUE(read_drawn_file(drawn, bitmap.size(), bytes));
        EXPECT_EQ(bytes, bitmap);
        EXPECT_FALSE(read_drawn_file(drawn, bitmap.size() - 1, bytes));
    }
    EXPECT_EQ(asked, 1);
}

}  // namespace
