// capture_check: writes the tone files of the Wine runs and judges a captured recording: which
// slot's tone sounds when. Wine's output latency and the start of the capture are not known, so
// times are taken from the first moment any listed tone is heard (the anchor).
//
//   capture_check tone FILE.wav FREQUENCY SECONDS
//   capture_check check FILE [--raw RATE] [--window S] [--threshold L] CHECK...
//     FILE is a 16-bit PCM WAV file, or with --raw headerless 16-bit mono samples at RATE Hz
//     (what parec writes: it stays readable however the recorder is stopped)
//     --hears F@A-B    tone F (Hz) sounds all through A..B seconds after the anchor
//     --silent F@A-B   tone F is not heard anywhere in A..B seconds after the anchor
//     --never F        tone F is never heard
//     --nothing        no tone at all, and the recording holds next to no sound
//     --report F       only print where tone F was heard (it does not set the anchor)
//   Prints where each listed tone was heard; exits 1 with one line per failed check.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/tones.h"

namespace {

struct Check {
    std::string kind;  // hears, silent, never, report
    double frequency = 0;
    double from = 0;
    double to = 0;
};

struct Settings {
    uint32_t raw_rate = 0;  // 0: the file is a WAV file
    double window = 0.05;
    double threshold = 0.1;  // the tones are written at 0.5 of full scale
};

bool parse_span(const std::string& text, Check& check) {
    char* end = nullptr;
    check.frequency = std::strtod(text.c_str(), &end);
    if (*end != '@') return false;
    check.from = std::strtod(end + 1, &end);
    if (*end != '-') return false;
    check.to = std::strtod(end + 1, &end);
    return *end == '\0' && check.frequency > 0 && check.to > check.from;
}

bool read_raw(const char* path, uint32_t rate, tones::Recording& out) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    unsigned char pair[2];
    while (std::fread(pair, 1, 2, f) == 2) {
        out.samples.push_back(static_cast<int16_t>(pair[0] | pair[1] << 8) / 32768.0f);
    }
    std::fclose(f);
    out.rate = rate;
    return true;
}

// Whether tone `frequency` is heard in each window of the recording.
std::vector<bool> presence(const tones::Recording& r, double frequency, const Settings& s) {
    std::vector<bool> heard;
    const double length = static_cast<double>(r.samples.size()) / r.rate;
    for (double t = 0; t + s.window <= length; t += s.window) {
        heard.push_back(tones::tone_level(r, frequency, t, t + s.window) > s.threshold);
    }
    return heard;
}

std::string spans(const std::vector<bool>& heard, double window, double anchor) {
    std::string text;
    for (size_t i = 0; i < heard.size(); ++i) {
        if (!heard[i] || (i > 0 && heard[i - 1])) continue;
        size_t j = i;
        while (j + 1 < heard.size() && heard[j + 1]) ++j;
        char part[64];
        std::snprintf(part, sizeof part, "%s%.2f-%.2f", text.empty() ? "" : ", ",
                      i * window - anchor, (j + 1) * window - anchor);
        text += part;
    }
    return text.empty() ? "never" : text;
}

