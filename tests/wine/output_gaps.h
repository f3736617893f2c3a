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
//   - an underrun delays all that follows it, not only the tone it interrupts: a span where a
//     tone must be heard is looked for later by the output gaps before it added up, and a tone
//     heard into a span where it must be silent is excused only when it sounded from before the
//     span, with no holes but output gaps', and ends within the gaps before its end added up of
//     the span's start (and one window, for the rounding of its end).
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

// Whether tone `frequency` is heard in each window of `window` seconds of the recording. The
// level of a window is the mean of its tenths of a window (5 ms at the checks' 50 ms), each
// measured on its own: an underrun that drops or repeats a few milliseconds jumps the phase of
// everything playing, and one measurement across the jump can cancel a tone that sounds all
// through. In 5 ms the other tones, 200 Hz apart, differ by whole periods, so none leaks in.
inline std::vector<bool> presence(const Recording& r, double frequency, double window,
                                  double threshold) {
    std::vector<bool> heard;
    const double length = static_cast<double>(r.samples.size()) / r.rate;
    const int parts = 10;
    for (double t = 0; t + window <= length; t += window) {
        double sum = 0;
        for (int p = 0; p < parts; ++p) {
            sum += tone_level(r, frequency, t + p * window / parts, t + (p + 1) * window / parts);
        }
        heard.push_back(sum / parts > threshold);
    }
    return heard;
}

struct Gap {
    double from = 0;
    double to = 0;
};

// The longest silence of all sound that counts as the output's. The 32-bit runs' mixer is
// emulated; on a 2-core machine at a load of 7 to 9 its underruns lasted 10 to 150 ms. It stays
// well below the shortest span a check asks to hear (0.35 s) and the shortest tone (0.3 s).
constexpr double kLongestOutputGap = 0.2;

// Silence is judged in steps of 5 ms: the lowest tone (500 Hz) has 2.5 periods in one, so a
// tone at any level worth hearing peaks above `floor` in each.
inline std::vector<Gap> output_gaps(const Recording& r, double longest = kLongestOutputGap,
                                    double floor = 0.01) {
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

// How late the output is at `seconds` into the recording: the output gaps that ended by then,
// added up. What follows an underrun comes that much later, the module's sound included.
inline double output_lateness(const std::vector<Gap>& gaps, double seconds) {
    double late = 0;
    for (const Gap& g : gaps) {
        if (g.to <= seconds + 1e-9) late += g.to - g.from;
    }
    return late;
}

namespace detail {

inline bool touches_gap(long i, double window, const std::vector<Gap>& gaps) {
    for (const Gap& g : gaps) {
        if (g.from < (i + 1) * window && g.to > i * window) return true;
    }
    return false;
}

// The missing windows around `i` ([first, last]) when they are an output gap's hole: every one
// touches a gap and the tone is heard on both sides.
inline bool gap_hole(const std::vector<bool>& heard, long i, double window,
                     const std::vector<Gap>& gaps, long& first, long& last) {
    const long size = static_cast<long>(heard.size());
    first = last = i;
    while (first > 0 && !heard[first - 1]) --first;
    while (last + 1 < size && !heard[last + 1]) ++last;
    if (first == 0 || last + 1 >= size) return false;
    for (long j = first; j <= last; ++j) {
        if (!touches_gap(j, window, gaps)) return false;
    }
    return true;
}

}  // namespace detail

// Whether a tone whose presence per window of `window` seconds is `heard` sounds all through
// the windows [begin, end), looked for on time or as late as the output gaps before them make
// it, and holes that are output gaps (see above) excepted. A gap delays what follows by at most
// its length: Wine's mixer may make up the time, dropping what the gap held instead of playing
// it late (after a burst of nine gaps, 0.17 s in all, the next tone came on time). The
// excepted holes are added to `excused`, and how much later the span was found to `delayed`,
// in seconds.
inline bool heard_through(const std::vector<bool>& heard, long begin, long end, double window,
                          const std::vector<Gap>& gaps, std::vector<Gap>* excused = nullptr,
                          double* delayed = nullptr) {
    const double most = output_lateness(gaps, begin * window);
    const long size = static_cast<long>(heard.size());
    // The span found `late` seconds after its time, its gap holes in `holes`.
    auto found = [&](double late, std::vector<Gap>& holes) {
        long from = begin, to = end;
        if (late > 0) {
            // The windows wholly inside the span as delayed.
            from = std::lround(std::ceil((begin * window + late) / window - 1e-9));
            to = std::lround(std::floor((end * window + late) / window + 1e-9));
            if (to > size) return false;  // the delayed span runs past the recording
        }
        for (long i = std::max(0L, from); i < std::min(to, size);) {
            if (heard[i]) {
                ++i;
                continue;
            }
            long first, last;
            if (!detail::gap_hole(heard, i, window, gaps, first, last)) return false;
            holes.push_back({first * window, (last + 1) * window});
            i = last + 1;
        }
        return true;
    };
    // On time first, then a window later each time, then as late as all the gaps.
    for (double late = 0;; late = std::min(most, late + window)) {
        std::vector<Gap> holes;
        if (found(late, holes)) {
            if (delayed) *delayed = late;
            if (excused) excused->insert(excused->end(), holes.begin(), holes.end());
            return true;
        }
        if (late >= most) return false;
    }
}

// Whether a tone is silent all through the windows [begin, end), but for the late end of a
// sound that began before them and was delayed by output gaps (see above). The excused late
// ends are added to `excused`, in seconds.
inline bool silent_through(const std::vector<bool>& heard, long begin, long end, double window,
                           const std::vector<Gap>& gaps, std::vector<Gap>* excused = nullptr) {
    const long size = static_cast<long>(heard.size());
    for (long i = std::max(0L, begin); i < std::min(end, size); ++i) {
        if (!heard[i]) continue;
        // The sound this window belongs to, across the holes that are output gaps'.
        long first = i, last = i, hole_first, hole_last;
        for (;;) {
            while (first > 0 && heard[first - 1]) --first;
            if (first < 2 ||
                !detail::gap_hole(heard, first - 1, window, gaps, hole_first, hole_last)) {
                break;
            }
            first = hole_first - 1;
        }
        for (;;) {
            while (last + 1 < size && heard[last + 1]) ++last;
            if (last + 2 >= size ||
                !detail::gap_hole(heard, last + 1, window, gaps, hole_first, hole_last)) {
                break;
            }
            last = hole_last + 1;
        }
        if (first >= begin) return false;  // a sound of its own inside the span
        // Every gap before the sound's end delayed it: those inside it and those before it.
        double lost = 0;
        for (const Gap& g : gaps)
            lost += std::max(0.0, std::min(g.to, (last + 1) * window) - g.from);
        const double late = (last + 1 - begin) * window;
        if (lost == 0 || late > lost + window + 1e-9) return false;
        if (excused) excused->push_back({begin * window, (last + 1) * window});
        i = last;
    }
    return true;
}

}  // namespace tones
