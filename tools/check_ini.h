// `cuebox check`'s facts about the INI file, read as Windows reads it: where the module looks
// for it, whether it is there and can be read, its encoding and the lines its keys stand on;
// and the variable name's mistakes that no gauge would get past.
#pragma once

#include <string>

#include "tools/cli.h"
#include "tools/configuration_view.h"
#include "tools/ini_analysis.h"

// Where a path that the module hands to the platform leads: off Windows the stand-in's mapping
// of Windows-style paths (the very one the module's opens go through), on Windows the path.
bool resolve_platform_path(const std::string& path, std::string& resolved);

struct IniFacts {
    bool named = false;  // by the gauge's parameter string
    std::string path;    // as the module names it; "" when it reads none
    std::string resolved;
    bool found = false;
    bool readable = false;
    std::string encoding;  // of its text: "ansi", "utf-8-bom", "utf-16le", "utf-16be"
    IniLines lines;
};

void analyse_ini(const CliOptions& options, const ConfigurationView& view, IniFacts& ini,
                 Findings& findings);
void check_variable(const ConfigurationView& view, const IniFacts& ini, Findings& findings);
