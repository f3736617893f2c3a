// The check's reading of INI text, line by line, as Windows reads a profile.
#include "tools/ini_analysis.h"

#include <cstdio>
#include <utility>

#include "panel/text.h"
#include "tools/cli.h"

std::string two_digits(int slot) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", slot);
    return text;
}

namespace {

// The INI read of a slot's path gives at most this many characters; the variable name's read
// at most VARIABLE_NAME_LIMIT - 1.
constexpr size_t SLOT_VALUE_CHARACTERS = SLOT_VALUE_LIMIT - 1;
constexpr size_t NAME_CHARACTERS = VARIABLE_NAME_LIMIT - 1;

// A name or a value as Windows keeps it once read: a zero byte inside ends it.
std::string name_or_value(const std::string& text) {
    return trim_text(text.substr(0, text.find('\0')));
}

std::string unquote(const std::string& value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

bool all_digits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// A key under [Sounds]: which slot it gives a path to, or -1 with the reason in `why`.
int sound_key_slot(const std::string& key, std::string& why) {
    const std::string name = lower_text(key);
    if (name.compare(0, 5, "sound") != 0 || !all_digits(name.substr(5))) {
        if (same_text(key, "LVar")) {
            why = "LVar belongs in [Config]";
        } else {
            why = "the module reads only Sound00 to Sound99 here";
        }
        return -1;
    }
    const std::string digits = name.substr(5);
    if (digits.size() == 2) return std::stoi(digits);
    const long number = digits.size() > 6 ? 1000000 : std::stol(digits);
    if (number >= SLOT_COUNT) {
        why = "there are only slots 00 to 99";
    } else {
        why =
            "slot keys have exactly two digits: write Sound" + two_digits(static_cast<int>(number));
    }
    return -1;
}

}  // namespace

codepage::FileEncoding analyse_ini_text(const std::string& bytes, IniLines& ini,
                                        Findings& findings) {
    codepage::FileEncoding encoding;
    const std::string text = codepage::ansi_profile_text(tool_code_page(), bytes, &encoding);
    const bool ansi_file = encoding == codepage::FileEncoding::ANSI;
    std::string raw;
    int number = 0;
    size_t next = 0;
    // Windows reads only the first section of a name and the first key of a name in it.
    enum Where { NOWHERE, CONFIG, SOUNDS, IGNORED } where = NOWHERE;
    int config_line = 0, sounds_line = 0;
    std::string ignored_reason;
    std::vector<std::pair<std::string, int>> config_keys, sound_keys;
    while (codepage::next_line(text, next, raw)) {
        ++number;
        const std::string line = trim_text(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            const std::string name = name_or_value(
                close == std::string::npos ? line.substr(1) : line.substr(1, close - 1));
            const bool config = same_text(name, "Config");
            const bool sounds = same_text(name, "Sounds");
            if ((config && config_line) || (sounds && sounds_line)) {
                const int first = config ? config_line : sounds_line;
                findings.problem("duplicate_section", -1, number,
                                 "[" + shown(name) + "] appears again (first at line " +
                                     std::to_string(first) +
                                     "): only the first counts, the keys under this one are "
                                     "never read");
                where = IGNORED;
            } else if (config || sounds) {
                (config ? config_line : sounds_line) = number;
                where = config ? CONFIG : SOUNDS;
            } else {
                std::string hint = "the module reads only [Config] and [Sounds]";
                if (same_text(name, "Sound")) hint = "did you mean [Sounds]?";
                findings.problem("unknown_section", -1, number,
                                 "[" + shown(name) + "] is never read: " + hint);
                where = IGNORED;
            }
            continue;
        }
        const size_t equals = line.find('=');
        const std::string key = name_or_value(line.substr(0, equals));
        const std::string value =
            equals == std::string::npos ? "" : unquote(name_or_value(line.substr(equals + 1)));
        if (where == IGNORED) continue;  // already reported with its section
        if (where == NOWHERE) {
            findings.problem("unknown_key", -1, number,
                             "\"" + shown(key) + "\" stands before any section and is never read");
            continue;
        }
        if (equals == std::string::npos) {
            findings.problem("unknown_key", -1, number,
                             "\"" + shown(key) + "\" has no '=' and is never read as a key");
            continue;
        }
        auto& seen = where == CONFIG ? config_keys : sound_keys;
        bool duplicate = false;
        for (const auto& earlier : seen) {
            if (same_text(earlier.first, key)) {
                std::string unused;
                const int slot = where == SOUNDS ? sound_key_slot(key, unused) : -1;
                findings.problem("duplicate_key", slot, number,
                                 shown(key) + " appears again (first at line " +
                                     std::to_string(earlier.second) + "): only the first counts");
                duplicate = true;
                break;
            }
        }
        if (duplicate) continue;
        seen.emplace_back(key, number);
        if (where == CONFIG) {
            if (!same_text(key, "LVar")) {
                std::string why = "the module reads only LVar here";
                std::string unused;
                if (sound_key_slot(key, unused) >= 0) why = shown(key) + " belongs in [Sounds]";
                findings.problem("unknown_key", -1, number,
                                 shown(key) + " in [Config] is never read: " + why);
                continue;
            }
            ini.variable_line = number;
            if (value.size() > NAME_CHARACTERS) {
                findings.problem("value_cut", -1, number,
                                 "the LVar value has " + std::to_string(value.size()) +
                                     " characters: the name is cut to the first " +
                                     std::to_string(NAME_CHARACTERS));
            }
            continue;
        }
        std::string why;
        const int slot = sound_key_slot(key, why);
        if (slot < 0) {
            findings.problem("unknown_key", -1, number,
                             shown(key) + " in [Sounds] is never read: " + why);
            continue;
        }
        if (slot >= SLOT_COUNT) continue;
        ini.slot_lines[slot] = number;
        if (ansi_file && codepage::has_utf8_sequences(value)) {
            findings.warning("utf8_without_bom", slot, number,
                             "the file is saved as UTF-8 without a byte order mark: Windows "
                             "reads " +
                                 shown(value) +
                                 " (it reads such a file as ANSI); "
                                 "save the file as ANSI or with a BOM");
        }
        if (value.empty()) {
            findings.notes.push_back("line " + std::to_string(number) + ": " + key +
                                     " is empty, so slot " + two_digits(slot) +
                                     " uses its default file");
        } else if (value.size() > SLOT_VALUE_CHARACTERS) {
            findings.problem("value_cut", slot, number,
                             shown(key) + " has " + std::to_string(value.size()) +
                                 " characters: the module reads only the first " +
                                 std::to_string(SLOT_VALUE_CHARACTERS) +
                                 ", so the path it uses names another file");
        }
    }
    return encoding;
}
