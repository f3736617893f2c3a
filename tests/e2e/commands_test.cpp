// The command protocol end to end: values written into the command variable, what the module
// does with its slots' sounds, and what it writes back.
#include <limits>

#include "e2e/module_fixture.h"
#include "support/no_hang.h"

class CommandsTest : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        for (int slot : {0, 1, 3, 5, 7, 9}) default_slot_tone(slot, 2.0);
    }
    // The play events of a slot's buffer; buffers are numbered in creation order.
    std::vector<TraceEvent> plays(bool looping) {
        return events("play", "looping", looping ? "true" : "false");
    }
};

TEST_F(CommandsTest, PlayOnceThenIdle) {
    start_panel();
    command(7);
    ASSERT_EQ(plays(false).size(), 1u);
    ASSERT_EQ(count("create"), 1u);
    EXPECT_EQ(trace_field(events("create")[0], "rate"), "22050");
    EXPECT_EQ(value(), 260.0);
    // Nothing more happens while the variable stays idle, and nothing is written back.
    const size_t writes = count("write");
    update(5);
    EXPECT_EQ(count("write"), writes);
    EXPECT_EQ(plays(false).size(), 1u);
}

TEST_F(CommandsTest, PlayingAPlayingSlotAgainDoesNotRewindIt) {
    start_panel();
    command(7);
    wait(0.5);
    command(7);
    const std::vector<TraceEvent> p = plays(false);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(trace_field(p[0], "position"), "0");
    EXPECT_NE(trace_field(p[1], "position"), "0");
    EXPECT_EQ(count("position"), 0u);
    EXPECT_EQ(count("create"), 1u);  // the buffer is made once
}

TEST_F(CommandsTest, LoopToggleStartsAndStopsWithRewindWhateverTheSign) {
    start_panel();
    command(107);
    EXPECT_EQ(plays(true).size(), 1u);
    wait(0.3);
    command(107);
    EXPECT_EQ(count("stop"), 1u);
    ASSERT_EQ(count("position"), 1u);
    EXPECT_EQ(trace_field(events("position")[0], "position"), "0");
    // The minus form does the same as the plain one.
    command(-107);
    EXPECT_EQ(plays(true).size(), 2u);
    command(-107);
    EXPECT_EQ(count("stop"), 2u);
    EXPECT_EQ(value(), 260.0);
}

TEST_F(CommandsTest, StopOneStopsOnlyALoadedPlayingSlot) {
    start_panel();
    command(107);
    command(3);
    command(-7);
    ASSERT_EQ(count("stop"), 1u);
    ASSERT_EQ(plays(true).size(), 1u);
    EXPECT_EQ(trace_field(events("stop")[0], "buffer"), trace_field(plays(true)[0], "buffer"));
    // Slot 7 is no longer marked looping: 107 starts it again rather than stopping it.
    command(107);
    EXPECT_EQ(plays(true).size(), 2u);
}

TEST_F(CommandsTest, AStopOfAnUnloadedSlotLeavesTheStopFlagForTheNextCommand) {
    start_panel();
    command(3);          // slot 3 loaded and playing
    command(-9);         // slot 9 never loaded: nothing, and the stop flag stays
    EXPECT_EQ(count("stop"), 0u);
    command(9);          // taken as a stop of 9 too: not loaded, so nothing again
    EXPECT_EQ(events("open", "via", "fopen").size(), 1u);  // slot 9's file was never even looked at
    command(3);          // a stop of the playing slot 3, not a play
    EXPECT_EQ(plays(false).size(), 1u);
    EXPECT_EQ(count("stop"), 1u);
    command(3);          // the flag is spent: this plays
    EXPECT_EQ(plays(false).size(), 2u);
}

TEST_F(CommandsTest, ALoopStartedWithAMinusSignTurnsTheNextPlayIntoAStop) {
    start_panel();
    command(-107);
    EXPECT_EQ(plays(true).size(), 1u);
    command(7);
    EXPECT_EQ(plays(false).size(), 0u);
    EXPECT_EQ(count("stop"), 1u);
}

