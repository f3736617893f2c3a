// The capture checker's rule for holes in the sound: which are the output's (an underrun of
// Wine's mixer or the audio server) and which are the module's.
//
// An underrun stops ALL sound at once: for a few milliseconds the server mixes nothing, and the
// null sink's monitor records digital silence in the middle of whatever was playing. The module
// cannot make that: it plays, loops or stops one slot's buffer at a time, so a fault of its own
// is a tone missing, extra or wrong, or a hole in one tone while others go on. Hence:
//   - an output gap is a short stretch (at most `longest` seconds) in which the whole recording
//     is silent, with sound on both sides;
//   - a tone's missing stretch is the output's only when every window of it touches an output
//     gap and the same tone is heard right before and right after it: the tone was interrupted,
//     not ended, started late or replaced.
// Anything else counts against the module. A module that stopped and restarted the only tone
// sounding within that time would pass here; the recorded runs, which see every call and
// have no output to underrun, catch that.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "support/tones.h"

namespace tones {

// Whether tone `frequency` is heard in each window of `window` seconds of the recording.
inline std::vector<bool> presence(const Recording& r, double frequency, double window,
                                  double threshold) {
    std::vector<bool> heard;
    const double length = static_cast<double>(r.samples.size()) / r.rate;
    for (double t = 0; t + window <= length; t += window) {
        heard.push_back(tone_level(r, frequency, t, t + window) > threshold);
    }
    return heard;
}

struct Gap {
    double from = 0;
    double to = 0;
};

// Silence is judged in steps of 5 ms: the lowest tone (500 Hz) has 2.5 periods in one, so a
// tone at any level worth hearing peaks above `floor` in each.
inline std::vector<Gap> output_gaps(const Recording& r, double longest, double floor = 0.01) {
    std::vector<Gap> gaps;
    const size_t step = std::max<size_t>(1, r.rate / 200);
    const size_t blocks = r.samples.size() / step;
    auto quiet = [&](size_t block) {
        for (size_t i = block * step; i < (block + 1) * step; ++i) {
            if (std::fabs(r.samples[i]) >= floor) return false;
        }
        return true;
    };
    for (size_t b = 0; b < blocks;) {
        if (!quiet(b)) {
            ++b;
            continue;
        }
        size_t e = b;
        while (e < blocks && quiet(e)) ++e;
        // [b, e) is quiet; a gap needs sound on both sides and a short length.
        const double from = static_cast<double>(b * step) / r.rate;
        const double to = static_cast<double>(e * step) / r.rate;
        if (b > 0 && e < blocks && to - from <= longest + 1e-9) gaps.push_back({from, to});
        b = e;
    }
    return gaps;
}

// Whether a tone whose presence per window of `window` seconds is `heard` sounds all through
// the windows [begin, end), holes that are output gaps (see above) excepted. The excepted holes
// are added to `excused`, in seconds.
inline bool heard_through(const std::vector<bool>& heard, long begin, long end, double window,
                          const std::vector<Gap>& gaps, std::vector<Gap>* excused = nullptr) {
    const long size = static_cast<long>(heard.size());
    auto touches_gap = [&](long i) {
        for (const Gap& g : gaps) {
            if (g.from < (i + 1) * window && g.to > i * window) return true;
        }
        return false;
    };
    for (long i = std::max(0L, begin); i < std::min(end, size);) {
        if (heard[i]) {
            ++i;
            continue;
        }
        long first = i, last = i;  // the whole missing stretch, also outside the span
        while (first > 0 && !heard[first - 1]) --first;
        while (last + 1 < size && !heard[last + 1]) ++last;
        if (first == 0 || last + 1 >= size) return false;  // not heard on both sides
        for (long j = first; j <= last; ++j) {
            if (!touches_gap(j)) return false;
        }
        if (excused) excused->push_back({first * window, (last + 1) * window});
        i = last + 1;
    }
    return true;
}

}  // namespace tones
