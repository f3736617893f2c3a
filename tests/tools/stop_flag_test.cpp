// The stop flag followed without the platform trace, as on Windows: from whether each slot's
// file opens (slots 05 and 12 here), the run's activity showing nothing.
#include "tools/stop_flag.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(StopFlagTest, FollowsTheModuleFromTheFilesAlone) {
    const struct {
        std::vector<double> values;  // read after the idle value
        bool set;
        const char* last_note;
    } cases[] = {
        {{-112}, true, ""},        // the loop starts and the flag stays
        {{-112, 112}, false, ""},  // the toggle that stops the loop clears it
        {{-112, 5}, true, "which has not played"},
        {{5, -5}, false, ""},  // a stop of a slot that has played
        {{-7, 250, 3}, true, "which has not played"},
        {{-112, 12}, false, "the flag is down again"},
        {{-107, 107, 7}, true, ""},  // slot 7 has no file: its loop never starts
        {{5, -260, 5.9}, false, "the flag is down again"},
    };
    for (const auto& c : cases) {
        StopFlag flag([](int slot) { return slot == 5 || slot == 12; });
        const SlotActivity nothing_traced;
        flag.read(260, nothing_traced, 0.0);
        std::string note;
        double time = 0;
        for (double value : c.values) note = flag.read(value, nothing_traced, time += 0.1);
        EXPECT_EQ(flag.set(), c.set) << c.values.size() << " values, the last " << c.values.back();
        EXPECT_NE(note.find(c.last_note), std::string::npos) << note;
    }
}

}  // namespace