TEST_F(CommandsTest, StopAllStopsEveryPlayingSlotAndClearsTheirLoops) {
    start_panel();
    command(101);
    command(103);
    command(5);
    command(250);
    EXPECT_EQ(count("stop"), 3u);
    EXPECT_EQ(count("position"), 3u);
    EXPECT_EQ(value(), 260.0);
    command(101);  // not marked looping any more: starts again
    EXPECT_EQ(plays(true).size(), 3u);
}

TEST_F(CommandsTest, MinusStopAllKeepsTheStopFlag) {
    start_panel();
    command(103);
    command(7);
    command(-250);
    EXPECT_EQ(count("stop"), 2u);
    command(103);  // the loop mark was cleared: starts looping
    command(3);    // the stop flag from -250 makes this a stop
    EXPECT_EQ(count("stop"), 3u);
    EXPECT_EQ(plays(false).size(), 1u);
}

TEST_F(CommandsTest, FractionsTruncateTowardZero) {
    start_panel();
    command(5.9);
    command(-0.5);
    const std::vector<TraceEvent> opens = events("open", "via", "fopen");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(trace_field(opens[0], "path"), "./Sound/jvb/jvb_xml_05.wav");
    EXPECT_EQ(trace_field(opens[1], "path"), "./Sound/jvb/jvb_xml_00.wav");
    EXPECT_EQ(plays(false).size(), 2u);
}

TEST_F(CommandsTest, ValuesAboveTheIdleValueAreIgnoredButReset) {
    start_panel();
    for (double v : {300.0, 1000.0, 261.0, 99999.0}) {
        command(v);
        EXPECT_EQ(value(), 260.0) << v;
    }
    EXPECT_EQ(count("open"), 0u);
}

TEST_F(CommandsTest, MinusIdleSetsTheStopFlagAndStaysInTheVariable) {
    start_panel();
    command(3);
    command(-260);
    EXPECT_EQ(value(), -260.0);
    update(3);
    EXPECT_EQ(value(), -260.0);
    command(3);  // a stop, from the flag -260 set
    EXPECT_EQ(count("stop"), 1u);
    EXPECT_EQ(plays(false).size(), 1u);
}

TEST_F(CommandsTest, MinusThreeHundredIsIgnoredButArmsAStop) {
    start_panel();
    command(3);
    command(-300);
    EXPECT_EQ(value(), 260.0);
    EXPECT_EQ(count("stop"), 0u);
    command(3);
    EXPECT_EQ(count("stop"), 1u);
}

TEST_F(CommandsTest, PlayOnceOnALoopingSlotKeepsItsLoopMark) {
    start_panel();
    command(107);
    command(7);
    ASSERT_EQ(plays(false).size(), 1u);
    EXPECT_EQ(count("stop"), 0u);
    command(107);  // still marked looping: this stops it
    EXPECT_EQ(count("stop"), 1u);
}

TEST_F(CommandsTest, NotFiniteValuesPlaySlotZero) {
    start_panel();
    for (double v : {std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(), 1e300, -1e19}) {
        command(v);
        EXPECT_EQ(value(), 260.0) << v;
    }
    const std::vector<TraceEvent> opens = events("open", "via", "fopen");
    ASSERT_EQ(opens.size(), 1u);  // loaded once, played five times
    EXPECT_EQ(trace_field(opens[0], "path"), "./Sound/jvb/jvb_xml_00.wav");
    EXPECT_EQ(plays(false).size(), 5u);
    EXPECT_EQ(count("stop"), 0u);
}

TEST_F(CommandsTest, LargeValuesWrapModuloTwoToTheThirtySecond) {
    start_panel();
    command(4294967296.0 + 7);
    EXPECT_EQ(plays(false).size(), 1u);
    command(4294967296.0 - 7);  // -7: stops slot 7
    EXPECT_EQ(count("stop"), 1u);
    EXPECT_EQ(value(), 260.0);
}

TEST_F(CommandsTest, TheMostNegative32BitValueDoesNothing) {
    start_panel();
    command(3);
    for (double v : {-2147483648.0, 2147483648.0, 4294967296.0 * 5 + 2147483648.0}) {
        command(v);
        EXPECT_EQ(value(), 260.0) << v;
    }
    EXPECT_EQ(count("stop"), 0u);
    command(3);  // no stop flag was left behind: this plays
    EXPECT_EQ(plays(false).size(), 2u);
}

