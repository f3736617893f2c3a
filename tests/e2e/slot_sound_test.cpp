// The slot buffers through the module: loading in the file's own format, playing, looping,
// stopping, lost buffers, a device that will not start, files that are not sounds, and
// giving everything back at disconnect.
#include "e2e/module_fixture.h"
#include "sound/slot_buffers.h"

using SlotSoundTest = ModuleTest;

TEST_F(SlotSoundTest, ABufferTakesTheFilesFormatAndDataSize) {
    write_tone("Sound/jvb/jvb_xml_01.wav", 500, 0.25, 11025, 2, 8);
    write_tone("Sound/jvb/jvb_xml_02.wav", 500, 0.5, 44100, 1, 16);
    start_panel();
    command(1);
    command(2);
    const std::vector<TraceEvent> created = events("create");
    ASSERT_EQ(created.size(), 2u);
    EXPECT_EQ(trace_field(created[0], "tag"), "1");
    EXPECT_EQ(trace_field(created[0], "channels"), "2");
    EXPECT_EQ(trace_field(created[0], "rate"), "11025");
    EXPECT_EQ(trace_field(created[0], "bits"), "8");
    EXPECT_EQ(trace_field(created[0], "bytes"), std::to_string(2 * static_cast<int>(0.25 * 11025)));
    EXPECT_EQ(trace_field(created[1], "bytes"), std::to_string(2 * 22050));
}

TEST_F(SlotSoundTest, AOneShotEndsAndAStoppedSlotStartsFromTheBeginning) {
    default_slot_tone(4, 0.3);
    start_panel();
    command(4);
    wait(0.6);
    command(-4);  // no longer playing: nothing to stop
    EXPECT_EQ(count("stop"), 0u);
    command(104);
    wait(0.2);
    command(104);
    ASSERT_EQ(count("position"), 1u);
    command(4);
    ASSERT_FALSE(events("play").empty());
    EXPECT_EQ(trace_field(events("play").back(), "position"), "0");
    // Stopped part way by -4, it does not resume where it stopped.
    wait(0.1);
    command(-4);
    ASSERT_EQ(count("stop"), 2u);
    command(4);
    EXPECT_EQ(trace_field(events("play").back(), "position"), "0");
}

TEST_F(SlotSoundTest, ALostBufferIsRestoredAndRefilledBeforeItPlays) {
    default_slot_tone(6, 1.0);
    start_panel();
    command(6);
    wait(1.2);
    const long locks = standin_call_count("Lock");
    standin_lose_all_buffers();
    standin_fail_restore(3, DSERR_BUFFERLOST);  // the device comes back after a while
    command(6);
    // Passes of two Restore calls; a sleep after each first call that finds the buffer lost.
    EXPECT_EQ(standin_call_count("Restore"), 4);
    EXPECT_EQ(standin_call_count("Sleep"), 2);
    EXPECT_EQ(standin_slept_milliseconds(), 20);  // 10 ms each: about a second before giving up
    EXPECT_EQ(standin_call_count("Lock"), locks + 1);  // refilled from the open reader
    EXPECT_EQ(events("play").size(), 2u);
    EXPECT_EQ(standin_call_count("mmioOpenA"), 1);  // the file was not parsed again
}

TEST_F(SlotSoundTest, ABufferThatStaysLostIsGivenUpWithoutPlaying) {
    default_slot_tone(6, 1.0);
    start_panel();
    command(6);
    wait(1.2);
    standin_lose_all_buffers();
    standin_fail_restore(-1, DSERR_BUFFERLOST);
    command(6);
    EXPECT_EQ(standin_call_count("Restore"), 2 * RESTORE_PASS_LIMIT);
    EXPECT_EQ(events("play").size(), 1u);
    EXPECT_EQ(value(), 260.0);
    // Another failure than "lost" gives up as soon, without sleeping.
    standin_reset_counts();
    standin_fail_restore(-1, E_FAIL);
    command(6);
    EXPECT_EQ(standin_call_count("Restore"), 2 * RESTORE_PASS_LIMIT);
    EXPECT_EQ(standin_call_count("Sleep"), 0);
    standin_fail_restore(0, 0);
    command(6);  // once the device is back, the slot plays again
    EXPECT_EQ(events("play").size(), 2u);
}

