// Owns the mapping of Windows-style paths to host paths off Windows, the Windows folder, and the
// fopen hook through which the module's own file tests reach that mapping. Sound sets and INI
// files are written on Windows ("Sound\Cockpit\Gear.WAV"), so every file the module opens goes
// through resolve_path. Names are matched as Windows matches them: letter case ignored beyond
// ASCII too, and the dots and spaces that Windows drops from the end of a name dropped.
#include "platform/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/standin.h"
#include "platform/standin_core.h"

namespace {

const char* const DEFAULT_WINDOWS_FOLDER = "windows";

std::string& windows_folder() {
    static std::string folder = DEFAULT_WINDOWS_FOLDER;
    return folder;
}

bool exists(const std::string& path) {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0;
}

std::string join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// The entry of `folder` that equals `name` but for letter case. Several can exist on a
// case-sensitive file system; the first in sorted order is taken so the choice never depends on
// the order the directory happens to list them in.
bool find_other_case(const std::string& folder, const std::string& name, std::string* match) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return false;
    std::vector<std::string> matches;
    const std::string wanted = codepage::upper_case(name);
    while (const dirent* entry = ::readdir(dir)) {
        if (codepage::upper_case(entry->d_name) == wanted) matches.push_back(entry->d_name);
    }
    ::closedir(dir);
    if (matches.empty()) return false;
    *match = *std::min_element(matches.begin(), matches.end());
    return true;
}

// Windows drops the dots and spaces that end the last name of a path ("tone.wav. " opens
// tone.wav), and one dot that ends a folder's name; "." and ".." stay what they are.
std::string windows_name(std::string component, bool last) {
    if (component == "." || component == "..") return component;
    if (last) {
        component.erase(component.find_last_not_of(". ") + 1);
    } else if (!component.empty() && component.back() == '.') {
        component.pop_back();
    }
    return component;
}

}  // namespace

namespace standin {

std::string resolve_path(const char* path, bool* found) {
    return resolve_unicode_path(path ? codepage::to_utf8(code_page(), path) : std::string(), found);
}

std::string resolve_unicode_path(const std::string& path, bool* found) {
    bool all_found = false;
    std::string result;
    if (!path.empty()) {
        std::string text(path);
        std::replace(text.begin(), text.end(), '\\', '/');
        // There are no drives here: a drive letter names the root of the host's file system.
        if (text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0])))
            text.erase(0, 2);
        if (!text.empty() && text[0] == '/') result = "/";

        all_found = true;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('/', start);
            if (end == std::string::npos) end = text.size();
            std::string component =
                windows_name(text.substr(start, end - start), end == text.size());
            start = end + 1;
            if (component.empty() || component == ".") continue;

            std::string next = join(result, component);
            if (all_found && component != ".." && !exists(next)) {
                std::string match;
                if (find_other_case(result, component, &match)) {
                    next = join(result, match);
                } else {
                    // The rest keeps the caller's spelling, so a file about to be created
                    // lands in the folders that did match.
                    all_found = false;
                }
            }
            result = next;
        }
        if (result.empty()) result = ".";
        all_found = all_found && exists(result);
    }
    if (found) *found = all_found;
    return result;
}

std::string resolve_profile_path(const char* file, bool* found) {
    if (!file || !*file) {
        if (found) *found = false;
        return std::string();
    }
    // Windows looks for a profile file named without any folder in its own folder, not in the
    // current one.
    if (!std::strchr(file, '\\') && !std::strchr(file, '/'))
        return resolve_unicode_path(join(windows_folder(), codepage::to_utf8(code_page(), file)),
                                    found);
    return resolve_path(file, found);
}

int open_regular_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        errno = EACCES;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool read_regular_file(const std::string& path, std::string& text) {
    text.clear();
    const int fd = open_regular_file(path);
    if (fd < 0) return false;
    char block[1 << 14];
    ssize_t got;
    while ((got = ::read(fd, block, sizeof block)) > 0)
        text.append(block, static_cast<size_t>(got));
    ::close(fd);
    return got == 0;
}

FILE* open_regular_stream(const std::string& path, const char* mode) {
    if (mode && mode[0] == 'r' && !std::strchr(mode, '+')) {
        const int fd = open_regular_file(path);
        if (fd < 0) return nullptr;
        FILE* file = ::fdopen(fd, mode);
        if (!file) ::close(fd);
        return file;
    }
    struct stat status;
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        errno = EACCES;
        return nullptr;
    }
    return std::fopen(path.c_str(), mode);
}

}  // namespace standin

namespace {

int hand_out(const std::string& resolved, bool found, char* result, size_t size) {
    if (result && size > 0) {
        size_t length = std::min(resolved.size(), size - 1);
        std::memcpy(result, resolved.data(), length);
        result[length] = '\0';
    }
    return found ? 1 : 0;
}

}  // namespace

CUEBOX_PLATFORM_API int standin_resolve_path(const char* path, char* result, size_t size) {
    bool found = false;
    const std::string resolved = standin::resolve_path(path, &found);
    return hand_out(resolved, found, result, size);
}

CUEBOX_PLATFORM_API int standin_resolve_unicode_path(const char* path, char* result, size_t size) {
    bool found = false;
    const std::string resolved = standin::resolve_unicode_path(path ? path : "", &found);
    return hand_out(resolved, found, result, size);
}

CUEBOX_PLATFORM_API void standin_set_windows_folder(const char* folder) {
    windows_folder() = (folder && *folder) ? folder : DEFAULT_WINDOWS_FOLDER;
}

CUEBOX_PLATFORM_API const char* standin_windows_folder(void) {
    return windows_folder().c_str();
}

namespace {
// Streams the module opened through fopen and has not closed yet.
long open_streams = 0;
}  // namespace

// The module's library is linked with --wrap=fopen, so its existence test of a sound file comes
// here and sees the same path mapping as mmioOpenA. This library is not wrapped, so the fopen
// below is the C library's own.
extern "C" __attribute__((visibility("default"))) FILE* __wrap_fopen(const char* path,
                                                                     const char* mode) {
    standin::count_call("fopen");
    bool found = false;
    std::string resolved = standin::resolve_path(path, &found);
    if (standin::tracing()) {
        standin::emit("open", {{"via", "fopen"},
                               {"path", standin::ansi_field(path)},
                               {"resolved", found ? standin::host_field(resolved) : nullptr}});
    }
    // Only a regular file opens, as on Windows: Linux would open a folder for reading, and a
    // pipe would hold the panel until something writes into it.
    FILE* file = standin::open_regular_stream(resolved, mode);
    if (file) ++open_streams;
    return file;
}

extern "C" __attribute__((visibility("default"))) int __wrap_fclose(FILE* file) {
    standin::count_call("fclose");
    if (file && open_streams > 0) --open_streams;
    return std::fclose(file);
}

CUEBOX_PLATFORM_API long standin_open_streams(void) {
    return open_streams;
}
