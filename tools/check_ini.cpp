// The INI half of `cuebox check`: the INI file the module would read, found and decoded as
// Windows finds and decodes it, and the mistakes in it that the module passes over in silence.
#include "tools/check_ini.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/files.h"
#include "panel/text.h"
#include "platform/codepage.h"
#include "platform/win32.h"
#if !defined(_WIN32)
#include "platform/standin.h"
#endif

bool resolve_platform_path(const std::string& path, std::string& resolved) {
#if defined(_WIN32)
    resolved = path;
    struct stat info;
    return stat(path.c_str(), &info) == 0;
#else
    char buffer[4096];
    const int found = standin_resolve_path(path.c_str(), buffer, sizeof buffer);
    resolved = buffer;
    return found != 0;
#endif
}


namespace {

// The folder where Windows looks for a profile file named without any folder.
std::string windows_folder() {
#if defined(_WIN32)
    char folder[MAX_PATH] = "";
    GetWindowsDirectoryA(folder, sizeof folder);
    return folder;
#else
    return standin_windows_folder();
#endif
}

// The INI files in the root's Gauges folder that look like ours (a [Sounds] section or an
// LVar key), for an author whose INI is not where the module looks by default.
std::vector<std::string> ini_files_like_ours() {
    std::vector<std::string> found;
    std::string folder;
    if (!resolve_platform_path(".\\Gauges", folder)) return found;
    DIR* listing = opendir(folder.c_str());
    if (!listing) return found;
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() < 5 || lower_text(name.substr(name.size() - 4)) != ".ini") continue;
        std::string text;
        if (!read_regular_file(folder + "/" + name, text)) continue;
        const std::string lower = lower_text(text.substr(0, 1 << 16));
        if (lower.find("[sounds]") != std::string::npos || lower.find("lvar") != std::string::npos)
            found.push_back(name);
    }
    closedir(listing);
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

void analyse_ini(const CliOptions& options, const ConfigurationView& view, IniFacts& ini,
                 Findings& findings) {
    ini.named = options.has_param && !options.param.empty();
    ini.path = view.ini_path;
    if (ini.named && options.param.size() >= static_cast<size_t>(MODULE_STRING_SIZE)) {
        findings.problem("parameter_too_long", -1, 0,
                         "the parameter string has " + std::to_string(options.param.size()) +
                             " characters; from " + std::to_string(MODULE_STRING_SIZE) +
                             " on the module reads no INI file at all: the variable is " +
                             DEFAULT_VARIABLE_NAME + " and every slot uses its default file");
        ini.path.clear();
        return;
    }
    std::string where = ini.path;
    if (ini.path.find_first_of("\\/") == std::string::npos) {
        where = windows_folder() + "/" + ini.path;
        findings.problem("ini_no_folder", -1, 0,
                         "the INI file \"" + shown(ini.path) +
                             "\" is named without a folder, so Windows looks for it in its own "
                             "folder (" +
                             windows_folder() + "), not in the simulator's: write .\\Gauges\\" +
                             shown(ini.path));
    }
    ini.found = resolve_platform_path(where, ini.resolved);
    if (!ini.found) {
        if (ini.named) {
            findings.problem("ini_missing", -1, 0,
                             "the INI file " + shown(ini.path) + " was not found (looked for " +
                                 ini.resolved + "): the variable is " + DEFAULT_VARIABLE_NAME +
                                 " and every slot uses its default file");
        } else if (const std::vector<std::string> others = ini_files_like_ours(); !others.empty()) {
            std::string names;
            for (const std::string& name : others) names += (names.empty() ? "" : ", ") + name;
            const std::string example = ".\\Gauges\\" + others.front();
            findings.problem("ini_elsewhere", -1, 0,
                             "no INI file at " + ini.path +
                                 ", where the module looks when its "
                                 "parameter string names none, but Gauges holds " +
                                 names +
                                 ": name yours in the module's line of panel.cfg (gauge00="
                                 "jvb_cuebox2!jvb_cuebox2, 0, 0, 1, 1, " +
                                 example + "), try it here with --param " + example +
                                 ", or rename it jvb_cuebox.ini");
        } else {
            findings.notes.push_back("no INI file at " + shown(ini.path) + ": the variable is " +
                                     DEFAULT_VARIABLE_NAME +
                                     " and every slot uses its default file");
        }
        return;
    }
    std::string text;
    if (!read_regular_file(ini.resolved, text)) {
        findings.problem("ini_unreadable", -1, 0,
                         "the INI file " + ini.resolved + " cannot be read: the variable is " +
                             DEFAULT_VARIABLE_NAME + " and every slot uses its default file");
        return;
    }
    ini.readable = true;
    ini.encoding = codepage::encoding_name(analyse_ini_text(text, ini.lines, findings));
}

void check_variable(const ConfigurationView& view, const IniFacts& ini, Findings& findings) {
    const std::string& name = view.variable_name;
    const std::string from = ini.lines.variable_line
                                 ? " (LVar, line " + std::to_string(ini.lines.variable_line) + ")"
                                 : "";
    if (name.empty()) {
        findings.problem("lvar_empty", -1, ini.lines.variable_line,
                         "LVar is empty" + from +
                             ": the module registers a variable with an empty name, which no "
                             "gauge can write");
        return;
    }
    if (name.find_first_of(" \t") != std::string::npos) {
        findings.problem("lvar_spaces", -1, ini.lines.variable_line,
                         "the variable name \"" + shown(name) + "\" holds spaces" + from +
                             ": every gauge must spell it with exactly these spaces; a name "
                             "without spaces is safer");
    }
    if (lower_text(name).compare(0, 2, "l:") == 0) {
        findings.problem("lvar_prefix", -1, ini.lines.variable_line,
                         "the variable name \"" + shown(name) + "\" starts with L:" + from +
                             ": the module registers it with the prefix, so gauges writing (>L:" +
                             shown(name.substr(2)) +
                             ") write another variable; write LVar=" + shown(name.substr(2)));
    }
}
