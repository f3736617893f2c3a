// `cuebox console`: an interactive panel. Each value typed (or piped) in is written into the
// command variable, as a gauge would write it; pre-updates run at 18 per second; a status line
// says which slots are loaded, playing and looping, as far as the module's platform calls show.
//
// From a terminal (or with --live) the updates run in real time and input is read without
// blocking them (poll on standard input). From a pipe each line is handled in turn with one
// update after each value, time passes only through `wait` lines and the sound is rendered as
// fast as it can be; at the end of the input a short settle lets one-shots finish. On Windows
// the console reads a line at a time: updates run after each line, not while it waits for the
// next one (the sounds themselves keep playing).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <set>
#include <string>
#include <thread>

#include "host/result_text.h"
#include "host/scenario.h"
#include "host/trace.h"
#include "tools/cli.h"
#include "tools/configuration_view.h"
#include "tools/slot_activity.h"
#include "tools/stop_flag.h"
#if !defined(_WIN32)
#include <poll.h>
#include <unistd.h>
#endif

namespace {

// How long the end of the input waits at most for one-shots to finish.
constexpr double SETTLE_LIMIT = 10.0;

// As docs/commands.md says it, in short.
const char* const HELP =
    "Type a value and it is written into the command variable, as a gauge writes it:\n"
    "  N      (0 to 99)     play slot N once; if it still plays, it goes on\n"
    "  1NN    (100 to 199)  loop toggle: slot NN starts looping; again: it stops\n"
    "  -N     (-1 to -99)   stop slot N if it has played before; sets the stop flag\n"
    "  -1NN                 loop toggle as 1NN, and sets the stop flag\n"
    "  250, -250            stop every slot (-250 also sets the stop flag)\n"
    "  260, -260            idle: nothing (-260 only sets the stop flag)\n"
    "  200-249, 251-259, 261 and above: nothing (negative forms set the stop flag)\n"
    "  any other number, nan, inf: as a gauge would write it (5.9 acts as 5)\n"
    "The stop flag: any negative value sets it, and while it is set the next N (0 to 99)\n"
    "stops slot N instead of playing it. Only a stop carried out clears it: -N for a slot\n"
    "that has played, or 1NN stopping a loop. The status line shows it while it is set.\n"
    "Other lines: wait SECONDS (let time pass), status, help, quit.\n";

struct Console {
    SlotActivity activity;
    StopFlag stop_flag;
    bool value_read = false;  // in the update that runs
    double value = 0;
    bool json = false;
    bool echo = false;
    std::string last_status;
};

void on_event(const TraceEvent& event, void* context) {
    Console& console = *static_cast<Console*>(context);
    console.activity.add(event);
    if (event.event == "read") {
        console.value_read = true;
        console.value = std::strtod(trace_field(event, "value").c_str(), nullptr);
    }
    if (event.event == "device" && trace_field(event, "result") != "0")
        std::fprintf(stderr, "cuebox: %s\n", no_sound_output(trace_field(event, "result")).c_str());
    if (console.json) std::printf("%s\n", trace_json(event).c_str());
}

std::string slot_list(const std::set<int>& slots) {
    if (slots.empty()) return "-";
    std::string text;
    for (int slot : slots) {
        char number[8];
        std::snprintf(number, sizeof number, "%s%02d", text.empty() ? "" : " ", slot);
        text += number;
    }
    return text;
}

std::string status_text(const Console& console, double time) {
    std::set<int> playing, looping;
    for (const PlayInterval& interval : console.activity.intervals()) {
        if (interval.start <= time && time < interval.end)
            (interval.looping ? looping : playing).insert(interval.slot);
    }
    std::string text = "loaded " + slot_list(console.activity.loaded()) + " | playing " +
                       slot_list(playing) + " | looping " + slot_list(looping);
    const std::set<int> silent = console.activity.without_buffer();
    if (!silent.empty()) text += " | no sound (file refused) " + slot_list(silent);
    if (!console.activity.missing().empty())
        text += " | file not found " + slot_list(console.activity.missing());
    if (console.stop_flag.set()) text += " | " + console.stop_flag.effect();
    return text;
}

void print_status(Console& console, double time, bool always) {
    const std::string text = status_text(console, time);
    if (!always && text == console.last_status) return;
    console.last_status = text;
    std::printf("%8.2f s  %s\n", time, text.c_str());
    std::fflush(stdout);
}

class ConsoleRun {
  public:
    ConsoleRun(PanelHost& host, const CliOptions& options, const std::string& variable,
               Console& console, TraceRecorder& trace)
        : host_(host), options_(options), variable_(variable), console_(console), trace_(trace) {}

    // Handles one line of input before the next update; false when it asks to quit.
    bool handle(const std::string& raw) {
        std::string line = raw;
        const size_t comment = line.find('#');
        if (comment != std::string::npos) line.erase(comment);
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) return true;
        line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
        if (console_.echo) std::printf("> %s\n", line.c_str());
        double value = 0;
        if (line == "quit" || line == "exit" || line == "q") return false;
        if (line == "help" || line == "?") {
            std::printf("%scommand variable: %s\n", HELP, shown(variable_).c_str());
        } else if (line == "status") {
            print_status(console_, trace_.time(), true);
        } else if (line.compare(0, 5, "wait ") == 0 && parse_value(line.substr(5), value) &&
                   value >= 0 && value <= 3600) {
            hold_until_ = trace_.time() + value;
        } else if (parse_value(line, value)) {
            host_.set_variable(variable_, value);
            trace_.add("gauge_write", {{"value", json_number(value)}});
            wrote_ = true;
        } else {
            std::printf("not a value: '%s' (type help)\n", line.c_str());
        }
        std::fflush(stdout);
        return true;
    }

