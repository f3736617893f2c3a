// The capture checker's rule for holes in the captured sound: a short silence of all sound at
// once, or a jump of its phase, is the output's and is forgiven, and so is the delay, up to its
// length, it causes to everything after it; a hole in one tone, a long silence, a tone that
// ends or starts at a silence, one that goes on, or one later than the silences before it
// account for is not.
#include "wine/output_gaps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Piece {
    double seconds;
    std::vector<double> frequencies;  // none: digital silence, as an underrun records
};

// Each piece starts its tones at phase 0, so a piece after one with the same tones is a jump
// of phase in all sound at once, as when the output drops or repeats a few milliseconds.

tones::Recording make(const std::vector<Piece>& pieces) {
    tones::Recording r;
    r.rate = 22050;
    for (const Piece& p : pieces) {
        const size_t frames = static_cast<size_t>(std::lround(p.seconds * r.rate));
        for (size_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / r.rate;
            double s = 0;
            for (double f : p.frequencies) s += 0.4 * std::sin(2 * 3.14159265358979 * f * t);
            r.samples.push_back(static_cast<float>(s));
        }
    }
    return r;
}

TEST(OutputGaps, OnlyAShortSilenceOfAllSoundAndTheDelayItCausesAreForgiven) {
    const struct {
        const char* what;
        std::vector<Piece> pieces;
        bool silent;      // the check: 1100 Hz silent in the span, or heard all through it
        double from, to;  // the span
        size_t gaps;      // output gaps found
        bool passes;
        size_t excused;
    } cases[] = {
        // clang-format off
        // 1100 Hz heard all through the span
        {"no hole", {{1.2, {1100}}}, false, 0.1, 1.1, 0, true, 0},
        {"half a period of all sound skipped mid-window", {{0.625, {700, 1100}}, {0.6, {700, 1100}}},
         false, 0.1, 1.15, 0, true, 0},
        {"all sound silent 50 ms", {{0.6, {700, 1100}}, {0.05, {}}, {0.6, {700, 1100}}},
         false, 0.1, 1.15, 1, true, 1},
        {"all sound silent 80 ms across two windows", {{0.61, {1100}}, {0.08, {}}, {0.6, {1100}}},
         false, 0.1, 1.15, 1, true, 1},
        {"a hole in one tone while another goes on",
         {{0.6, {700, 1100}}, {0.05, {700}}, {0.6, {700, 1100}}}, false, 0.1, 1.15, 0, false, 0},
        {"a silence longer than an underrun", {{0.6, {1100}}, {0.3, {}}, {0.6, {1100}}},
         false, 0.1, 1.4, 0, false, 0},
        {"the tone ends at the silence, another follows", {{0.6, {1100}}, {0.05, {}}, {0.6, {700}}},
         false, 0.1, 1.15, 1, false, 0},
        {"the tone starts after the silence, another before it",
         {{0.5, {500}}, {0.05, {}}, {0.6, {1100}}}, false, 0.4, 1.1, 1, false, 0},
        // meant for 1.1-1.7 s, after a tone that an underrun of 0.1 s interrupted
        {"the tone starts late by the output gaps before it",
         {{0.4, {700}}, {0.1, {}}, {0.2, {700}}, {0.5, {}}, {0.6, {1100}}},
         false, 1.15, 1.65, 1, true, 0},
        {"the recording ends before the delayed span does",
         {{0.4, {700}}, {0.1, {}}, {0.2, {700}}, {0.5, {}}, {0.4, {1100}}},
         false, 1.15, 1.65, 1, false, 0},
        {"the tone on time after an output gap whose time was made up",
         {{0.4, {700}}, {0.2, {}}, {0.05, {700}}, {0.45, {}}, {0.6, {1100}}, {0.3, {}}},
         false, 1.15, 1.65, 1, true, 0},
        {"the tone starts later than the output gaps before it",
         {{0.4, {700}}, {0.1, {}}, {0.2, {700}}, {0.65, {}}, {0.6, {1100}}},
         false, 1.15, 1.65, 1, false, 0},
        // 1100 Hz silent in the span; it should have ended at 0.5 s
        {"the tone ends late by the output gap inside it",
         {{0.5, {1100}}, {0.15, {}}, {0.2, {1100}}, {1.0, {}}}, true, 0.7, 1.8, 1, true, 1},
        {"the tone ends late with no output gap", {{0.85, {1100}}, {1.0, {}}},
         true, 0.7, 1.8, 0, false, 0},
        // 1100 Hz meant for 1.0-1.5 s, late by an underrun during the tone before it
        {"the tone ends late by the output gaps before it began",
         {{0.4, {700}}, {0.2, {}}, {0.1, {700}}, {0.5, {}}, {0.5, {1100}}, {0.9, {}}},
         true, 1.6, 2.4, 1, true, 1},
        {"the tone goes on far past the gap", {{0.5, {1100}}, {0.15, {}}, {1.5, {1100}}, {0.2, {}}},
         true, 0.7, 2.0, 1, false, 0},
        {"the tone sounds again inside the span",
         {{0.6, {1100}}, {0.15, {}}, {0.3, {1100}}, {0.6, {}}}, true, 0.7, 1.6, 1, false, 0},
        // clang-format on
    };
    const double window = 0.05;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const tones::Recording r = make(c.pieces);
        const auto gaps = tones::output_gaps(r);
        EXPECT_EQ(gaps.size(), c.gaps);
        const auto heard = tones::presence(r, 1100, window, 0.1);
        const long begin = std::lround(std::ceil(c.from / window));
        const long end = std::lround(std::floor(c.to / window));
        std::vector<tones::Gap> excused;
        EXPECT_EQ(c.silent ? tones::silent_through(heard, begin, end, window, gaps, &excused)
                           : tones::heard_through(heard, begin, end, window, gaps, &excused),
                  c.passes);
        if (c.passes) {
            EXPECT_EQ(excused.size(), c.excused);
        }
    }
}

}  // namespace
