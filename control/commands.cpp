// Owns CommandState and the dispatch of each decoded command to the slots' sound actions.
#include "control/commands.h"

#include <cstdio>

#include "control/configuration.h"
#include "control/protocol.h"
#include "sound/slot_buffers.h"

namespace {

CommandState state;

// The first play-once or loop-start of a slot whose file opens marks it loaded and loads it.
void make_loaded(int slot) {
    SoundSlot& entry = slot_table()->slots[slot];
    std::FILE* file = std::fopen(entry.path, "r");
    if (!file) return;
    std::fclose(file);
    entry.loaded = 1;
    load_slot(static_cast<uint16_t>(slot), entry.path);
}

void decode_and_act(const Command& c) {
    CommandState& s = state;
    if (!c.digits) return;
    s.units = c.units;
    s.tens = c.tens;
    s.hundreds = c.hundreds;
    s.slot = c.slot;
    // 200 to 249 and 251 to 259 have no meaning; acting on them with a mode left over from an
    // earlier command would surprise a gauge author, so they do nothing.
    if (c.mode == NO_MODE) return;
    s.mode = c.mode;
    s.pending = c.pending ? 1 : 0;

    SoundSlot& slot = slot_table()->slots[s.slot];
    const uint16_t number = static_cast<uint16_t>(s.slot);
    switch (c.action) {
        case CommandAction::LOOP_TOGGLE:
            if (slot.looping == 0) {
                if (slot.loaded == 0) make_loaded(s.slot);
                if (slot.loaded == 1) {
                    play_slot(number, true);
                    slot.looping = 1;
                }
            } else {
                stop_slot(number, true);
                slot.looping = 0;
                s.stop_flag = 0;
            }
            s.pending = 0;
            break;
        case CommandAction::PLAY:
            if (slot.loaded == 0) make_loaded(s.slot);
            if (slot.loaded == 1) play_slot(number, false);
            s.pending = 0;
            break;
        case CommandAction::STOP:
            // A stop of a slot that never loaded leaves the flag set for the next command.
            if (slot.loaded != 1) break;
            if (is_slot_playing(number)) {
                stop_slot(number, true);
                slot.looping = 0;
            }
            s.pending = 0;
            s.stop_flag = 0;
            break;
        case CommandAction::STOP_ALL:
            for (int n = 0; n < SLOT_COUNT; ++n) {
                SoundSlot& each = slot_table()->slots[n];
                if (each.loaded == 1 && is_slot_playing(static_cast<uint16_t>(n))) {
                    stop_slot(static_cast<uint16_t>(n), true);
                    each.looping = 0;
                }
            }
            break;
        case CommandAction::NONE:
            break;
    }
}

}  // namespace

CommandState& command_state() {
    return state;
}

void reset_command_state() {
    state = CommandState();
}

void update_commands(const HostPanelTable* panel) {
    if (!is_configured()) return;
    CommandState& s = state;

    VariableId id = register_named_variable(panel, variable_name());
    const Command c = decode_command(get_named_variable_value(panel, id), s.stop_flag != 0);
    s.value = c.value;
    if (c.idle) s.awaiting_idle = 0;
    if (c.negative) s.stop_flag = 1;
    if (s.awaiting_idle == 0) decode_and_act(c);

    if (s.value != IDLE_COMMAND || s.awaiting_idle == 1) {
        id = register_named_variable(panel, variable_name());
        set_named_variable_value(panel, id, IDLE_VALUE);
    }
}
