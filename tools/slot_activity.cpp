// Working out slot activity from the trace of a run.
#include "tools/slot_activity.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "control/protocol.h"
#include "host/scenario.h"

namespace {

const double FOREVER = std::numeric_limits<double>::infinity();

double number_field(const TraceEvent& event, const char* name, double fallback) {
    const std::string text = trace_field(event, name);
    double value = 0;
    if (text.empty() || !parse_value(text, value)) return fallback;
    return value;
}

}  // namespace

int SlotActivity::slot_of_value(double value) {
    return command_slot(value);
}

void SlotActivity::end_interval(Buffer& buffer, double time) {
    if (buffer.interval < 0) return;
    PlayInterval& interval = intervals_[buffer.interval];
    if (time < interval.end) interval.end = time;
    buffer.interval = -1;
}

void SlotActivity::start_interval(Buffer& buffer, double time, bool looping, double position) {
    double end = FOREVER;
    if (!looping && buffer.bytes_per_second > 0) {
        const double left = buffer.bytes > position ? buffer.bytes - position : 0;
        end = time + left / buffer.bytes_per_second;
    }
    if (buffer.interval >= 0) {
        PlayInterval& current = intervals_[buffer.interval];
        // Play on a buffer that is still playing goes on from where it is, so the same kind of
        // play continues the bar; a change between once and looping starts a new one.
        if (current.end > time && current.looping == looping) {
            current.end = end;
            return;
        }
        end_interval(buffer, time);
    }
    intervals_.push_back(PlayInterval{buffer.slot, time, end, looping});
    buffer.interval = static_cast<int>(intervals_.size()) - 1;
}

void SlotActivity::add(const TraceEvent& event) {
    const std::string& name = event.event;
    if (event.update != current_update_) {
        current_update_ = event.update;
        current_slot_ = -1;
    }
    if (name == "read") {
        current_slot_ = slot_of_value(number_field(event, "value", IDLE_VALUE));
        if (current_slot_ >= 0) commanded_.insert(current_slot_);
        return;
    }
    if (name == "open") {
        // The module's own existence test decides whether a slot becomes loaded.
        if (current_slot_ < 0 || trace_field(event, "via") != "fopen") return;
        paths_[current_slot_] = trace_field(event, "path");
        const std::string resolved = trace_field(event, "resolved");
        if (resolved.empty() || resolved == "null") {
            if (!loaded_.count(current_slot_)) missing_.insert(current_slot_);
        } else {
            loaded_.insert(current_slot_);
            missing_.erase(current_slot_);
        }
        return;
    }
    if (name == "create") {
        if (current_slot_ < 0 || trace_field(event, "result") != "0") return;
        Buffer buffer;
        buffer.slot = current_slot_;
        buffer.bytes = number_field(event, "bytes", 0);
        const double rate = number_field(event, "rate", 0);
        const double channels = number_field(event, "channels", 0);
        const double bits = number_field(event, "bits", 0);
        buffer.bytes_per_second = rate * channels * bits / 8.0;
        buffers_[static_cast<long>(number_field(event, "buffer", -1))] = buffer;
        buffered_.insert(current_slot_);
        return;
    }
    const long number = static_cast<long>(number_field(event, "buffer", -1));
    if (name == "device_release" || (name == "lose" && number < 0)) {
        // Every buffer of a released device falls silent, and so do lost buffers.
        for (auto& entry : buffers_) end_interval(entry.second, event.time);
        return;
    }
    auto found = buffers_.find(number);
    if (found == buffers_.end()) return;
    Buffer& buffer = found->second;
    if (name == "play") {
        if (trace_field(event, "result") != "" && trace_field(event, "result") != "0") return;
        start_interval(buffer, event.time, trace_field(event, "looping") == "true",
                       number_field(event, "position", 0));
    } else if (name == "stop") {
        end_interval(buffer, event.time);
    } else if (name == "position") {
        // A new position moves the end of a one-shot that is playing.
        if (buffer.interval >= 0 && intervals_[buffer.interval].end > event.time &&
            !intervals_[buffer.interval].looping) {
            start_interval(buffer, event.time, false, number_field(event, "position", 0));
        }
    } else if (name == "lose") {
        end_interval(buffer, event.time);
    } else if (name == "release") {
        end_interval(buffer, event.time);
        buffers_.erase(found);
    }
}

void SlotActivity::finish(double time) {
    for (auto& entry : buffers_) end_interval(entry.second, time);
    for (PlayInterval& interval : intervals_) {
        if (interval.end > time) interval.end = time;
    }
}

std::set<int> SlotActivity::without_buffer() const {
    std::set<int> slots;
    for (int slot : loaded_) {
        if (!buffered_.count(slot)) slots.insert(slot);
    }
    return slots;
}

bool SlotActivity::playing(int slot, double time) const {
    for (const PlayInterval& interval : intervals_) {
        if (interval.slot == slot && interval.start <= time && time < interval.end) return true;
    }
    return false;
}

bool SlotActivity::looping(int slot, double time) const {
    for (const PlayInterval& interval : intervals_) {
        if (interval.slot == slot && interval.looping && interval.start <= time &&
            time < interval.end)
            return true;
    }
    return false;
}
