// GetPrivateProfileStringA off Windows, with the rules of Windows' own profile reader: sections
// and keys match without regard to case, blanks around names and values are trimmed, one pair
// of matching quotes around a value is removed, the first of duplicate sections and keys counts,
// and the result is cut to the buffer with its terminator. The file is read as Windows reads
// it: Unicode when a byte order mark says so (UTF-8, UTF-16 LE or BE), handed out in the ANSI
// code page; ANSI bytes as they are otherwise; a line ends at CR, LF or CR LF.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/standin_core.h"
#include "platform/win32.h"

namespace {

std::string trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool same_name(const std::string& a, const char* b) {
    const size_t length = std::strlen(b);
    if (a.size() != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Names and values are C strings once read: a zero byte inside one ends it, as on Windows.
std::string name_or_value(const std::string& text) {
    return trim(text.substr(0, text.find('\0')));
}

std::string unquote(const std::string& value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

struct Entry {
    std::string key;
    std::string value;
    bool assigned;  // a name=value line; a line without '=' is no key to list
};

struct Section {
    std::string name;
    std::vector<Entry> entries;
};

std::vector<Section> load_profile(const std::string& path, bool* readable) {
    std::vector<Section> sections;
    std::string bytes;
    *readable = standin::read_regular_file(path, bytes);
    if (!*readable) return sections;
    const std::string all = codepage::ansi_profile_text(standin::code_page(), bytes, nullptr);
    // Lines before the first section header belong to no section a caller can name.
    sections.push_back(Section{});
    std::string line;
    for (size_t next = 0; codepage::next_line(all, next, line);) {
        const std::string text = trim(line);
        if (text.empty()) continue;
        if (text[0] == '[') {
            const size_t close = text.find(']');
            const std::string name =
                close == std::string::npos ? text.substr(1) : text.substr(1, close - 1);
            sections.push_back(Section{name_or_value(name), {}});
            continue;
        }
        const size_t equals = text.find('=');
        if (equals == std::string::npos) {
            sections.back().entries.push_back(Entry{name_or_value(text), std::string(), false});
        } else {
            sections.back().entries.push_back(Entry{name_or_value(text.substr(0, equals)),
                                                    name_or_value(text.substr(equals + 1)), true});
        }
    }
    return sections;
}

// Copies `text` into the caller's buffer, cut to fit with its terminator; returns the count.
DWORD copy_result(const std::string& text, LPSTR result, DWORD size) {
    if (!result || size == 0) return 0;
    const DWORD count = static_cast<DWORD>(std::min<size_t>(text.size(), size - 1));
    std::memcpy(result, text.data(), count);
    result[count] = '\0';
    return count;
}

// A list of names, each with its terminator and one more at the end, as Windows returns
// section and key lists.
DWORD copy_list(const std::vector<std::string>& names, LPSTR result, DWORD size) {
    if (!result || size == 0) return 0;
    if (size < 2) {
        result[0] = '\0';
        return 0;
    }
    DWORD used = 0;
    bool cut = false;
    for (const std::string& name : names) {
        for (char c : name) {
            if (used + 2 >= size) {
                cut = true;
                break;
            }
            result[used++] = c;
        }
        if (used + 2 > size) {
            cut = true;
            break;
        }
        result[used++] = '\0';
    }
    result[used] = '\0';
    // Windows reports size - 2 when the list did not fit, whatever it wrote.
    return cut ? size - 2 : used;
}

}  // namespace

CUEBOX_PLATFORM_API DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value,
                                                   LPSTR result, DWORD size, LPCSTR file_name) {
    standin::count_call("GetPrivateProfileStringA");
    // Windows cuts blanks off the end of the default.
    std::string fallback = default_value ? default_value : "";
    fallback.erase(fallback.find_last_not_of(' ') + 1);

    bool found = false;
    const std::string path = standin::resolve_profile_path(file_name ? file_name : "", &found);
    bool readable = false;
    const std::vector<Section> sections =
        found ? load_profile(path, &readable) : std::vector<Section>();

    if (!section) {
        std::vector<std::string> names;
        for (size_t i = 1; i < sections.size(); ++i) names.push_back(sections[i].name);
        return copy_list(names, result, size);
    }
    const Section* chosen = nullptr;
    for (size_t i = 1; i < sections.size() && !chosen; ++i) {
        if (same_name(sections[i].name, section)) chosen = &sections[i];
    }
    if (!key) {
        std::vector<std::string> names;
        if (chosen) {
            // Windows lists name=value lines only: a bare word, or a zero byte closing the
            // file, is no key.
            for (const Entry& entry : chosen->entries) {
                if (entry.assigned) names.push_back(entry.key);
            }
        }
        return copy_list(names, result, size);
    }
    std::string value = fallback;
    bool from_file = false;
    if (chosen) {
        for (const Entry& entry : chosen->entries) {
            if (same_name(entry.key, key)) {
                value = unquote(entry.value);
                from_file = true;
                break;
            }
        }
    }
    const DWORD count = copy_result(value, result, size);
    if (standin::tracing()) {
        standin::emit("profile", {{"file", standin::ansi_field(file_name)},
                                  {"resolved", readable ? standin::host_field(path) : nullptr},
                                  {"section", standin::ansi_field(section)},
                                  {"key", standin::ansi_field(key)},
                                  {"value", standin::ansi_field(result)},
                                  {"from_file", from_file}});
    }
    return count;
}