TEST_F(CommandsTest, ValuesBetweenTheModesHaveNoEffect) {
    start_panel();
    command(107);
    // Read right after a loop command, 207 must not toggle slot 7 (or any) again.
    for (double v : {207.0, 200.0, 249.0, 251.0, 259.0}) {
        command(v);
        EXPECT_EQ(value(), 260.0) << v;
    }
    EXPECT_EQ(count("stop"), 0u);
    EXPECT_EQ(plays(true).size(), 1u);
    command(3);
    command(-201);  // the minus sign still arms a stop
    command(3);
    EXPECT_EQ(count("stop"), 1u);
}

TEST_F(CommandsTest, OnlyTheLaterOfTwoWritesBetweenUpdatesIsSeen) {
    start_panel();
    write(3);
    write(5);
    update();
    const std::vector<TraceEvent> opens = events("open", "via", "fopen");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(trace_field(opens[0], "path"), "./Sound/jvb/jvb_xml_05.wav");
}

TEST_F(CommandsTest, AMissingFileIsTriedAgainAtTheNextPlay) {
    start_panel();
    command(42);
    EXPECT_EQ(count("create"), 0u);
    EXPECT_EQ(value(), 260.0);
    default_slot_tone(42);
    command(42);
    EXPECT_EQ(count("create"), 1u);
    EXPECT_EQ(plays(false).size(), 1u);
}

TEST_F(CommandsTest, GaugeInstancesShareOneStateAndTheFirstToSeeACommandHandlesIt) {
    write_file("Gauges/first.ini", "[Config]\nLVar=shared\n");
    host_->add_gauge("Gauges/first.ini");
    host_->add_gauge("Gauges/other.ini");  // configuration already done by then: never read
    host_->connect(0);
    auto both = [&]() {
        trace_->next_update();
        host_->pre_update(0);
        host_->pre_update(1);
        standin_advance_time(1.0 / 18.0);
    };
    both();
    both();
    EXPECT_TRUE(host_->has_variable("shared"));
    write(107, "shared");
    both();
    EXPECT_EQ(plays(true).size(), 1u);  // handled once, by the first instance
    EXPECT_EQ(count("stop"), 0u);
    write(107, "shared");
    trace_->next_update();
    host_->pre_update(1);  // the second instance alone sees this one
    EXPECT_EQ(count("stop"), 1u);
    EXPECT_EQ(value("shared"), 260.0);
}

TEST_F(CommandsTest, TheRenderedSoundHoldsEachSlotWhenItWasAskedFor) {
    const std::string out = root_ + "/out.wav";
    ASSERT_EQ(standin_set_output(STANDIN_OUTPUT_FILE, out.c_str()), 0);
    default_slot_tone(1, 0.5);
    start_panel();                // 2 updates: 0.11 s
    command(1);                   // slot 1 once, 0.5 s long
    wait(1.0);
    command(103);                 // slot 3 looping (2 s file)
    wait(1.0);
    command(7);                   // slot 7 once over it
    wait(0.5);
    command(250);                 // both stop
    wait(1.0);
    host_->disconnect();
    standin_finish_output();

    tones::Recording r;
    ASSERT_TRUE(tones::read_recording(out, r));
    const double f1 = slot_frequency(1), f3 = slot_frequency(3), f7 = slot_frequency(7);
    const double t1 = 2.0 / 18, t3 = t1 + 19.0 / 18, t7 = t3 + 19.0 / 18, t250 = t7 + 10.0 / 18;
    auto level = [&](double f, double from, double to) { return tones::tone_level(r, f, from, to); };
    EXPECT_GT(level(f1, t1 + 0.1, t1 + 0.4), 0.05);
    EXPECT_LT(level(f1, t1 + 0.6, t3), 0.01);            // played once, then silent
    EXPECT_GT(level(f3, t3 + 0.1, t7), 0.05);
    EXPECT_GT(level(f7, t7 + 0.1, t250 - 0.05), 0.05);
    EXPECT_GT(level(f3, t7 + 0.1, t250 - 0.05), 0.05);   // the loop goes on under slot 7
    EXPECT_LT(level(f3, t250 + 0.1, t250 + 0.9), 0.01);  // stop all
    EXPECT_LT(level(f7, t250 + 0.1, t250 + 0.9), 0.01);
    EXPECT_LT(level(f1, t3, t250), 0.01);
}

