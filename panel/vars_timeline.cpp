// Reading the --vars timeline.
#include "panel/vars_timeline.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {

// Splits a CSV line into fields; a field in double quotes may hold commas ("" is a quote).
bool split_fields(const std::string& line, std::vector<std::string>& fields) {
    fields.clear();
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(trim_text(field));
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(trim_text(field));
    return !quoted;
}

bool looks_like_variable(const std::string& field) {
    return field.size() >= 2 && field[1] == ':' &&
           std::isalpha(static_cast<unsigned char>(field[0]));
}

bool parse_decimal(const std::string& text, double& value) {
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos)
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && std::isfinite(value);
}

}  // namespace

bool read_vars_timeline(const std::string& text, VarsTimeline& timeline, std::string& error) {
    timeline = VarsTimeline();
    if (text.size() > VARS_TIMELINE_SIZE_LIMIT) {
        error = "the file is larger than " + std::to_string(VARS_TIMELINE_SIZE_LIMIT) + " bytes";
        return false;
    }
    std::istringstream in(text);
    std::string line;
    int number = 0;
    bool header = false;
    std::vector<std::string> fields;
    while (std::getline(in, line)) {
        ++number;
        if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        const std::string trimmed = trim_text(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        };
        if (!split_fields(trimmed, fields)) return fail("a quote without its closing quote");
        if (!header) {
            header = true;
            // A spreadsheet set to a European locale saves its CSV with ';' between fields (and
            // ',' in numbers): the whole header is then one field.
            if (fields.size() == 1 && trimmed.find(';') != std::string::npos)
                return fail("the fields are separated by ';', as a spreadsheet in a European "
                            "locale saves CSV: cuebox reads ',' between fields and '.' in "
                            "numbers (time,A:GEAR POSITION,position then 1.5,1); save it with "
                            "',' as the list separator");
            if (!same_text(fields[0], "time"))
                return fail("the first column must be 'time' (seconds), not '" + fields[0] + "'");
            for (size_t i = 1; i < fields.size(); ++i) {
                VariableRef variable;
                std::string why;
                if (!looks_like_variable(fields[i]))
                    return fail("'" + fields[i] + "' is neither a variable (A:NAME) nor its unit");
                if (!parse_variable_ref(fields[i], variable, why))
                    return fail("'" + fields[i] + "': " + why);
                if (variable.kind != 'A' && variable.kind != 'L')
                    return fail("'" + fields[i] + "': only A: and L: variables can be set");
                if (variable.unit.empty() && i + 1 < fields.size() &&
                    !looks_like_variable(fields[i + 1]))
                    variable.unit = fields[++i];
                for (const VariableRef& other : timeline.columns) {
                    if (other.kind == variable.kind && other.key() == variable.key())
                        return fail(variable.text() + " has two columns");
                }
                timeline.columns.push_back(variable);
            }
            if (timeline.columns.empty()) return fail("no variable columns after 'time'");
            continue;
        }
        VarsRow row;
        row.line = number;
        if (!parse_decimal(fields[0], row.time) || row.time < 0)
            return fail("the time '" + fields[0] + "' is not a number of seconds");
        if (!timeline.rows.empty() && row.time < timeline.rows.back().time)
            return fail("the time goes back (" + fields[0] + " after " +
                        std::to_string(timeline.rows.back().time) + ")");
        if (fields.size() > timeline.columns.size() + 1)
            return fail(std::to_string(fields.size()) + " fields, but the header has " +
                        std::to_string(timeline.columns.size() + 1));
        row.given.assign(timeline.columns.size(), false);
        row.values.assign(timeline.columns.size(), 0.0);
        for (size_t i = 1; i < fields.size(); ++i) {
            if (fields[i].empty()) continue;
            if (!parse_decimal(fields[i], row.values[i - 1]))
                return fail("'" + fields[i] + "' for " + timeline.columns[i - 1].text() +
                            " is not a number");
            row.given[i - 1] = true;
        }
        timeline.rows.push_back(row);
    }
    if (!header) {
        error = "no header line (time,A:NAME,UNIT,...)";
        return false;
    }
    return true;
}