    void update() {
        trace_.next_update();
        console_.value_read = false;
        host_.pre_update();
        if (console_.value_read) {
            const std::string note =
                console_.stop_flag.read(console_.value, console_.activity, trace_.time());
            if (!note.empty() && !console_.json) std::printf("          %s\n", note.c_str());
        }
        // Offline outputs move on by a tick here; the device's time passes by itself.
        if (!paced_ || options_.output != SoundOutput::LIVE)
            let_time_pass(SECONDS_PER_UPDATE, options_.output);
        trace_.advance(SECONDS_PER_UPDATE);
        wrote_ = false;
        print_status(console_, trace_.time(), false);
    }

    // Feeds queued lines up to the next value; false on quit.
    bool feed(std::deque<std::string>& lines) {
        while (!lines.empty() && !wrote_ && trace_.time() >= hold_until_ - 1e-9) {
            const std::string line = lines.front();
            lines.pop_front();
            if (!handle(line)) return false;
        }
        return true;
    }

    bool waiting() const { return trace_.time() < hold_until_ - 1e-9; }

    // After the input ends: the last command is handled, then one-shots may finish.
    void settle() {
        update();
        update();
        const double limit = trace_.time() + SETTLE_LIMIT;
        while (trace_.time() < limit && any_one_shot_playing()) update();
    }

    bool paced_ = false;

  private:
    bool any_one_shot_playing() const {
        for (const PlayInterval& interval : console_.activity.intervals()) {
            if (!interval.looping && interval.start <= trace_.time() &&
                trace_.time() < interval.end)
                return true;
        }
        return false;
    }

    PanelHost& host_;
    const CliOptions& options_;
    std::string variable_;
    Console& console_;
    TraceRecorder& trace_;
    double hold_until_ = 0;
    bool wrote_ = false;
};

// A pipe: one line, then updates; time passes only as the lines say.
void run_from_lines(ConsoleRun& run) {
    std::deque<std::string> lines;
    std::string line;
    bool input_open = true;
    for (;;) {
        if (lines.empty() && input_open) {
            if (std::getline(std::cin, line)) {
                lines.push_back(line);
            } else {
                input_open = false;
            }
        }
        if (!run.feed(lines)) return;
        if (!input_open && lines.empty() && !run.waiting()) {
            run.settle();
            return;
        }
        run.update();
    }
}

#if !defined(_WIN32)
// A terminal, or live sound: updates at 18 per second by the clock, input read between them.
void run_in_real_time(ConsoleRun& run) {
    using Clock = std::chrono::steady_clock;
    const auto tick = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(SECONDS_PER_UPDATE));
    std::deque<std::string> lines;
    std::string partial;
    bool input_open = true;
    auto next = Clock::now();
    run.paced_ = true;
    for (;;) {
        const auto now = Clock::now();
        if (now < next) {
            const long wait =
                static_cast<long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count()) +
                1;
            pollfd input = {0, POLLIN, 0};
            if (input_open && poll(&input, 1, static_cast<int>(wait)) > 0) {
                char buffer[4096];
                const ssize_t got = read(0, buffer, sizeof buffer);
                if (got <= 0) {
                    input_open = false;
                    if (!partial.empty()) lines.push_back(partial);
                } else {
                    partial.append(buffer, static_cast<size_t>(got));
                    for (size_t end; (end = partial.find('\n')) != std::string::npos;) {
                        lines.push_back(partial.substr(0, end));
                        partial.erase(0, end + 1);
                    }
                }
            } else if (!input_open) {
                std::this_thread::sleep_for(next - now);
            }
            continue;
        }
        // Behind by more than a second (the machine was busy): do not rush to catch up.
        next = now - next > std::chrono::seconds(1) ? now + tick : next + tick;
        if (!run.feed(lines)) return;
        if (!input_open && lines.empty() && !run.waiting()) {
            run.settle();
            return;
        }
        run.update();
    }
}
#endif

}  // namespace

int command_console(const CliOptions& options) {
    PanelHost host;
    if (!open_host(options, host)) return 2;
    const std::string variable =
        read_configuration(options.has_param ? options.param.c_str() : "").variable_name;

    Console console;
    console.json = options.trace;
    TraceRecorder trace(host);
    trace.live = &on_event;
    trace.live_context = &console;
    ConsoleRun run(host, options, variable, console, trace);

#if defined(_WIN32)
    const bool terminal = false;
#else
    const bool terminal = isatty(0) != 0;
#endif
    console.echo = !terminal;
    if (terminal) {
        std::printf("cuebox console: command variable %s; type a value, help or quit\n",
                    variable.c_str());
    }
    host.connect();
    run.update();  // the first update configures the module and reads the idle value

#if defined(_WIN32)
    run_from_lines(run);
#else
    if (terminal || options.output == SoundOutput::LIVE) {
        run_in_real_time(run);
    } else {
        run_from_lines(run);
    }
#endif
    host.disconnect();
    host.unload();
    finish_sound_output();
    return sound_was_lost(trace.events(), options) ? NO_SOUND_STATUS : 0;
}
