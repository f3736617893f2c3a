// The timeline picture of a run, written as plain SVG: a lane of commands (what gauges wrote,
// and the commands the module read), one lane per slot used with a bar wherever the slot plays
// (solid when once, hatched when looping), and the waveform of the rendered sound, all on one
// time axis. Lanes and bars carry data- attributes with slot numbers and times, so the picture
// can be checked by a program as well as by eye.
#include "tools/timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <set>
#include <sstream>

#include "host/files.h"
#include "host/scenario.h"
#include "platform/codepage.h"
#include "tools/slot_activity.h"

namespace {

constexpr double WIDTH = 1200;
constexpr double LEFT = 150;  // room for the lane labels
constexpr double RIGHT = 30;
constexpr double COMMAND_LANE = 66;
constexpr double SLOT_LANE = 30;
constexpr double WAVE_LANE = 130;
constexpr double AXIS = 44;

const char* const ONCE_COLOUR = "#2f6fc4";
const char* const LOOP_COLOUR = "#e07b00";
const char* const WRITE_COLOUR = "#333333";
const char* const READ_COLOUR = "#c0392b";
const char* const LOST_COLOUR = "#d4006a";

// Text for the picture: escaped for XML, and valid UTF-8 whatever was cut or read (a label cut
// inside a character, a name on disk in another encoding), since one bad byte makes the SVG
// unreadable to every viewer.
std::string text_escape(const std::string& text) {
    std::string out;
    for (char c : codepage::valid_utf8_text(text)) {
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '"') {
            out += "&quot;";
        } else {
            out += c;
        }
    }
    return out;
}

std::string num(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// Times in data- attributes, to the millisecond.
std::string msec(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string seconds_label(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::round(value * 1000) / 1000);
    return text;
}

// The rendered sound, its channels mixed into one.
struct Waveform {
    bool present = false;
    std::string problem;
    double rate = 0;
    std::vector<float> samples;
    double seconds() const { return rate > 0 ? static_cast<double>(samples.size()) / rate : 0; }
};

uint32_t le32(const std::string& bytes, size_t at) {
    return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
           static_cast<uint8_t>(bytes[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
}

uint16_t le16(const std::string& bytes, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[at]) |
                                 static_cast<uint8_t>(bytes[at + 1]) << 8);
}

// Reads a 16-bit PCM WAV file, as the platform renders it.
Waveform read_waveform(const std::string& path) {
    Waveform wave;
    std::string bytes;
    if (!read_regular_file(path, bytes)) {
        wave.problem = "the rendered sound " + path + " cannot be read";
        return wave;
    }
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
        wave.problem = path + " is not a WAV file";
        return wave;
    }
    uint16_t tag = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = le32(bytes, at + 4);
        if (bytes.compare(at, 4, "fmt ") == 0 && size >= 16 && at + 24 <= bytes.size()) {
            tag = le16(bytes, at + 8);
            channels = le16(bytes, at + 10);
            rate = le32(bytes, at + 12);
            bits = le16(bytes, at + 22);
        } else if (bytes.compare(at, 4, "data") == 0) {
            if (tag != 1 || bits != 16 || channels == 0 || rate == 0) {
                wave.problem = path + " is not 16-bit PCM";
                return wave;
            }
            // A file whose header was never completed may declare less or more than it holds.
            size_t length = std::min<size_t>(size, bytes.size() - at - 8);
            if (size == 0) length = bytes.size() - at - 8;
            const size_t frames = length / (2u * channels);
            wave.present = true;
            wave.rate = rate;
            wave.samples.assign(frames, 0);
            for (size_t i = 0; i < frames; ++i) {
                double sum = 0;
                for (uint16_t c = 0; c < channels; ++c) {
                    sum += static_cast<int16_t>(le16(bytes, at + 8 + (i * channels + c) * 2));
                }
                wave.samples[i] = static_cast<float>(sum / channels / 32768.0);
            }
            return wave;
        }
        at += 8 + size + (size & 1);
    }
    wave.problem = path + " holds no sound data";
    return wave;
}

