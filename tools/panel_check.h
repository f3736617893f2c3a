// `cuebox check --panel`: what only the whole panel shows, read from its files without running
// it: no gauge writes the variable the module reads (and which similar names they write), a
// gauge writes another variable meant for the module (the docs' default name, or a command to
// a name close to the INI's), a command for a slot that cannot sound, or a value the module
// ignores, or writes the command variable at every update without a condition, or without
// waiting for the module to take the last command where another script writes it too; besides
// the panel's own malformed lines, missing gauges and scripts that cannot run (a problem where
// they write what drives sound, a note elsewhere).
#pragma once

#include <string>
#include <vector>

#include "panel/panel.h"

struct PanelFinding {
    std::string kind;  // a fixed word per kind of problem, as the other findings of check have
    int slot = -1;
    std::string message;
    std::string file;      // the panel file the finding is about, "" when none
    int line = 0;          // its line there, 0 when none
    bool warning = false;  // worth saying, but the panel may work as its author meant
};

class PanelCheck {
  public:
    // Loads the panel from the root (the current folder); false, after printing why, when the
    // panel file cannot be read.
    bool load(const std::string& panel_path);
    // The parameter string of the module's first line in the panel, "" when none, in the ANSI
    // code page as the module gets it.
    std::string module_parameters() const;

    // `variable` is the command variable the module reads; `silent_why` tells per slot why its
    // sound would not play ("" when it plays).
    void find(const std::string& variable, const std::vector<std::string>& silent_why,
              std::vector<PanelFinding>& problems, std::vector<std::string>& notes) const;

  private:
    LoadedPanel panel_;
};
