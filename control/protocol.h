// The command protocol: what a value written into the command variable asks of the module, as a
// pure function with the protocol's numbers. The module's decoder acts on its answer, and the
// tools that explain a run or a panel call it too, so that they read every value exactly as the
// module does. Which slots are loaded or looping is the slot table's business, not this file's.
#pragma once

#include <cstdint>

constexpr int32_t IDLE_COMMAND = 260;        // no command; written back after every command
constexpr double IDLE_VALUE = IDLE_COMMAND;  // the same, as the variable's float
constexpr int32_t STOP_ALL_COMMAND = 250;
constexpr int32_t LOOP_COMMANDS = 100;  // 100 + N toggles slot N's loop, 0 + N plays it once
constexpr int32_t SLOTS_PER_MODE = 100;

// 0 play once (or stop, with the stop flag), 1 loop toggle, 2 stop all, 3 ignored.
enum CommandMode {
    NO_MODE = -1,
    PLAY_MODE = 0,
    LOOP_MODE = 1,
    STOP_ALL_MODE = 2,
    IGNORED_MODE = 3
};

enum class CommandAction {
    NONE,         // idle, ignored, or a value that selects no mode: nothing happens
    PLAY,         // play the slot once (loading it first)
    STOP,         // stop the slot if it is loaded and playing (0 to 99 with the stop flag)
    LOOP_TOGGLE,  // start the slot looping, or stop it if the module has it looping
    STOP_ALL,
};

struct Command {
    int32_t value = 0;       // after truncation and sign removal
    bool idle = false;       // the value read was the idle value (before sign removal)
    bool negative = false;   // a minus sign that was removed: it sets the stop flag
    bool stop_flag = false;  // the flag as this command finds it: the one given, or set now
    bool digits = false;     // units, tens, hundreds and slot were worked out (not for -2^31)
    int32_t units = 0;
    int32_t tens = 0;
    int32_t hundreds = 0;
    int32_t slot = 0;      // 0 to 99 when digits is set
    bool pending = false;  // a command to handle: not idle, not ignored
    int mode = NO_MODE;
    CommandAction action = CommandAction::NONE;
};

// The variable's 64-bit float as the decoder sees it: truncated toward zero to a 64-bit integer
// (not finite, or 2^63 or more in magnitude: only the top bit set), low 32 bits kept.
int32_t command_value(double variable_value);

// Decodes a value read from the command variable, given the stop flag as the previous commands
// left it. Whether the module acts on it at all (it waits for the idle value first) is the
// caller's state, as is whether a loop toggle starts or stops the loop.
Command decode_command(double variable_value, bool stop_flag);

// The slot a value names (play, loop or stop of one slot), or -1.
int command_slot(double variable_value);
