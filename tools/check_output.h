// The two forms of check's report: JSON for scripts, and the listing with the problems,
// warnings and notes for the author.
#pragma once

#include <string>
#include <vector>

#include "tools/check_ini.h"
#include "tools/check_sound.h"

void print_json(const std::string& root, const ConfigurationView& view, const IniFacts& ini,
                const DeviceProbe& device, const std::vector<SlotReport>& slots,
                const Findings& findings);
void print_readable(const std::string& root, const ConfigurationView& view, const IniFacts& ini,
                    const DeviceProbe& device, const std::vector<SlotReport>& slots, bool all,
                    const Findings& findings);
