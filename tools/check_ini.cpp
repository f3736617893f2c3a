// The INI half of `cuebox check`: the INI file the module would read, found and decoded as
// Windows finds and decodes it, and the mistakes in it that the module passes over in silence.
#include "tools/check_ini.h"

#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/files.h"
#include "panel/text.h"
#include "platform/codepage.h"
#include "platform/win32.h"
#include "tools/ini_files.h"
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

// The root's Gauges folder, as this system names it ("" when there is none).
std::string gauges_folder() {
    std::string folder;
    return resolve_platform_path(".\\Gauges", folder) ? folder : std::string();
}

// "; did you mean .\\Gauges\\myplane.ini?" for an INI path a slip of the keyboard away from a
// file in the same folder, "" when none is that near.
std::string ini_meant(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    if (folder.empty()) return "";  // Windows' folder: not the author's
    std::string found;
    if (!resolve_platform_path(folder, found)) return "";
    const std::string meant = nearest_ini_file(found, path.substr(cut + 1));
    return meant.empty() ? "" : "; did you mean " + shown(folder) + shown_file_path(meant) + "?";
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
        where = path_in(windows_folder(), ini.path);
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
                                 shown_file_path(ini.resolved) + "): the variable is " +
                                 DEFAULT_VARIABLE_NAME + " and every slot uses its default file" +
                                 ini_meant(ini.path));
        } else if (const std::vector<std::string> others = ini_files_like_ours(gauges_folder());
                   !others.empty()) {
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
                         "the INI file " + shown_file_path(ini.resolved) + " cannot be read: the variable is " +
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