int check(int argc, char** argv) {
    Settings settings;
    std::vector<Check> checks;
    bool nothing = false;
    for (int i = 3; i < argc; ++i) {
        const std::string word = argv[i];
        const bool has_value = i + 1 < argc;
        Check c;
        if (word == "--nothing") {
            nothing = true;
        } else if (word == "--raw" && has_value) {
            settings.raw_rate = static_cast<uint32_t>(std::atoi(argv[++i]));
        } else if (word == "--window" && has_value) {
            settings.window = std::atof(argv[++i]);
        } else if (word == "--threshold" && has_value) {
            settings.threshold = std::atof(argv[++i]);
        } else if ((word == "--hears" || word == "--silent") && has_value &&
                   parse_span(argv[++i], c)) {
            c.kind = word.substr(2);
            checks.push_back(c);
        } else if ((word == "--never" || word == "--report") && has_value &&
                   (c.frequency = std::atof(argv[++i])) > 0) {
            c.kind = word.substr(2);
            checks.push_back(c);
        } else {
            std::fprintf(stderr, "capture_check: bad argument %s\n", word.c_str());
            return 2;
        }
    }
    tones::Recording recording;
    const bool read = settings.raw_rate ? read_raw(argv[2], settings.raw_rate, recording)
                                        : tones::read_recording(argv[2], recording);
    if (!read || recording.rate == 0) {
        std::fprintf(stderr, "capture_check: cannot read %s as a recording\n", argv[2]);
        return 2;
    }
    const double seconds = static_cast<double>(recording.samples.size()) / recording.rate;

    std::vector<double> frequencies;
    std::vector<bool> anchors;  // whether a tone counts for the anchor
    for (const Check& c : checks) {
        size_t n = 0;
        while (n < frequencies.size() && frequencies[n] != c.frequency) ++n;
        if (n == frequencies.size()) {
            frequencies.push_back(c.frequency);
            anchors.push_back(false);
        }
        if (c.kind != "report") anchors[n] = true;
    }
    std::vector<std::vector<bool>> heard;
    size_t first = SIZE_MAX;
    for (size_t n = 0; n < frequencies.size(); ++n) {
        heard.push_back(presence(recording, frequencies[n], settings));
        for (size_t i = 0; anchors[n] && i < heard.back().size() && i < first; ++i) {
            if (heard.back()[i]) first = i;
        }
    }
    const double anchor = first == SIZE_MAX ? 0.0 : first * settings.window;
    std::printf("  recording %.2f s, first tone at %.2f s\n", seconds, anchor);
    for (size_t n = 0; n < frequencies.size(); ++n) {
        std::printf("  %g Hz heard at: %s\n", frequencies[n],
                    spans(heard[n], settings.window, anchor).c_str());
    }

    int failures = 0;
    auto fail = [&](const std::string& text) {
        std::printf("  FAILED: %s\n", text.c_str());
        ++failures;
    };
    if (nothing) {
        double peak = 0;
        for (float s : recording.samples) peak = std::max(peak, std::fabs(static_cast<double>(s)));
        if (peak > 0.01)
            fail("expected no sound, but the recording peaks at " + std::to_string(peak));
    }
    for (const Check& c : checks) {
        size_t n = 0;
        while (frequencies[n] != c.frequency) ++n;
        char what[96];
        if (c.kind == "report") continue;
        if (c.kind == "never") {
            std::snprintf(what, sizeof what, "%g Hz never heard", c.frequency);
            for (bool h : heard[n]) {
                if (h) {
                    fail(what);
                    break;
                }
            }
            continue;
        }
        std::snprintf(what, sizeof what, "%g Hz %s %.2f-%.2f s", c.frequency,
                      c.kind == "hears" ? "heard all through" : "silent in", c.from, c.to);
        if (first == SIZE_MAX) {
            fail(std::string(what) + ": no tone was heard at all");
            continue;
        }
        // The windows that lie wholly inside the span.
        const long begin = std::lround(std::ceil((anchor + c.from) / settings.window));
        const long end = std::lround(std::floor((anchor + c.to) / settings.window));
        if (end <= begin || end > static_cast<long>(heard[n].size())) {
            fail(std::string(what) + ": the recording does not cover the span");
            continue;
        }
        for (long i = begin; i < end; ++i) {
            if (heard[n][i] != (c.kind == "hears")) {
                fail(what);
                break;
            }
        }
    }
    return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "tone" && argc == 5) {
        if (tones::write_tone(argv[2], std::atof(argv[3]), std::atof(argv[4]))) return 0;
        std::fprintf(stderr, "capture_check: cannot write %s\n", argv[2]);
        return 2;
    }
    if (command == "check" && argc >= 3) return check(argc, argv);
    std::fprintf(
        stderr,
        "usage: capture_check tone FILE.wav FREQUENCY SECONDS\n"
        "       capture_check check FILE [--raw RATE] [--window S] [--threshold L] CHECK...\n");
    return 2;
}
