// Owns CommandState and the decoding of the command variable into slot actions.
#include "control/commands.h"

#include <cmath>
#include <cstdio>

#include "control/configuration.h"
#include "sound/slot_buffers.h"

namespace {

CommandState state;

constexpr int32_t IDLE = 260;
constexpr int32_t STOP_ALL = 250;
constexpr int32_t INT32_LOWEST = -2147483647 - 1;

// Two's-complement reinterpretation without relying on implementation-defined conversions.
int32_t as_signed(uint32_t bits) {
    return bits >= 0x80000000u ? -static_cast<int32_t>(~bits) - 1 : static_cast<int32_t>(bits);
}

// Negation in 32-bit arithmetic: the most negative value stays itself.
int32_t negate(int32_t value) { return as_signed(0u - static_cast<uint32_t>(value)); }

// The first play-once or loop-start of a slot whose file opens marks it loaded and loads it.
void make_loaded(int slot) {
    SoundSlot& entry = slot_table()->slots[slot];
    std::FILE* file = std::fopen(entry.path, "r");
    if (!file) return;
    std::fclose(file);
    entry.loaded = 1;
    load_slot(static_cast<uint16_t>(slot), entry.path);
}

void decode_and_act() {
    CommandState& s = state;
    // Only 2^31 and -2^31 stay negative after sign removal; they would index outside the table.
    if (s.value < 0) return;

    s.units = s.value % 10;
    s.hundreds = (s.value - s.value % 100) / 100;
    s.tens = (s.value % 100 - s.units) / 10;
    s.slot = s.tens * 10 + s.units;
    s.pending = s.value != IDLE ? 1 : 0;

    bool selected = false;
    if (s.hundreds == 0) s.mode = 0, selected = true;
    if (s.hundreds == 1) s.mode = 1, selected = true;
    if (s.value == STOP_ALL) s.mode = 2, selected = true;
    if (s.value > IDLE - 1) s.pending = 0, s.mode = 3, selected = true;
    // 200 to 249 and 251 to 259 have no meaning; acting on them with a mode left over from an
    // earlier command would surprise a gauge author, so they do nothing.
    if (!selected) return;

    SoundSlot& slot = slot_table()->slots[s.slot];
    const uint16_t number = static_cast<uint16_t>(s.slot);
    if (s.mode == 1 && slot.looping == 0 && s.pending) {
        if (slot.loaded == 0) make_loaded(s.slot);
        if (slot.loaded == 1) {
            play_slot(number, true);
            slot.looping = 1;
        }
        s.pending = 0;
    } else if (s.mode == 1 && slot.looping == 1 && s.pending) {
        stop_slot(number, true);
        slot.looping = 0;
        s.pending = 0;
        s.stop_flag = 0;
    } else if (s.mode == 0 && s.pending && s.stop_flag == 0) {
        if (slot.loaded == 0) make_loaded(s.slot);
        if (slot.loaded == 1) play_slot(number, false);
        s.pending = 0;
    } else if (s.mode == 0 && s.pending && s.stop_flag == 1 && slot.loaded == 1) {
        if (is_slot_playing(number)) {
            stop_slot(number, true);
            slot.looping = 0;
        }
        s.pending = 0;
        s.stop_flag = 0;
    } else if (s.mode == 2) {
        for (int n = 0; n < SLOT_COUNT; ++n) {
            SoundSlot& each = slot_table()->slots[n];
            if (each.loaded == 1 && is_slot_playing(static_cast<uint16_t>(n))) {
                stop_slot(static_cast<uint16_t>(n), true);
                each.looping = 0;
            }
        }
    }
}

}  // namespace

CommandState& command_state() { return state; }

void reset_command_state() {
    state = CommandState();
}

int32_t command_value(double variable_value) {
    const double limit = 9223372036854775808.0;  // 2^63
    uint64_t bits = 0x8000000000000000ull;
    if (std::isfinite(variable_value) && std::fabs(variable_value) < limit) {
        const int64_t whole = static_cast<int64_t>(variable_value);  // truncates toward zero
        bits = static_cast<uint64_t>(whole);
    }
    return as_signed(static_cast<uint32_t>(bits));
}

void update_commands(const HostPanelTable* panel) {
    if (!is_configured()) return;
    CommandState& s = state;

    VariableId id = register_named_variable(panel, variable_name());
    s.value = command_value(get_named_variable_value(panel, id));

    if (s.value == IDLE) s.awaiting_idle = 0;
    if (s.value < 0 && s.value != INT32_LOWEST) {
        s.stop_flag = 1;
        s.value = negate(s.value);
    }
    if (s.awaiting_idle == 0) decode_and_act();

    if (s.value != IDLE || s.awaiting_idle == 1) {
        id = register_named_variable(panel, variable_name());
        set_named_variable_value(panel, id, IDLE_VALUE);
    }
}
