// The module's configuration as the module itself reads it (the same control code, run here
// against a panel table of its own), for the host and the tools to show.
#pragma once

#include <string>
#include <vector>

#include "control/configuration.h"

struct SlotView {
    std::string path;
    PathSource source;
};

struct ConfigurationView {
    std::string ini_path;         // the INI file named (the default when no parameter string)
    std::string variable_name;    // the command variable
    std::vector<SlotView> slots;  // SLOT_COUNT entries
};

// `parameters` null means the gauge has no parameter string.
ConfigurationView read_configuration(const char* parameters);
