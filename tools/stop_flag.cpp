// Following the stop flag: the decoding of control/commands.cpp, keeping only what moves the
// flag and the looping marks that decide whether a loop toggle clears it.
#include "tools/stop_flag.h"

#include <cstdint>

#include "control/commands.h"

namespace {

constexpr int32_t IDLE = 260;
constexpr int32_t STOP_ALL = 250;
constexpr int32_t LOWEST = -2147483647 - 1;
// A stop acts on what played up to the update that carries it out.
constexpr double JUST_BEFORE = 1e-6;

}  // namespace

std::string StopFlag::read(double variable_value, const SlotActivity& activity, double time) {
    int32_t value = command_value(variable_value);
    const bool negative = value < 0;
    if (value == IDLE) awaiting_idle_ = false;
    if (value < 0 && value != LOWEST) {
        flag_ = true;
        value = -value;
    }
    if (awaiting_idle_ || value < 0 || value >= IDLE) return "";
    const int slot = value % 100;
    auto playing = [&](int n) { return opens_ || activity.playing(n, time - JUST_BEFORE); };
    // A play or a loop start loads the slot when its file opens; a stop never does.
    const bool loads = value < 100 ? !flag_ : value >= 100 && value < 200 && !looping_.count(slot);
    if (opens_ && loads && !loaded_.count(slot) && opens_(slot)) loaded_.insert(slot);
    const bool loaded = opens_ ? loaded_.count(slot) != 0 : activity.loaded().count(slot) != 0;
    if (value == STOP_ALL) {
        for (auto it = looping_.begin(); it != looping_.end();) {
            it = playing(*it) ? looping_.erase(it) : std::next(it);
        }
    } else if (value >= 100 && value < 200) {
        if (looping_.count(slot)) {
            looping_.erase(slot);
            flag_ = false;
        } else if (loaded) {
            looping_.insert(slot);
        }
    } else if (value < 100 && flag_) {
        const std::string stop =
            negative ? "-" + std::to_string(slot) + " stops slot " + std::to_string(slot)
                     : std::to_string(slot) +
                           " was taken as a stop (the stop flag is set) "
                           "of slot " +
                           std::to_string(slot);
        if (!loaded) return stop + ", which has not played: nothing happens and the flag stays set";
        if (playing(slot)) looping_.erase(slot);
        flag_ = false;
        return negative ? "" : stop + ": the flag is down again";
    }
    return "";
}

std::string StopFlag::effect() const {
    if (!flag_) return "";
    return "stop flag set: the next N (0 to 99) stops slot N instead of playing it";
}