TEST_F(CommandsTest, ASlotWhosePathNamesAFolderStaysUnloaded) {
    std::filesystem::create_directories(root_ + "/Sound/jvb/jvb_xml_11.wav");
    start_panel();
    command(11);
    command(11);
    // As on Windows, a folder does not open as a file: the slot is tried again, never loaded.
    EXPECT_EQ(events("open", "via", "fopen").size(), 2u);
    EXPECT_EQ(standin_call_count("mmioOpenA"), 0);
}

TEST_F(CommandsTest, StopAllReachesSlot99AndPassesOverALoopMarkedSlotThatHasEnded) {
    default_slot_tone(99, 2.0);
    default_slot_tone(4, 0.2);
    start_panel();
    command(104);
    command(4);  // played once over its loop: it ends, and the loop mark stays
    wait(0.5);
    command(99);
    command(250);
    const std::vector<TraceEvent> stops = events("stop");
    ASSERT_EQ(stops.size(), 1u);
    const std::vector<TraceEvent> created = events("create");
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(trace_field(stops[0], "buffer"), trace_field(created[1], "buffer"));  // slot 99
    // Slot 4 was not playing, so stop-all left its loop mark: 104 now stops rather than starts.
    command(104);
    EXPECT_EQ(plays(true).size(), 1u);
    EXPECT_EQ(count("stop"), 2u);
}

TEST_F(CommandsTest, ALoopStoppedWithAMinusSignClearsTheStopFlag) {
    start_panel();
    command(-107);  // starts the loop; the stop flag stays up
    command(-107);  // stops it, and that spends the flag
    ASSERT_EQ(count("stop"), 1u);
    command(3);
    EXPECT_EQ(plays(false).size(), 1u);
    EXPECT_EQ(count("stop"), 1u);
}

TEST_F(CommandsTest, AStopForALoadedSlotThatHasEndedSpendsTheStopFlag) {
    default_slot_tone(4, 0.2);
    start_panel();
    command(4);
    wait(0.5);
    command(-4);  // nothing to stop
    EXPECT_EQ(count("stop"), 0u);
    command(4);
    EXPECT_EQ(plays(false).size(), 2u);
}

TEST_F(CommandsTest, APanelConnectedAgainStartsWithoutTheOldStopFlag) {
    start_panel();
    command(-260);  // a stop flag, and a variable left at -260
    host_->disconnect();
    host_->connect();
    update(2);
    command(7);
    command(7);
    EXPECT_EQ(plays(false).size(), 2u);
    EXPECT_EQ(count("stop"), 0u);

    // The same with the flag a stop of a slot never played leaves behind.
    command(-5);
    host_->disconnect();
    host_->connect();
    update(2);
    command(7);
    EXPECT_EQ(plays(false).size(), 3u);
}

TEST_F(CommandsTest, EveryFileTheModuleOpensIsClosed) {
    write_file("Sound/jvb/jvb_xml_08.wav", "not a sound");
    start_panel();
    for (double v : {7.0, 7.0, 103.0, 8.0, 42.0, 1.0, 250.0}) command(v);
    EXPECT_EQ(standin_open_streams(), 0) << "the existence test closes what it opened";
    // Each loaded slot keeps its reader's file open for refills, and no more.
    // Slot 8's reader closed its file when the header was refused.
    EXPECT_EQ(standin_open_mmio_files(), 3);  // slots 7, 3 and 1
    host_->disconnect();
    EXPECT_EQ(standin_open_mmio_files(), 0);
    EXPECT_EQ(standin_call_count("mmioOpenA"), standin_call_count("mmioClose"));
}

TEST_F(CommandsTest, ASoundFileThatIsAPipeIsRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo((root_ + "/Sound/jvb/jvb_xml_12.wav").c_str(), 0644), 0);
    start_panel();
    write(12);
    // In a child process, so that a module that blocks fails this test alone. Only the module's
    // update runs there, without the sound's time passing.
    EXPECT_EQ(run_in_child([&] {
                  host_->pre_update();
                  return standin_call_count("mmioOpenA") == 0 && value() == 260.0;
              }),
              "true");
}
