// Decoding one value of the command variable: the protocol's digits, modes and stop flag.
#include "control/protocol.h"

#include <cmath>

namespace {

constexpr int32_t INT32_LOWEST = -2147483647 - 1;

// Two's-complement reinterpretation without relying on implementation-defined conversions.
int32_t as_signed(uint32_t bits) {
    return bits >= 0x80000000u ? -static_cast<int32_t>(~bits) - 1 : static_cast<int32_t>(bits);
}

}  // namespace

int32_t command_value(double variable_value) {
    const double limit = 9223372036854775808.0;  // 2^63
    uint64_t bits = 0x8000000000000000ull;
    if (std::isfinite(variable_value) && std::fabs(variable_value) < limit) {
        const int64_t whole = static_cast<int64_t>(variable_value);  // truncates toward zero
        bits = static_cast<uint64_t>(whole);
    }
    return as_signed(static_cast<uint32_t>(bits));
}

Command decode_command(double variable_value, bool stop_flag) {
    Command c;
    c.value = command_value(variable_value);
    c.idle = c.value == IDLE_COMMAND;
    // Only 2^31 and -2^31 stay negative after sign removal: they set no flag and name no slot,
    // since their digits would index outside the slot table.
    c.negative = c.value < 0 && c.value != INT32_LOWEST;
    if (c.negative) c.value = -c.value;
    c.stop_flag = stop_flag || c.negative;
    if (c.value < 0) return c;

    c.digits = true;
    c.units = c.value % 10;
    c.hundreds = (c.value - c.value % 100) / 100;
    c.tens = (c.value % 100 - c.units) / 10;
    c.slot = c.tens * 10 + c.units;
    c.pending = c.value != IDLE_COMMAND;

    // Each test overrides the one before. 200 to 249 and 251 to 259 pass none and have no mode.
    if (c.hundreds == 0) c.mode = PLAY_MODE;
    if (c.hundreds == 1) c.mode = LOOP_MODE;
    if (c.value == STOP_ALL_COMMAND) c.mode = STOP_ALL_MODE;
    if (c.value > IDLE_COMMAND - 1) c.pending = false, c.mode = IGNORED_MODE;
    if (c.mode == NO_MODE) c.pending = false;

    switch (c.mode) {
        case PLAY_MODE:
            c.action = c.stop_flag ? CommandAction::STOP : CommandAction::PLAY;
            break;
        case LOOP_MODE:
            c.action = CommandAction::LOOP_TOGGLE;
            break;
        case STOP_ALL_MODE:
            c.action = CommandAction::STOP_ALL;
            break;
        default:
            break;
    }
    return c;
}

int command_slot(double variable_value) {
    const Command c = decode_command(variable_value, false);
    return c.mode == PLAY_MODE || c.mode == LOOP_MODE ? c.slot : -1;
}
