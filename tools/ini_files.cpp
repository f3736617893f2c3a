// The INI files of a folder, for an author whose INI file the module does not find.
#include "tools/ini_files.h"

#include <dirent.h>

#include <algorithm>

#include "host/files.h"
#include "panel/text.h"
#include "platform/codepage.h"
#include "tools/cli.h"

namespace {

std::vector<std::string> ini_names(const std::string& folder) {
    std::vector<std::string> names;
    DIR* listing = opendir(folder.c_str());
    if (!listing) return names;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() >= 5 && lower_text(name.substr(name.size() - 4)) == ".ini")
            names.push_back(name);
    }
    closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::vector<std::string> ini_files_like_ours(const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& name : ini_names(folder)) {
        std::string bytes;
        if (!read_regular_file(folder + "/" + name, bytes)) continue;
        // Read as Windows reads it: a UTF-16 file's "[Sounds]" is no ASCII byte string.
        const std::string text = lower_text(
            codepage::unicode_text(tool_code_page(), bytes.substr(0, 1 << 16), nullptr));
        if (text.find("[sounds]") != std::string::npos || text.find("lvar") != std::string::npos)
            found.push_back(name);
    }
    return found;
}

std::string nearest_ini_file(const std::string& folder, const std::string& name) {
    const size_t most = 2;  // letters apart
    std::string nearest;
    size_t best = most + 1;
    for (const std::string& other : ini_names(folder)) {
        const size_t distance = edit_distance(lower_text(name), lower_text(other));
        if (distance < best) {
            best = distance;
            nearest = other;
        }
    }
    return nearest;
}
