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
//   Prints where each listed tone was heard and the output gaps; exits 1 with one line per
//   failed check. A hole in a heard tone is forgiven only when it is an output gap, a short
//   silence of all sound at once (an underrun of the output); such gaps delay everything after
//   them by at most their length, so a span is looked for on time and up to the gaps before it
//   later, and the late end of a tone is forgiven by no more than the gaps before its end add
//   up to (output_gaps.h); all are printed.
//   capture_check render LOG OUT.wav [--devices FIRST-LAST] [--end]
//     turns the record of tests/wine/recording_dsound.cpp (its dsound.log and buffer files) into
//     the sound a mixer would have made from the devices FIRST to LAST (numbered from 1 in the
//     order they were created; default all) and their buffers, as a 16-bit mono WAV file at
//     22050 Hz starting at the first device's creation. Exits 1, with one line each, when the
//     record holds an error for those objects (a wrong argument, a call out of place), when one
//     of them was never given back, or, with --end, when the record has no end (the process did
//     not let the DLL go) or objects were still held then.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/tones.h"
#include "wine/output_gaps.h"

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
        heard.push_back(
            tones::presence(recording, frequencies[n], settings.window, settings.threshold));
        for (size_t i = 0; anchors[n] && i < heard.back().size() && i < first; ++i) {
            if (heard.back()[i]) first = i;
        }
    }
    const double anchor = first == SIZE_MAX ? 0.0 : first * settings.window;
    std::printf("  recording %.2f s, first tone at %.2f s\n", seconds, anchor);
    const std::vector<tones::Gap> gaps = tones::output_gaps(recording);
    if (!gaps.empty()) {
        std::string text;
        for (const tones::Gap& g : gaps) {
            char part[48];
            std::snprintf(part, sizeof part, "%s%.3f-%.3f", text.empty() ? "" : ", ",
                          g.from - anchor, g.to - anchor);
            text += part;
        }
        std::printf("  output gaps (all sound silent at once): %s\n", text.c_str());
    }
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
        if (c.kind == "hears") {
            std::vector<tones::Gap> excused;
            double delayed = 0;
            if (!tones::heard_through(heard[n], begin, end, settings.window, gaps, &excused,
                                      &delayed)) {
                fail(what);
                const double most = tones::output_lateness(gaps, begin * settings.window);
                if (most > 0) {
                    std::printf("  %s: looked for on time and up to %.3f s later, the output "
                                "gaps before it\n",
                                what, most);
                }
            } else if (delayed > 0) {
                std::printf("  %s: looked for %.3f s later, the output gaps before it\n", what,
                            delayed);
            }
            for (const tones::Gap& g : excused) {
                std::printf("  %s: a hole at %.2f-%.2f s is an output gap, not counted\n", what,
                            g.from - anchor, g.to - anchor);
            }
            continue;
        }
        std::vector<tones::Gap> excused;
        if (!tones::silent_through(heard[n], begin, end, settings.window, gaps, &excused)) {
            fail(what);
        }
        for (const tones::Gap& g : excused) {
            std::printf("  %s: heard until %.2f s, late by the output gaps before, not counted\n",
                        what, g.to - anchor);
        }
    }
    return failures ? 1 : 0;
}

// --- render: the recording DirectSound's record as sound.

struct Event {
    double time = 0;
    std::string kind;
    std::map<std::string, std::string> fields;
    std::string text;  // the whole line
    long number(const char* key) const {
        auto at = fields.find(key);
        return at == fields.end() ? -1 : std::atol(at->second.c_str());
    }
};

struct Segment {  // a stretch of one buffer playing
    double from = 0;
    double to = 1e30;
    unsigned long position = 0;
    bool looping = false;
};

struct RecordedBuffer {
    long device = 0;
    unsigned channels = 0, rate = 0, bits = 0, align = 0;
    std::string data_file;
    std::vector<unsigned char> data;
    std::vector<Segment> segments;
    bool released = false;
    bool playing() const { return !segments.empty() && segments.back().to >= 1e29; }
};