TEST_F(SlotSoundTest, WithoutADeviceNoBufferIsMadeAndTheModuleGoesOn) {
    default_slot_tone(2);
    standin_fail_device_create(DSERR_NODRIVER);
    start_panel();
    command(2);
    command(102);
    command(250);
    EXPECT_EQ(standin_call_count("CreateSoundBuffer"), 0);
    EXPECT_EQ(count("play"), 0u);
    EXPECT_EQ(value(), 260.0);
}

TEST_F(SlotSoundTest, ASlotWhoseFileIsNotASoundGetsNoBufferAndItsReaderIsReleased) {
    write_file("Sound/jvb/jvb_xml_08.wav", "this is a text file, not a sound");
    start_panel();
    command(8);
    command(8);  // the slot counts as loaded: its file is not looked at again
    EXPECT_EQ(standin_call_count("CreateSoundBuffer"), 0);
    EXPECT_EQ(standin_call_count("mmioOpenA"), 1);
    EXPECT_EQ(count("play"), 0u);
    host_->disconnect();
    EXPECT_EQ(standin_call_count("mmioClose"), 1);
}

TEST_F(SlotSoundTest, ABufferTheDeviceRefusesLeavesTheSlotSilent) {
    default_slot_tone(2);
    start_panel();
    standin_fail_buffer_create(DSERR_OUTOFMEMORY);
    command(2);
    command(-2);
    EXPECT_EQ(count("play"), 0u);
    EXPECT_EQ(count("stop"), 0u);
    EXPECT_EQ(value(), 260.0);
}

TEST_F(SlotSoundTest, DisconnectReleasesLoadedSlotsInOrderThenTheDevice) {
    for (int slot : {9, 2, 99}) default_slot_tone(slot);
    start_panel();
    command(9);
    command(2);
    command(199);
    host_->disconnect();
    // Buffers were made for 9, 2, 99 in that order; they go back as slots 2, 9, 99, the last
    // slot too, with the files their readers held.
    std::vector<std::string> released;
    size_t device_released_at = 0, last_release_at = 0;
    const std::vector<TraceEvent>& all = trace_->events();
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].event == "release") {
            released.push_back(trace_field(all[i], "buffer"));
            last_release_at = i;
        }
        if (all[i].event == "device_release") device_released_at = i;
    }
    const std::vector<TraceEvent> created = events("create");
    ASSERT_EQ(created.size(), 3u);
    EXPECT_EQ(released, (std::vector<std::string>{trace_field(created[1], "buffer"),
                                                  trace_field(created[0], "buffer"),
                                                  trace_field(created[2], "buffer")}));
    EXPECT_GT(device_released_at, last_release_at);
    EXPECT_EQ(standin_open_mmio_files(), 0);
    EXPECT_EQ(standin_live_buffers(), 0);
    EXPECT_EQ(standin_live_devices(), 0);
}

TEST_F(SlotSoundTest, ConnectLoadDisconnectCyclesLeaveNothingBehind) {
    for (int slot = 0; slot < 4; ++slot) default_slot_tone(slot, 0.1);
    write_file("Sound/jvb/jvb_xml_04.wav", "RIFF");
    host_->add_gauge("");
    for (int cycle = 0; cycle < 100; ++cycle) {
        host_->connect();
        update(2);
        for (int slot = 0; slot < 5; ++slot) command(100 + slot);
        host_->disconnect();
        ASSERT_EQ(standin_live_buffers(), 0) << cycle;
        ASSERT_EQ(standin_live_devices(), 0) << cycle;
    }
    EXPECT_EQ(standin_call_count("mmioOpenA"), standin_call_count("mmioClose"));
    EXPECT_EQ(standin_call_count("CreateSoundBuffer"), 400);
}

