// The module's stop flag, followed from outside for the console's status line. The module
// keeps it to itself, so it is worked out here from the values the module read, decoded as the
// module decodes them, and from the slots the run shows loaded and playing: the most confusing
// state of the command protocol, made visible while an author types.
#pragma once

#include <set>
#include <string>

#include "tools/slot_activity.h"

class StopFlag {
  public:
    // The value the module read in an update, fed after that update, with the activity so far;
    // `time` is when the update ran. Returns what the flag made of the command, when it turned
    // a play into a stop, or "".
    std::string read(double value, const SlotActivity& activity, double time);

    bool set() const { return flag_; }
    // What the flag will do to the next command, for the status line; "" when it is down.
    std::string effect() const;

  private:
    bool flag_ = false;
    bool awaiting_idle_ = true;  // no command is taken until the idle value has been read
    std::set<int> looping_;      // the slots the module counts as looping
};
