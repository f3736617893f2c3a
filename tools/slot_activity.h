// Slot activity worked out from a run's trace: which sound buffer belongs to which slot, which
// slots are loaded, and when each slot played, once or looping. The host sees only the calls the
// module makes on the platform and the variable, so everything here is derived from those: a
// buffer belongs to the slot named by the command read in the update that created it, and a
// one-shot ends when its remaining bytes have played at the buffer's byte rate.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/trace.h"

struct PlayInterval {
    int slot;
    double start;  // seconds of run time
    double end;    // a looping interval still running ends at infinity until it is stopped
    bool looping;
};

class SlotActivity {
  public:
    // Feed every event of the run, in order.
    void add(const TraceEvent& event);
    // Ends whatever still plays at `time`, for a run that is over.
    void finish(double time);

    const std::vector<PlayInterval>& intervals() const { return intervals_; }
    // Slots named by a command that was read (play, loop or stop of that slot).
    const std::set<int>& commanded() const { return commanded_; }
    // Slots whose file the module found, so it marked them loaded.
    const std::set<int>& loaded() const { return loaded_; }
    // Loaded slots that got no sound buffer (the WAV reader or the device refused the file).
    std::set<int> without_buffer() const;
    // Slots whose file the module looked for and did not find.
    const std::set<int>& missing() const { return missing_; }
    // The path the module looked for, per slot it tried to load.
    const std::map<int, std::string>& paths() const { return paths_; }

    bool playing(int slot, double time) const;
    bool looping(int slot, double time) const;

    // The slot that a value read from the command variable names, or -1 (idle, stop all, or a
    // value that names no slot), decoded as the module decodes it.
    static int slot_of_value(double value);

  private:
    struct Buffer {
        int slot = -1;
        double bytes = 0;
        double bytes_per_second = 0;
        int interval = -1;  // index of the interval it plays in, or -1
    };
    void end_interval(Buffer& buffer, double time);
    void start_interval(Buffer& buffer, double time, bool looping, double position);

    std::map<long, Buffer> buffers_;
    std::vector<PlayInterval> intervals_;
    std::set<int> commanded_;
    std::set<int> loaded_;
    std::set<int> buffered_;
    std::set<int> missing_;
    std::map<int, std::string> paths_;
    int current_slot_ = -1;  // the slot named by the last value read in this update
    long current_update_ = -1;
};
