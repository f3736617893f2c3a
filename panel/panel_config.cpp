// Reading panel.cfg.
#include "panel/panel_config.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "panel/variable_ref.h"
#include "platform/codepage.h"

namespace {

// "window" or "vcockpit" followed by digits: the sections whose gauges run.
bool gauge_section(const std::string& name) {
    const std::string lower = lower_text(name);
    for (const char* prefix : {"window", "vcockpit"}) {
        const std::string p = prefix;
        if (lower.size() > p.size() && lower.compare(0, p.size(), p) == 0 &&
            lower.find_first_not_of("0123456789", p.size()) == std::string::npos)
            return true;
    }
    return false;
}

bool gauge_key(const std::string& key, int& number) {
    const std::string lower = lower_text(key);
    if (lower.size() <= 5 || lower.size() > 8 || lower.compare(0, 5, "gauge") != 0 ||
        lower.find_first_not_of("0123456789", 5) != std::string::npos)
        return false;
    number = std::atoi(lower.c_str() + 5);
    return true;
}

bool is_number(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789+-.") != std::string::npos) return false;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return *end == '\0' && std::isfinite(value);
}

}  // namespace

std::string name_before_missing_comma(const std::string& gauge) {
    size_t digits = gauge.size();
    while (digits > 0 && gauge[digits - 1] >= '0' && gauge[digits - 1] <= '9') --digits;
    if (digits == gauge.size() || digits == 0 ||
        (gauge[digits - 1] != ' ' && gauge[digits - 1] != '\t'))
        return "";
    return trim_text(gauge.substr(0, digits));
}

std::string missing_comma_hint(const std::string& gauge) {
    const std::string name = name_before_missing_comma(gauge);
    if (name.empty()) return "";
    return "; is a comma missing after " + name +
           "? The gauge's name is read up to the first comma";
}

