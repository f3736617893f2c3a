// Configuration and the slot table: the module's tables, allocated at load and freed at
// disconnect, and the one-time reading of the INI file that names the command variable and
// gives each slot its sound file.
#pragma once

#include <cstdint>

#include "module/host_panel.h"
#include "sound/slot_buffers.h"

constexpr int SLOT_PATH_SIZE = 128;     // the INI read gives at most 127 characters
constexpr int MODULE_STRING_SIZE = 130;  // the INI path, the variable name, the scratch buffer
constexpr int VARIABLE_NAME_LIMIT = 130;
constexpr int SLOT_VALUE_LIMIT = 128;

constexpr const char* DEFAULT_INI_PATH = "./Gauges/jvb_cuebox.ini";
constexpr const char* DEFAULT_VARIABLE_NAME = "jvb_cuebox_id";
constexpr const char* DEFAULT_SOUND_PREFIX = "./Sound/jvb/jvb_xml_";

struct SoundSlot {
    int32_t loaded;
    int32_t looping;
    char path[SLOT_PATH_SIZE];
};

struct SlotTable {
    SoundSlot slots[SLOT_COUNT];
};

// Where a slot's path came from, for the tools that explain a configuration.
enum class PathSource { DEFAULT_RULE, INI_FILE };

// Allocates the slot table and the three module strings, zero-filled. False when any
// allocation fails; nothing is then held.
bool allocate_tables();

// Reads the configuration at the first pre-update; afterwards does nothing. After a disconnect
// has released the tables, the next call allocates them again and reads the INI file afresh.
// True when this call read the configuration.
bool configure_once(const char* parameters, const HostPanelTable* panel);

// Frees the variable name, the slot table, the scratch buffer and the INI path, in that order.
// A second call frees nothing.
void release_tables();

// True from the first configuration on, and while the tables exist.
bool is_configured();
SlotTable* slot_table();
const char* variable_name();
const char* ini_path();
VariableId configured_variable_id();
PathSource slot_path_source(int slot);

// The INI key of a slot: "Sound" and two digits.
void slot_key(int slot, char key[8]);
// The default path of a slot: "./Sound/jvb/jvb_xml_NN.wav".
void default_slot_path(int slot, char path[SLOT_PATH_SIZE]);
