// The simulator root's files for the panel library: paths named Windows style (backslashes,
// any letter case), in UTF-8 as the panel library keeps them, resolved as the module's own file
// opens resolve them.
#pragma once

#include <string>

#include "panel/panel.h"

class RootFiles : public PanelFiles {
  public:
    Result read(const std::string& path, size_t limit, std::string& bytes) override;
    bool exists(const std::string& path) override;
    int code_page() const override;
};