double tick_step(double seconds) {
    const double steps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600};
    for (double step : steps) {
        if (seconds / step <= 16) return step;
    }
    return 7200;
}

struct Marker {
    double time;
    std::string value;
    std::string gauge;  // the panel gauge that wrote it, "" for a scenario's write
};

// A looping bar: a light fill crossed by diagonal stripes. The stripes are drawn as lines, not
// as an SVG pattern, so that every renderer shows them.
void looping_bar(std::ostream& svg, double x1, double y, double x2, double height) {
    svg << "<rect x=\"" << num(x1) << "\" y=\"" << num(y) << "\" width=\"" << num(x2 - x1)
        << "\" height=\"" << num(height) << "\" fill=\"#fbe3c6\" stroke=\"none\"/>";
    std::string stripes;
    for (double k = x1 - height; k < x2; k += 7) {
        // The line from (k, y + height) to (k + height, y), cut to the bar.
        const double from = std::max(0.0, (x1 - k) / height);
        const double to = std::min(1.0, (x2 - k) / height);
        if (to <= from) continue;
        stripes += "M" + num(k + from * height) + "," + num(y + height - from * height) + "L" +
                   num(k + to * height) + "," + num(y + height - to * height);
    }
    svg << "<path d=\"" << stripes << "\" stroke=\"" << LOOP_COLOUR
        << "\" stroke-width=\"2\" fill=\"none\"/>";
    svg << "<rect x=\"" << num(x1) << "\" y=\"" << num(y) << "\" width=\"" << num(x2 - x1)
        << "\" height=\"" << num(height) << "\" fill=\"none\" stroke=\"" << LOOP_COLOUR << "\"/>";
}

void once_bar(std::ostream& svg, double x1, double y, double x2, double height) {
    svg << "<rect x=\"" << num(x1) << "\" y=\"" << num(y) << "\" width=\"" << num(x2 - x1)
        << "\" height=\"" << num(height) << "\" fill=\"" << ONCE_COLOUR << "\" stroke=\"none\"/>";
}

