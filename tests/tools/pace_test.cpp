// Real-time pace of the host: the updates' own cost does not add up over a run, so a slow host
// (32-bit Windows under an emulator, a loaded machine) still plays a scenario on time.
#include <gtest/gtest.h>

#include <chrono>

#include "host/panel_host.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(LivePace, TheUpdatesOwnTimeDoesNotAddUp) {
    // A first update of 50 ms that starts the pace, then 12 more, each costing 20 ms of work:
    // 0.65 s on a clock, 0.89 s if the sleeps merely followed the work. Each update leaves
    // 30 ms for a loaded machine to wake us up. The clock starts before the first update, not
    // when it returns: a late wake-up there would shorten the measured run below the pace.
    const auto start = std::chrono::steady_clock::now();
    let_time_pass(0.05, SoundOutput::LIVE);
    for (int update = 0; update < 12; ++update) {
        const auto work = std::chrono::steady_clock::now();
        while (seconds_since(work) < 0.02) {
        }
        let_time_pass(0.05, SoundOutput::LIVE);
    }
    const double took = seconds_since(start);
    EXPECT_GE(took, 0.65);
    EXPECT_LT(took, 0.79);
}

TEST(LivePace, AStallStartsThePaceAgainInsteadOfRacing) {
    let_time_pass(0.01, SoundOutput::LIVE);
    const auto stall = std::chrono::steady_clock::now();
    while (seconds_since(stall) < 0.4) {
    }
    // After the stall the next ten updates still take their 0.1 s, none is skipped.
    const auto start = std::chrono::steady_clock::now();
    for (int update = 0; update < 10; ++update) let_time_pass(0.01, SoundOutput::LIVE);
    EXPECT_GE(seconds_since(start), 0.09);
}

}  // namespace
