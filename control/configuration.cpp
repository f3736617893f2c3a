// Owns the slot table, the module strings and the configured flag; reads the INI file once.
#include "control/configuration.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "control/protocol.h"

namespace {

SlotTable* slots = nullptr;
char* name_buffer = nullptr;
char* scratch_buffer = nullptr;
char* ini_path_buffer = nullptr;
bool configured = false;
VariableId variable_id = 0;
PathSource path_sources[SLOT_COUNT];

bool tables_present() { return slots != nullptr; }

}  // namespace

bool allocate_tables() {
    slots = static_cast<SlotTable*>(std::calloc(1, sizeof(SlotTable)));
    name_buffer = static_cast<char*>(std::calloc(1, MODULE_STRING_SIZE));
    scratch_buffer = static_cast<char*>(std::calloc(1, MODULE_STRING_SIZE));
    ini_path_buffer = static_cast<char*>(std::calloc(1, MODULE_STRING_SIZE));
    if (slots && name_buffer && scratch_buffer && ini_path_buffer) return true;
    release_tables();
    return false;
}

void release_tables() {
    std::free(name_buffer);
    name_buffer = nullptr;
    std::free(slots);
    slots = nullptr;
    std::free(scratch_buffer);
    scratch_buffer = nullptr;
    std::free(ini_path_buffer);
    ini_path_buffer = nullptr;
}

void slot_key(int slot, char key[8]) {
    std::snprintf(key, 8, "Sound%02u", static_cast<unsigned>(slot) % 100u);
}

void default_slot_path(int slot, char path[SLOT_PATH_SIZE]) {
    std::snprintf(path, SLOT_PATH_SIZE, "%s%02u.wav", DEFAULT_SOUND_PREFIX,
                  static_cast<unsigned>(slot) % 100u);
}

bool configure_once(const char* parameters, const HostPanelTable* panel) {
    if (configured && tables_present()) return false;
    // A panel connected again after a disconnect: the tables were freed, so start afresh.
    if (!tables_present() && !allocate_tables()) return false;

    if (!parameters) parameters = "";
    // A path that does not fit is not cut, since a cut path names another file; such a
    // gauge is configured as if its INI file were missing.
    const bool usable_path = std::strlen(parameters) < MODULE_STRING_SIZE;
    if (parameters[0] != '\0') {
        if (usable_path) std::strcpy(ini_path_buffer, parameters);
        configured = true;
        if (usable_path) {
            GetPrivateProfileStringA("Config", "Lvar", DEFAULT_VARIABLE_NAME, name_buffer,
                                     VARIABLE_NAME_LIMIT, ini_path_buffer);
        } else {
            std::strcpy(name_buffer, DEFAULT_VARIABLE_NAME);
        }
    } else {
        configured = true;
        std::strcpy(ini_path_buffer, DEFAULT_INI_PATH);
        GetPrivateProfileStringA("Config", "LVar", DEFAULT_VARIABLE_NAME, name_buffer,
                                 VARIABLE_NAME_LIMIT, DEFAULT_INI_PATH);
    }

    variable_id = register_named_variable(panel, name_buffer);
    set_named_variable_value(panel, variable_id, IDLE_VALUE);

    for (int n = SLOT_COUNT - 1; n >= 0; --n) {
        SoundSlot& slot = slots->slots[n];
        char key[8];
        slot_key(n, key);
        scratch_buffer[0] = '\0';
        if (usable_path) {
            GetPrivateProfileStringA("Sounds", key, "", scratch_buffer, SLOT_VALUE_LIMIT,
                                     ini_path_buffer);
        }
        if (scratch_buffer[0] != '\0') {
            std::memcpy(slot.path, scratch_buffer, SLOT_PATH_SIZE);
            slot.path[SLOT_PATH_SIZE - 1] = '\0';
            path_sources[n] = PathSource::INI_FILE;
        } else {
            default_slot_path(n, slot.path);
            path_sources[n] = PathSource::DEFAULT_RULE;
        }
        slot.looping = 0;
        slot.loaded = 0;
    }
    return true;
}

bool is_configured() { return configured && tables_present(); }
SlotTable* slot_table() { return slots; }
const char* variable_name() { return name_buffer; }
const char* ini_path() { return ini_path_buffer; }
VariableId configured_variable_id() { return variable_id; }
PathSource slot_path_source(int slot) { return path_sources[slot]; }
