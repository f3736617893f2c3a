// Windows-style path resolution off Windows: the one place that maps a DOS path (backslashes,
// any letter case) to a host path, as Wine does, and the Windows folder rule for profile files.
// Internal to platform/.
#pragma once

#include <string>

namespace standin {

// Resolves `path` as Wine resolves a DOS path. Sets *found to whether the file or folder exists
// and returns the host path (a best-effort spelling when it does not exist).
std::string resolve_path(const char* path, bool* found);

// Like resolve_path, but a profile file named without any folder is looked for in the Windows
// folder, as Windows does.
std::string resolve_profile_path(const char* file, bool* found);

}  // namespace standin