std::string base_name(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool write_timeline(const std::string& svg_path, const std::vector<TraceEvent>& events,
                    const std::string& wav_path, std::string& error) {
    SlotActivity activity;
    std::vector<Marker> writes, reads, lost;
    double end = 0;
    for (const TraceEvent& event : events) {
        activity.add(event);
        end = std::max(end, event.time);
        if (event.event == "gauge_write") {
            writes.push_back(
                Marker{event.time, trace_field(event, "value"), trace_field(event, "gauge")});
        } else if (event.event == "command_lost") {
            lost.push_back(
                Marker{event.time, trace_field(event, "value"), trace_field(event, "gauge")});
        } else if (event.event == "read" && !reads_idle(event)) {
            reads.push_back(Marker{event.time, trace_field(event, "value"), ""});
        }
    }
    // The last update's events stand at its start; its tick belongs to the run too.
    if (!events.empty()) end += SECONDS_PER_UPDATE;

    Waveform wave;
    if (!wav_path.empty()) wave = read_waveform(wav_path);
    if (wave.present) end = std::max(end, wave.seconds());
    if (end <= 0) end = 1;
    activity.finish(end);

    std::set<int> lanes = activity.commanded();
    for (const PlayInterval& interval : activity.intervals()) lanes.insert(interval.slot);
    lanes.insert(activity.loaded().begin(), activity.loaded().end());

    const double plot = WIDTH - LEFT - RIGHT;
    auto x_of = [&](double time) { return LEFT + plot * std::min(std::max(time, 0.0), end) / end; };
    const double top = 62;
    const double lanes_top = top + COMMAND_LANE;
    const double wave_top = lanes_top + SLOT_LANE * static_cast<double>(lanes.size()) + 10;
    const double axis_top = wave_top + WAVE_LANE;
    const double height = axis_top + AXIS;
    const double step = tick_step(end);
    const int ticks = static_cast<int>(std::floor(end / step + 1e-9));

    std::ostringstream svg;
    svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << WIDTH << "\" height=\""
        << num(height) << "\" viewBox=\"0 0 " << WIDTH << " " << num(height)
        << "\" font-family=\"sans-serif\" font-size=\"12\" data-seconds=\"" << msec(end) << "\">\n";
    svg << "<rect x=\"0\" y=\"0\" width=\"" << WIDTH << "\" height=\"" << num(height)
        << "\" fill=\"white\" stroke=\"none\"/>\n";

    // Title and legend.
    svg << "<text x=\"12\" y=\"22\" font-size=\"15\" font-weight=\"bold\">cuebox timeline</text>\n";
    svg << "<g class=\"legend\">\n";
    double lx = LEFT;
    once_bar(svg, lx, 34, lx + 26, 12);
    svg << "<text x=\"" << lx + 32 << "\" y=\"44\">plays once</text>\n";
    lx += 120;
    looping_bar(svg, lx, 34, lx + 26, 12);
    svg << "<text x=\"" << lx + 32 << "\" y=\"44\">loops</text>\n";
    lx += 90;
    svg << "<path d=\"M" << lx << ",34 l10,0 l-5,9 z\" fill=\"" << WRITE_COLOUR << "\"/><text x=\""
        << lx + 16 << "\" y=\"44\">a gauge writes</text>\n";
    lx += 130;
    svg << "<circle cx=\"" << lx + 5 << "\" cy=\"40\" r=\"4\" fill=\"" << READ_COLOUR
        << "\"/><text x=\"" << lx + 16 << "\" y=\"44\">the module reads a command</text>\n";
    if (!lost.empty()) {
        lx += 200;
        svg << "<path d=\"M" << lx << ",35 l9,9 m0,-9 l-9,9\" stroke=\"" << LOST_COLOUR
            << "\" stroke-width=\"2.5\"/><text x=\"" << lx + 16
            << "\" y=\"44\">a command lost before the module read it</text>\n";
    }
    svg << "</g>\n";

    // Behind everything: every other lane shaded, and the grid of the time axis.
    svg << "<g class=\"background\">\n";
    for (size_t i = 0; i < lanes.size(); i += 2) {
        svg << "<rect x=\"" << LEFT << "\" y=\"" << num(lanes_top + SLOT_LANE * i) << "\" width=\""
            << num(plot) << "\" height=\"" << SLOT_LANE
            << "\" fill=\"#f3f3f3\" stroke=\"none\"/>\n";
    }
    for (int i = 0; i <= ticks; ++i) {
        const double x = x_of(i * step);
        svg << "<line x1=\"" << num(x) << "\" y1=\"" << top << "\" x2=\"" << num(x) << "\" y2=\""
            << num(axis_top) << "\" stroke=\"#e0e0e0\"/>\n";
    }
    svg << "</g>\n";

    // Commands: gauge writes above, the module's reads of them below, with a faint line down
    // through the slot lanes where a command takes effect.
    svg << "<g class=\"commands\">\n<text x=\"12\" y=\"" << num(top + 30)
        << "\" font-weight=\"bold\">commands</text>\n";
    // Values are written under their triangles, in the first of three rows where they do not
    // run into the value before them (or, in a crowd, the row that is least in the way).
    std::vector<double> row_end(3, -1e9);
    for (const Marker& write : writes) {
        const double x = x_of(write.time);
        // A panel gauge's write is labelled with the gauge's name (without its file).
        const size_t bang = write.gauge.find('!');
        const std::string shown =
            write.gauge.empty()
                ? write.value
                : write.value + " " + write.gauge.substr(bang == std::string::npos ? 0 : bang + 1);
        const std::string label = text_escape(shown);
        const double half = 3.3 * static_cast<double>(shown.size());
        size_t row = 0;
        for (size_t r = 0; r < row_end.size(); ++r) {
            if (row_end[r] < x - half - 3) {
                row = r;
                break;
            }
            if (row_end[r] < row_end[row]) row = r;
        }
        const double centre = std::min(x, WIDTH - half - 2);
        row_end[row] = centre + half;
        svg << "<path class=\"write\" data-time=\"" << msec(write.time) << "\" data-value=\""
            << text_escape(write.value) << "\"";
        if (!write.gauge.empty()) svg << " data-gauge=\"" << text_escape(write.gauge) << "\"";
        svg << " d=\"M" << num(x - 5) << "," << num(top) << " l10,0 l-5,9 z\" "
            << "fill=\"" << WRITE_COLOUR << "\"/>";
        svg << "<text x=\"" << num(centre) << "\" y=\""
            << num(top + 21 + 12.0 * static_cast<double>(row))
            << "\" font-size=\"11\" text-anchor=\"middle\">" << label << "</text>\n";
    }
    // A lost command: a cross over its triangle, where the module never saw it.
    for (const Marker& command : lost) {
        const double x = x_of(command.time);
        svg << "<path class=\"lost\" data-time=\"" << msec(command.time) << "\" data-value=\""
            << text_escape(command.value) << "\" data-gauge=\"" << text_escape(command.gauge)
            << "\" d=\"M" << num(x - 5) << "," << num(top - 1)
            << " l10,10 m0,-10 l-10,10\" stroke=\"" << LOST_COLOUR << "\" stroke-width=\"2.5\"/>\n";
    }
    for (const Marker& read : reads) {
        const double x = x_of(read.time);
        svg << "<line x1=\"" << num(x) << "\" y1=\"" << num(top + COMMAND_LANE - 8) << "\" x2=\""
            << num(x) << "\" y2=\"" << num(wave_top - 10) << "\" stroke=\"" << READ_COLOUR
            << "\" stroke-opacity=\"0.4\" stroke-dasharray=\"3,3\"/>";
        svg << "<circle class=\"read\" data-time=\"" << msec(read.time) << "\" data-value=\""
            << text_escape(read.value) << "\" cx=\"" << num(x) << "\" cy=\""
            << num(top + COMMAND_LANE - 8) << "\" r=\"4\" fill=\"" << READ_COLOUR << "\"/>\n";
    }
    svg << "</g>\n";

    // One lane per slot used, named by the file the module looked for.
    double y = lanes_top;
    for (int slot : lanes) {
        char name[32];
        std::snprintf(name, sizeof name, "slot %02d", slot);
        std::string note;
        auto path = activity.paths().find(slot);
        if (path != activity.paths().end()) note = base_name(path->second);
        if (activity.missing().count(slot)) {
            note += " (not found)";
        } else if (activity.without_buffer().count(slot)) {
            note += " (no sound)";
        }
        svg << "<g class=\"lane\" data-slot=\"" << slot << "\">\n";
        svg << "<text x=\"12\" y=\"" << num(y + 14) << "\" font-weight=\"bold\">" << name
            << "</text>\n";
        if (!note.empty()) {
            svg << "<text x=\"12\" y=\"" << num(y + 26) << "\" font-size=\"9\" fill=\"#666666\">"
                << text_escape(note.size() > 30 ? note.substr(0, 29) + "..." : note) << "</text>\n";
        }
        for (const PlayInterval& interval : activity.intervals()) {
            if (interval.slot != slot || interval.end <= interval.start) continue;
            const double x1 = x_of(interval.start);
            const double x2 = std::max(x_of(interval.end), x1 + 1);
            svg << "<g class=\"bar " << (interval.looping ? "looping" : "once") << "\" data-slot=\""
                << slot << "\" data-start=\"" << msec(interval.start) << "\" data-end=\""
                << msec(interval.end) << "\">";
            if (interval.looping) {
                looping_bar(svg, x1, y + 6, x2, SLOT_LANE - 12);
            } else {
                once_bar(svg, x1, y + 6, x2, SLOT_LANE - 12);
            }
            svg << "</g>\n";
        }
        svg << "</g>\n";
        y += SLOT_LANE;
    }
    if (lanes.empty()) {
        svg << "<text x=\"" << LEFT + 10 << "\" y=\"" << num(lanes_top + 4)
            << "\" fill=\"#777777\">no slot was used</text>\n";
    }

    // The rendered sound.
    const double middle = wave_top + WAVE_LANE / 2;
    svg << "<g class=\"waveform\">\n<text x=\"12\" y=\"" << num(middle + 4)
        << "\" font-weight=\"bold\">sound</text>\n";
    svg << "<line x1=\"" << LEFT << "\" y1=\"" << num(middle) << "\" x2=\"" << num(LEFT + plot)
        << "\" y2=\"" << num(middle) << "\" stroke=\"#bbbbbb\"/>\n";
    if (wave.present && !wave.samples.empty()) {
        // Per column of the picture, a line from the lowest to the highest sample in it.
        const double half = WAVE_LANE / 2 - 6;
        std::string peaks;
        const int columns = static_cast<int>(plot);
        for (int column = 0; column < columns; ++column) {
            const size_t first = static_cast<size_t>(end * column / columns * wave.rate);
            const size_t last = std::min(
                wave.samples.size(), static_cast<size_t>(end * (column + 1) / columns * wave.rate));
            if (first >= last) continue;
            float low = 0, high = 0;
            for (size_t i = first; i < last; ++i) {
                low = std::min(low, wave.samples[i]);
                high = std::max(high, wave.samples[i]);
            }
            if (high - low < 0.004f) continue;
            const double x = LEFT + column + 0.5;
            peaks +=
                "M" + num(x) + "," + num(middle - high * half) + "V" + num(middle - low * half);
        }
        svg << "<path d=\"" << peaks
            << "\" stroke=\"#2a9d5c\" stroke-width=\"1\" fill=\"none\"/>\n";
    } else {
        const std::string message =
            !wave.problem.empty() ? wave.problem : "no rendered sound (run with --out FILE.wav)";
        svg << "<text x=\"" << LEFT + 10 << "\" y=\"" << num(middle - 8) << "\" fill=\"#777777\">"
            << text_escape(message) << "</text>\n";
    }
    svg << "</g>\n";

    // The time axis, in seconds.
    svg << "<g class=\"axis\">\n<line x1=\"" << LEFT << "\" y1=\"" << num(axis_top) << "\" x2=\""
        << num(LEFT + plot) << "\" y2=\"" << num(axis_top) << "\" stroke=\"#333333\"/>\n";
    for (int i = 0; i <= ticks; ++i) {
        const double x = x_of(i * step);
        svg << "<line x1=\"" << num(x) << "\" y1=\"" << num(axis_top) << "\" x2=\"" << num(x)
            << "\" y2=\"" << num(axis_top + 5) << "\" stroke=\"#333333\"/>"
            << "<text class=\"tick\" x=\"" << num(x) << "\" y=\"" << num(axis_top + 18)
            << "\" text-anchor=\"middle\">" << seconds_label(i * step) << "</text>\n";
    }
    svg << "<text x=\"" << num(LEFT + plot) << "\" y=\"" << num(axis_top + 36)
        << "\" text-anchor=\"end\">seconds</text>\n</g>\n</svg>\n";

    const std::string text = svg.str();
    std::FILE* out = open_regular_file(svg_path, "wb");
    bool written = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (out && std::fclose(out) != 0) written = false;
    if (!written) {
        error = "cannot write the timeline " + svg_path;
        return false;
    }
    return true;
}