TEST_F(SlotSoundTest, ASecondConnectKeepsTheDeviceAndTheBuffersMadeOnIt) {
    default_slot_tone(3, 2.0);
    start_panel();
    // The device is bound to the simulator's main window, found by its class.
    ASSERT_NE(FindWindowA("FS98MAIN", "cuebox"), nullptr);
    EXPECT_EQ(standin_cooperative_window(), FindWindowA("FS98MAIN", "cuebox"));
    command(103);
    host_->connect();  // the host connects again without a disconnect in between
    EXPECT_EQ(standin_call_count("DirectSoundCreate"), 1);
    EXPECT_EQ(standin_live_devices(), 1);
    wait(0.3);
    command(103);  // the loop still answers: it stops
    ASSERT_EQ(count("stop"), 1u);
    command(103);
    const std::vector<TraceEvent> loops = events("play", "looping", "true");
    ASSERT_EQ(loops.size(), 2u);
    EXPECT_EQ(trace_field(loops[1], "result"), "0");
    host_->disconnect();
    EXPECT_EQ(standin_live_devices(), 0);
    EXPECT_EQ(standin_live_buffers(), 0);
}

// A "data" chunk that declares more than the file holds: the slot plays what the file has, and
// the lie costs no memory.
TEST_F(SlotSoundTest, ATruncatedFilePlaysTheSamplesItHolds) {
    const std::string out = root_ + "/out.wav";
    ASSERT_EQ(standin_set_output(STANDIN_OUTPUT_FILE, out.c_str()), 0);
    default_slot_tone(5, 0.5);
    std::string bytes = read_file("Sound/jvb/jvb_xml_05.wav");
    const size_t data = bytes.find("data");
    ASSERT_NE(data, std::string::npos);
    bytes.replace(data + 4, 4, std::string("\xFF\xFF\xFF\x0F", 4));  // 256 MiB declared
    bytes += '\x7F';  // half a 16-bit frame, left out
    write_file("Sound/jvb/jvb_xml_05.wav", bytes);

    start_panel();
    command(5);
    const std::vector<TraceEvent> created = events("create");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(trace_field(created[0], "bytes"), std::to_string(2 * 11025));
    wait(1.0);
    host_->disconnect();
    standin_finish_output();

    tones::Recording r;
    ASSERT_TRUE(tones::read_recording(out, r));
    const double start = 3.0 / 18;
    EXPECT_GT(tones::tone_level(r, slot_frequency(5), start + 0.1, start + 0.4), 0.05);
    EXPECT_LT(tones::tone_level(r, slot_frequency(5), start + 0.6, start + 0.9), 0.01);
}

// The file was cut on disk while the module held it, so the refill after a loss fails part way
// and leaves the reader short; with the file whole again, the refill after the next loss starts
// from the first sample and the slot sounds, not silence.
TEST_F(SlotSoundTest, ARefillAfterAFailedRefillIsWhole) {
    const std::string out = root_ + "/out.wav";
    ASSERT_EQ(standin_set_output(STANDIN_OUTPUT_FILE, out.c_str()), 0);
    default_slot_tone(6, 0.5);
    const std::string whole = read_file("Sound/jvb/jvb_xml_06.wav");
    start_panel();
    command(6);
    wait(0.7);
    write_file("Sound/jvb/jvb_xml_06.wav", whole.substr(0, 100));
    standin_lose_all_buffers();
    command(6);
    ASSERT_EQ(count("play"), 1u) << "the refill from the cut file should have failed";
    write_file("Sound/jvb/jvb_xml_06.wav", whole);
    standin_lose_all_buffers();
    command(6);
    ASSERT_EQ(count("play"), 2u);
    wait(0.7);
    host_->disconnect();
    standin_finish_output();

    tones::Recording r;
    ASSERT_TRUE(tones::read_recording(out, r));
    const double start = 18.0 / 18;
    EXPECT_GT(tones::tone_level(r, slot_frequency(6), start + 0.1, start + 0.4), 0.05);
}
