// Configuration through the host, as the simulator drives it: which INI file, which variable,
// which sound file each slot plays.
#include "e2e/module_fixture.h"

using ConfigurationTest = ModuleTest;

namespace {
// The file the module tried to open for a slot, as it named it.
std::string opened_path(const std::vector<TraceEvent>& opens) {
    return opens.empty() ? "" : trace_field(opens.back(), "path");
}
}  // namespace

TEST_F(ConfigurationTest, WithoutAnIniFileTheDefaultsApply) {
    start_panel();
    EXPECT_TRUE(host_->has_variable("jvb_cuebox_id"));
    EXPECT_EQ(value(), 260.0);
    command(7);
    EXPECT_EQ(opened_path(events("open")), "./Sound/jvb/jvb_xml_07.wav");
    command(42);
    EXPECT_EQ(opened_path(events("open")), "./Sound/jvb/jvb_xml_42.wav");
}

TEST_F(ConfigurationTest, FirstUpdateRegistersTheVariableAndSetsItIdle) {
    host_->add_gauge("");
    host_->set_variable("jvb_cuebox_id", 12345);
    host_->pre_update();
    EXPECT_EQ(value(), 260.0);
    // Configuration wrote 260 and the decode read it back: nothing more was written.
    ASSERT_EQ(count("write"), 1u);
    ASSERT_EQ(count("read"), 1u);
    std::vector<std::string> order;
    for (const TraceEvent& e : trace_->events()) {
        if (e.event == "write" || e.event == "read") order.push_back(e.event);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"write", "read"}));
}

TEST_F(ConfigurationTest, AVariableNameIsKeptUpTo129Characters) {
    const std::string longest(129, 'n');
    write_file("Gauges/longest.ini", "[Config]\nLVar=" + longest + "\n");
    write_file("Gauges/longer.ini", "[Config]\nLVar=" + longest + "xyz\n");
    start_panel("Gauges/longest.ini");
    EXPECT_TRUE(host_->has_variable(longest));
    host_->disconnect();
    trace_.reset();
    host_ = std::make_unique<PanelHost>();
    const std::string copy = root_ + "/second.gau";
    std::filesystem::copy_file(CUEBOX_MODULE_FILE, copy);
    std::string error;
    ASSERT_TRUE(host_->load(copy, error)) << error;
    trace_ = std::make_unique<TraceRecorder>(*host_);
    start_panel("Gauges/longer.ini");
    EXPECT_TRUE(host_->has_variable(longest)) << "cut to 129 characters";
}

TEST_F(ConfigurationTest, TheParameterStringNamesTheIniFileForEveryKey) {
    write_file("Panel/my sounds.ini",
               "[config]\n  lvar =  my_var  \n[SOUNDS]\nsound07 = \"Sound\\Bells\\seven.wav\"\n"
               "Sound05=\nSound99=last.wav\n");
    write_file("Gauges/jvb_cuebox.ini", "[Config]\nLVar=wrong_var\n");
    write_tone("Sound/Bells/seven.wav", 440);
    start_panel("Panel/my sounds.ini");
    EXPECT_TRUE(host_->has_variable("my_var"));
    EXPECT_FALSE(host_->has_variable("wrong_var"));
    EXPECT_FALSE(host_->has_variable("jvb_cuebox_id"));

    auto play = [&](double slot) {
        write(slot, "my_var");
        update();
        return opened_path(events("open"));
    };
    EXPECT_EQ(play(7), "Sound\\Bells\\seven.wav");  // quotes gone, path handed on unchanged
    EXPECT_EQ(play(5), "./Sound/jvb/jvb_xml_05.wav");  // empty entry: the default rule
    EXPECT_EQ(play(99), "last.wav");
    EXPECT_EQ(count("play"), 1u);  // only slot 7's file exists
}

TEST_F(ConfigurationTest, AnEmptyVariableNameIsRegisteredAsItIs) {
    write_file("Gauges/jvb_cuebox.ini", "[Config]\nLVar=\n");
    start_panel();
    EXPECT_TRUE(host_->has_variable(""));
    EXPECT_EQ(value(""), 260.0);
    EXPECT_FALSE(host_->has_variable("jvb_cuebox_id"));
}

TEST_F(ConfigurationTest, TheIniFileIsReadOnceUntilTheNextConnection) {
    write_file("Gauges/jvb_cuebox.ini", "[Config]\nLVar=first\n");
    start_panel();
    const long reads = standin_call_count("GetPrivateProfileStringA");
    EXPECT_EQ(reads, 101);  // the variable's name and 100 slots
    write_file("Gauges/jvb_cuebox.ini", "[Config]\nLVar=second\n");
    update(3);
    EXPECT_EQ(standin_call_count("GetPrivateProfileStringA"), reads);
    EXPECT_FALSE(host_->has_variable("second"));

    // After a disconnect the tables are gone; the next update configures afresh.
    host_->disconnect();
    host_->connect();
    update(2);
    EXPECT_TRUE(host_->has_variable("second"));
    EXPECT_EQ(value("second"), 260.0);
    EXPECT_EQ(standin_call_count("GetPrivateProfileStringA"), 2 * reads);
}

TEST_F(ConfigurationTest, AParameterStringTooLongForThePathIsConfiguredAsIfNoIniExisted) {
    // One character more than the path buffer holds with its terminator.
    const std::string long_name = std::string(126, 'x') + ".ini";
    write_file(long_name.substr(0, 120), "[Config]\nLVar=cut_var\n");  // what a cut path would name
    start_panel(long_name.c_str());
    EXPECT_TRUE(host_->has_variable("jvb_cuebox_id"));
    EXPECT_FALSE(host_->has_variable("cut_var"));
    EXPECT_EQ(standin_call_count("GetPrivateProfileStringA"), 0);
    command(3);
    EXPECT_EQ(opened_path(events("open")), "./Sound/jvb/jvb_xml_03.wav");
}

TEST_F(ConfigurationTest, AGaugeWithoutAParameterStringReadsTheDefaultIniFile) {
    write_file("Gauges/jvb_cuebox.ini", "[Config]\nLVar=from_default\n");
    host_->add_gauge(nullptr);
    host_->pre_update();
    EXPECT_TRUE(host_->has_variable("from_default"));
}
