// Reading the root's files for a panel.
#include "host/root_files.h"

#include <sys/stat.h>

#include <cstdio>

#include "host/files.h"
#include "platform/codepage.h"
#if defined(_WIN32)
#include "platform/win32.h"
#else
#include "platform/standin.h"
#endif

namespace {

// The file a Windows-style path leads to, or "" when there is none. On Windows the system
// resolves it as it resolves the module's own file opens (relative to the simulator root, the
// current folder, in any letter case); elsewhere our stand-in does the same.
std::string resolve_file(const std::string& path, struct stat& info) {
#if defined(_WIN32)
    std::string resolved = path;
#else
    char buffer[4096];
    if (!standin_resolve_unicode_path(path.c_str(), buffer, sizeof buffer)) return "";
    std::string resolved = buffer;
#endif
    if (stat(resolved.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "";
    return resolved;
}

}  // namespace

PanelFiles::Result RootFiles::read(const std::string& path, size_t limit, std::string& bytes) {
    struct stat info;
    const std::string file = resolve_file(path, info);
    if (file.empty()) return MISSING;
    if (static_cast<unsigned long long>(info.st_size) > limit) return TOO_LARGE;
    std::FILE* in = open_regular_file(file, "rb");
    if (!in) return UNREADABLE;
    bytes.assign(static_cast<size_t>(info.st_size), '\0');
    const size_t got = bytes.empty() ? 0 : std::fread(&bytes[0], 1, bytes.size(), in);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    bytes.resize(got);
    return failed ? UNREADABLE : READ;
}

int RootFiles::code_page() const {
#if defined(_WIN32)
    // The simulator reads panel.cfg in the system's ANSI code page.
    return codepage::supported(static_cast<int>(GetACP())) ? static_cast<int>(GetACP()) : 1252;
#else
    return standin_codepage();
#endif
}

bool RootFiles::exists(const std::string& path) {
    struct stat info;
    return !resolve_file(path, info).empty();
}