int render(int argc, char** argv) {
    const std::string log_path = argv[2];
    const std::string out_path = argv[3];
    long first = 1, last = 1L << 30;
    bool need_end = false;
    for (int i = 4; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--devices" && i + 1 < argc &&
            std::sscanf(argv[++i], "%ld-%ld", &first, &last) == 2 && first <= last) {
        } else if (word == "--end") {
            need_end = true;
        } else {
            std::fprintf(stderr, "capture_check: bad argument %s\n", word.c_str());
            return 2;
        }
    }
    std::ifstream in(log_path);
    if (!in) {
        std::fprintf(stderr, "capture_check: cannot read %s\n", log_path.c_str());
        return 2;
    }
    const size_t slash = log_path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : log_path.substr(0, slash);

    std::vector<Event> events;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        Event e;
        e.text = line;
        if (!(words >> e.time >> e.kind)) continue;
        for (std::string word; words >> word;) {
            const size_t eq = word.find('=');
            if (eq != std::string::npos) e.fields[word.substr(0, eq)] = word.substr(eq + 1);
        }
        events.push_back(e);
    }

    int failures = 0;
    auto fail = [&](const std::string& text) {
        std::printf("  FAILED: %s\n", text.c_str());
        ++failures;
    };
    std::map<long, RecordedBuffer> buffers;
    std::map<long, bool> devices;  // device -> released
    double start = -1, stop = 0;
    bool ended = false;
    const Event* asked = nullptr;
    auto in_range = [&](long device) { return device >= first && device <= last; };
    auto owner = [&](const Event& e) -> long {  // the device an event belongs to, or -1
        if (e.fields.count("device")) return e.number("device");
        if (e.fields.count("buffer")) {
            auto at = buffers.find(e.number("buffer"));
            return at == buffers.end() ? -1 : at->second.device;
        }
        return -1;
    };
    for (const Event& e : events) {
        if (e.kind == "end") {
            ended = true;
            if (need_end && (e.number("devices") != 0 || e.number("buffers") != 0))
                fail("objects still held when the process let DirectSound go: " + e.text);
            continue;
        }
        if (e.kind == "buffer") {  // a creation asked for: the next "created" line names it
            asked = &e;
            continue;
        }
        if (e.kind == "created" && asked) {
            RecordedBuffer b;
            b.device = e.number("device");
            b.channels = static_cast<unsigned>(asked->number("channels"));
            b.rate = static_cast<unsigned>(asked->number("rate"));
            b.bits = static_cast<unsigned>(asked->number("bits"));
            b.align = static_cast<unsigned>(asked->number("align"));
            buffers[e.number("buffer")] = b;
        }
        const long device = owner(e);
        if (e.kind == "error") {
            // An error that names no object of any device counts for every range.
            if (device < 0 || in_range(device)) fail("the recording DirectSound saw: " + e.text);
            continue;
        }
        if (device < 0 || !in_range(device)) continue;
        if (start < 0) start = e.time;
        stop = std::max(stop, e.time);
        if (e.kind == "create") devices[device] = false;
        if (e.kind == "release" && e.fields.count("device") && e.number("refs") == 0)
            devices[device] = true;
        if (!e.fields.count("buffer") || e.kind == "created") continue;
        RecordedBuffer& b = buffers[e.number("buffer")];
        const double t = e.time;
        if (e.kind == "unlock") b.data_file = e.fields.at("data");
        if (e.kind == "play" || e.kind == "stop" || e.kind == "position" ||
            (e.kind == "release" && e.number("refs") == 0)) {
            const bool was_playing = b.playing();
            const bool looping = was_playing && b.segments.back().looping;
            if (was_playing) b.segments.back().to = t;
            Segment next;
            next.from = t;
            next.position = static_cast<unsigned long>(e.number("position"));
            if (e.kind == "play") {
                next.looping = e.number("looping") == 1;
                b.segments.push_back(next);
            } else if (e.kind == "position" && was_playing) {
                next.looping = looping;
                b.segments.push_back(next);
            }
            if (e.kind == "release") b.released = true;
        }
    }
    if (start < 0) {
        fail("no DirectSound device in the range");
        return 1;
    }
    if (need_end && !ended) fail("the record has no end: the process never let DirectSound go");
    for (const auto& [number, released] : devices) {
        if (!released) fail("device " + std::to_string(number) + " was never given back");
    }

    // Mix: each buffer's data from its segments, as mono at the output rate.
    const uint32_t rate = 22050;
    double length = stop - start + 0.6;
    for (auto& [number, b] : buffers) {
        if (!in_range(b.device)) continue;
        if (!b.released) fail("buffer " + std::to_string(number) + " was never given back");
        if (b.data_file.empty() || b.align == 0 || b.rate == 0) continue;
        std::ifstream data(folder + "/" + b.data_file, std::ios::binary);
        b.data.assign(std::istreambuf_iterator<char>(data), std::istreambuf_iterator<char>());
        for (const Segment& s : b.segments) {
            if (!s.looping)
                length = std::max(length,
                                  s.from - start + 0.6 + double(b.data.size()) / b.rate / b.align);
        }
    }
    std::vector<float> mix(static_cast<size_t>(length * rate), 0.0f);
    for (auto& [number, b] : buffers) {
        if (!in_range(b.device) || b.data.empty()) continue;
        const size_t frames = b.data.size() / b.align;
        for (const Segment& s : b.segments) {
            const size_t begin = static_cast<size_t>(std::max(0.0, (s.from - start) * rate));
            for (size_t i = begin; i < mix.size(); ++i) {
                const double t = start + static_cast<double>(i) / rate;
                if (t >= s.to) break;
                size_t frame = s.position / b.align + static_cast<size_t>((t - s.from) * b.rate);
                if (s.looping) frame %= frames;
                if (frame >= frames) break;
                float sum = 0;
                for (unsigned c = 0; c < b.channels; ++c) {
                    const size_t at = frame * b.align + c * (b.bits / 8);
                    sum += b.bits == 8
                               ? (b.data[at] - 128) / 128.0f
                               : static_cast<int16_t>(b.data[at] | b.data[at + 1] << 8) / 32768.0f;
                }
                mix[i] += sum / b.channels;
            }
        }
    }
    std::string file = "RIFF";
    tones::put32(file, 36 + static_cast<uint32_t>(mix.size() * 2));
    file += "WAVEfmt ";
    tones::put32(file, 16);
    tones::put16(file, 1);
    tones::put16(file, 1);
    tones::put32(file, rate);
    tones::put32(file, rate * 2);
    tones::put16(file, 2);
    tones::put16(file, 16);
    file += "data";
    tones::put32(file, static_cast<uint32_t>(mix.size() * 2));
    for (float v : mix) {
        const float clamped = std::max(-1.0f, std::min(1.0f, v));
        tones::put16(file,
                     static_cast<uint16_t>(static_cast<int16_t>(std::lround(clamped * 32767))));
    }
    std::ofstream(out_path, std::ios::binary) << file;
    std::printf("  rendered %.2f s from devices %ld-%ld (%zu events in the record)\n",
                static_cast<double>(mix.size()) / rate, first,
                last == (1L << 30) ? static_cast<long>(devices.size()) : last, events.size());
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
    if (command == "render" && argc >= 4) return render(argc, argv);
    std::fprintf(
        stderr,
        "usage: capture_check tone FILE.wav FREQUENCY SECONDS\n"
        "       capture_check check FILE [--raw RATE] [--window S] [--threshold L] CHECK...\n"
        "       capture_check render LOG OUT.wav [--devices FIRST-LAST] [--end]\n");
    return 2;
}