PanelConfig read_panel_config(const std::string& file_name, const std::string& bytes,
                              int code_page) {
    PanelConfig config;
    auto problem = [&](int line, const std::string& message) {
        config.problems.push_back(PanelMessage{file_name, line, message});
    };
    if (bytes.size() > PANEL_CONFIG_SIZE_LIMIT) {
        problem(0, "the file is larger than " + std::to_string(PANEL_CONFIG_SIZE_LIMIT) +
                       " bytes: not read");
        return config;
    }
    const std::string text = codepage::unicode_text(code_page, bytes, nullptr);
    std::string raw;
    size_t next = 0;
    int number = 0;
    enum { OUTSIDE, GAUGES, TITLES, IGNORED } where = OUTSIDE;
    std::vector<std::pair<std::string, std::string>> titles;  // [Window Titles]: key, title
    std::vector<std::string> seen_sections;
    std::string section;
    size_t section_start = 0;  // where the current section's gauges begin in config.gauges
    auto close_section = [&]() {
        std::stable_sort(
            config.gauges.begin() + static_cast<long>(section_start), config.gauges.end(),
            [](const PanelGaugeLine& a, const PanelGaugeLine& b) { return a.number < b.number; });
        section_start = config.gauges.size();
    };
    while (codepage::next_line(text, next, raw)) {
        ++number;
        const size_t comment = std::min(raw.find("//"), raw.find(';'));
        if (comment != std::string::npos) raw.erase(comment);
        const std::string line = trim_text(raw);
        if (line.empty()) continue;
        if (line[0] == '[') {
            close_section();
            const size_t close = line.find(']');
            if (close == std::string::npos) {
                problem(number,
                        "a section name without its ']': the lines up to the next "
                        "section are skipped");
                where = IGNORED;
                continue;
            }
            section = trim_text(line.substr(1, close - 1));
            where = gauge_section(section)                ? GAUGES
                    : same_text(section, "Window Titles") ? TITLES
                                                          : IGNORED;
            if (where == GAUGES) {
                for (const std::string& earlier : seen_sections) {
                    if (same_text(earlier, section)) {
                        problem(number, "[" + section +
                                            "] appears again: only the first counts, its gauges "
                                            "here are skipped");
                        where = IGNORED;
                    }
                }
                seen_sections.push_back(section);
                if (where == GAUGES)
                    config.windows.push_back(PanelWindow{section, "", "", "", 0, 0, number});
            }
            continue;
        }
        if (where == TITLES) {
            const size_t equals = line.find('=');
            if (equals != std::string::npos)
                titles.emplace_back(trim_text(line.substr(0, equals)),
                                    trim_text(line.substr(equals + 1)));
            continue;
        }
        if (where != GAUGES) continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            problem(number, "expected KEY=VALUE in [" + section + "], got '" + line + "'");
            continue;
        }
        int gauge_number = 0;
        const std::string key = trim_text(line.substr(0, equals));
        if (!gauge_key(key, gauge_number)) {
            // The window's background and design size; position, visible and the like are not
            // the preview's business.
            PanelWindow& window = config.windows.back();
            const std::string setting = trim_text(line.substr(equals + 1));
            if (same_text(key, "file")) {
                window.file = setting;
            } else if (same_text(key, "size_mm")) {
                const size_t comma = setting.find(',');
                const std::string width = trim_text(setting.substr(0, comma));
                const std::string height =
                    comma == std::string::npos ? "" : trim_text(setting.substr(comma + 1));
                if (is_number(width)) window.width = std::max(0.0, std::atof(width.c_str()));
                if (is_number(height)) window.height = std::max(0.0, std::atof(height.c_str()));
            }
            continue;
        }
        const std::string value = line.substr(equals + 1);
        auto malformed = [&](const std::string& why) {
            problem(number,
                    key + ": " + why + " (expected FILE!GAUGE, x, y[, w, h][, parameters])");
        };
        PanelGaugeLine gauge;
        gauge.section = section;
        gauge.number = gauge_number;
        gauge.line = number;
        // Fields up to the parameter string, which is the rest of the line and may hold commas.
        size_t at = value.find(',');
        const std::string name = trim_text(value.substr(0, at));
        const size_t bang = name.find('!');
        if (bang == std::string::npos) {
            malformed("'" + name + "' names no gauge: a '!' must stand between file and gauge");
            continue;
        }
        gauge.file = trim_text(name.substr(0, bang));
        gauge.gauge = trim_text(name.substr(bang + 1));
        if (gauge.file.empty() || gauge.gauge.empty()) {
            malformed("'" + name + "' lacks the file or the gauge name");
            continue;
        }
        int numbers = 0;
        while (at != std::string::npos) {
            const size_t next = value.find(',', at + 1);
            const std::string field = trim_text(value.substr(
                at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
            if (numbers < 4 && is_number(field)) {
                double* place[] = {&gauge.x, &gauge.y, &gauge.w, &gauge.h};
                *place[numbers] = std::atof(field.c_str());
                ++numbers;
                at = next;
                continue;
            }
            if (numbers < 2) break;
            gauge.parameters = trim_text(value.substr(at + 1));
            break;
        }
        if (numbers < 2) {
            malformed("the position x, y is missing or not a number" +
                      missing_comma_hint(gauge.gauge));
            continue;
        }
        bool duplicate = false;
        for (size_t i = section_start; i < config.gauges.size(); ++i) {
            if (config.gauges[i].number == gauge_number) {
                problem(number, key + " appears again in [" + section + "] (first at line " +
                                    std::to_string(config.gauges[i].line) +
                                    "): only the first counts");
                duplicate = true;
            }
        }
        if (!duplicate) config.gauges.push_back(gauge);
    }
    close_section();
    for (PanelWindow& window : config.windows) {
        for (const auto& title : titles) {
            if (same_text(title.first, window.section)) window.title = title.second;
        }
    }
    return config;
}
