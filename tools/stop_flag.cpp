// Following the stop flag: each value decoded by the module's protocol, keeping only what moves
// the flag and the looping marks that decide whether a loop toggle clears it.
#include "tools/stop_flag.h"

#include "control/protocol.h"

namespace {

// A stop acts on what played up to the update that carries it out.
constexpr double JUST_BEFORE = 1e-6;

}  // namespace

std::string StopFlag::read(double variable_value, const SlotActivity& activity, double time) {
    const Command c = decode_command(variable_value, flag_);
    if (c.idle) awaiting_idle_ = false;
    flag_ = c.stop_flag;
    if (awaiting_idle_ || c.action == CommandAction::NONE) return "";
    const int slot = c.slot;
    auto playing = [&](int n) { return opens_ || activity.playing(n, time - JUST_BEFORE); };
    // A play or a loop start loads the slot when its file opens; a stop never does.
    const bool loads = c.action == CommandAction::PLAY ||
                       (c.action == CommandAction::LOOP_TOGGLE && !looping_.count(slot));
    if (opens_ && loads && !loaded_.count(slot) && opens_(slot)) loaded_.insert(slot);
    const bool loaded = opens_ ? loaded_.count(slot) != 0 : activity.loaded().count(slot) != 0;
    if (c.action == CommandAction::STOP_ALL) {
        for (auto it = looping_.begin(); it != looping_.end();) {
            it = playing(*it) ? looping_.erase(it) : std::next(it);
        }
    } else if (c.action == CommandAction::LOOP_TOGGLE) {
        if (looping_.count(slot)) {
            looping_.erase(slot);
            flag_ = false;
        } else if (loaded) {
            looping_.insert(slot);
        }
    } else if (c.action == CommandAction::STOP) {
        const std::string stop =
            c.negative ? "-" + std::to_string(slot) + " stops slot " + std::to_string(slot)
                       : std::to_string(slot) +
                             " was taken as a stop (the stop flag is set) "
                             "of slot " +
                             std::to_string(slot);
        if (!loaded) return stop + ", which has not played: nothing happens and the flag stays set";
        if (playing(slot)) looping_.erase(slot);
        flag_ = false;
        return c.negative ? "" : stop + ": the flag is down again";
    }
    return "";
}

std::string StopFlag::effect() const {
    if (!flag_) return "";
    return "stop flag set: the next N (0 to 99) stops slot N instead of playing it";
}
