// The tools' reading of the command protocol beside the module's: a run through every class of
// value, where what the tools predict for each value (the decoded action, its slot, the stop flag
// as the console follows it) must be what the module then does with its slots' buffers.
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "control/protocol.h"
#include "e2e/module_fixture.h"
#include "tools/slot_activity.h"
#include "tools/stop_flag.h"

namespace {

const char* action_name(CommandAction action) {
    switch (action) {
        case CommandAction::PLAY:
            return "play";
        case CommandAction::STOP:
            return "stop";
        case CommandAction::LOOP_TOGGLE:
            return "loop toggle";
        case CommandAction::STOP_ALL:
            return "stop all";
        case CommandAction::NONE:
            break;
    }
    return "nothing";
}

class ProtocolViewTest : public ModuleTest {};

TEST_F(ProtocolViewTest, TheToolsReadEveryValueAsTheModuleActsOnIt) {
    for (int slot : {0, 7, 42}) default_slot_tone(slot, 30.0);  // slot 9 and 99 have no file
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {7,
                             7,
                             7.9,
                             107,
                             -107,
                             42,
                             -7,
                             -42,
                             -9,
                             9,
                             42,
                             107,
                             250,
                             -250,
                             7,
                             225,
                             255,
                             199,
                             -199,
                             300,
                             -300,
                             0,
                             1000,
                             -260,
                             -260,
                             260,
                             2147483648.0,
                             -2147483648.0,
                             std::nan(""),
                             inf,
                             -inf,
                             -0.5,
                             107,
                             4294967296.0 + 7,
                             4294967296.0 - 7,
                             1e300,
                             5.9,
                             -5.9,
                             107,
                             250,
                             260};
    start_panel();
    SlotActivity activity;
    for (const TraceEvent& event : trace_->events()) activity.add(event);
    StopFlag view;
    view.read(IDLE_VALUE, activity, trace_->time());  // what start_panel's updates read
    std::map<std::string, int> buffer_slots;          // the module's buffers, by the slot made for
    std::set<CommandAction> seen;
    for (double value : values) {
        const Command predicted = decode_command(value, view.set());
        seen.insert(predicted.action);
        const size_t before = trace_->events().size();
        command(value);
        const std::vector<TraceEvent>& all = trace_->events();
        int plays = 0, loop_plays = 0, stops = 0, writes = 0;
        double read_time = 0;  // when the update ran, as the console hands it over
        std::set<int> touched;
        for (size_t i = before; i < all.size(); ++i) {
            const TraceEvent& e = all[i];
            activity.add(e);
            if (e.event == "create") buffer_slots[trace_field(e, "buffer")] = predicted.slot;
            if (e.event == "write") ++writes;
            if (e.event == "read") read_time = e.time;
            if (e.event != "play" && e.event != "stop") continue;
            touched.insert(buffer_slots.at(trace_field(e, "buffer")));
            if (e.event == "stop") {
                ++stops;
            } else if (trace_field(e, "looping") == "true") {
                ++loop_plays;
            } else {
                ++plays;
            }
        }
        view.read(value, activity, read_time);

        const std::string what = std::to_string(value) + " read as " +
                                 action_name(predicted.action) + " of slot " +
                                 std::to_string(predicted.slot);
        EXPECT_EQ(writes, predicted.value != IDLE_COMMAND ? 1 : 0) << what;
        const bool one_slot =
            predicted.action != CommandAction::NONE && predicted.action != CommandAction::STOP_ALL;
        EXPECT_EQ(SlotActivity::slot_of_value(value), one_slot ? predicted.slot : -1) << what;
        if (one_slot) {
            EXPECT_LE(touched, std::set<int>{predicted.slot}) << what;
        }
        const bool has_file = predicted.slot == 0 || predicted.slot == 7 || predicted.slot == 42;
        switch (predicted.action) {
            case CommandAction::NONE:
                EXPECT_EQ(plays + loop_plays + stops, 0) << what;
                break;
            case CommandAction::PLAY:
                EXPECT_EQ(plays, has_file ? 1 : 0) << what;
                EXPECT_EQ(loop_plays + stops, 0) << what;
                break;
            case CommandAction::STOP:
            case CommandAction::STOP_ALL:
                EXPECT_EQ(plays + loop_plays, 0) << what;
                break;
            case CommandAction::LOOP_TOGGLE:
                EXPECT_EQ(plays, 0) << what;
                EXPECT_EQ(loop_plays + stops, has_file ? 1 : 0) << what;
                break;
        }
    }
    // The run went through every action, so each comparison above had work to do.
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(buffer_slots.size(), 3u);
}

}  // namespace
