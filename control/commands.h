// Command dispatch: once per update, read the command variable, decode it (control/protocol.h),
// play, loop or stop a slot's sound, or stop them all, and write the idle value back.
#pragma once

#include <cstdint>

#include "module/host_panel.h"

struct CommandState {
    int32_t value = 0;      // the last value read, after truncation and sign removal
    int awaiting_idle = 1;  // no command is decoded until the idle value has been read once
    int stop_flag = 0;      // set by any negative value; cleared only by a stop that is handled
    int mode = 0;           // 0 play once, 1 loop toggle, 2 stop all, 3 ignored
    int32_t units = 0;
    int32_t tens = 0;
    int32_t hundreds = 0;
    int32_t slot = 0;
    int pending = 0;
};

// The module-wide state, shared by every instance of the gauge.
CommandState& command_state();

// Puts the state back as it was when the module was loaded: a panel configured again after a
// disconnect starts as a new one would, with no stop flag or mode left over from before.
void reset_command_state();

void update_commands(const HostPanelTable* panel);
