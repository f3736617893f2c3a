// The INI files of a folder, for an author whose INI file the module does not find where it
// looks: which of them look like the module's, and which one a misspelt name meant.
#pragma once

#include <string>
#include <vector>

// The names of the .ini files in `folder` (a path of this system) whose text has a [Sounds]
// section or an LVar key, in whichever encoding Windows reads (UTF-16 too); sorted.
std::vector<std::string> ini_files_like_ours(const std::string& folder);

// The .ini file of `folder` that `name` was most likely meant to be: a slip of the keyboard
// away (two letters at most, letter case aside), or "" when none is that near.
std::string nearest_ini_file(const std::string& folder, const std::string& name);
