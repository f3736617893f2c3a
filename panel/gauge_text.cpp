// Texts with scripts in them: cut into pieces once, formatted at each update.
#include "panel/gauge_text.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

int lines_in(const std::string& text, size_t from, size_t to) {
    int lines = 0;
    for (size_t i = from; i < to && i < text.size(); ++i) lines += text[i] == '\n';
    return lines;
}

// "%{if}" and its kin at `at`: the kind, with `length` set; LITERAL when there is none.
TextPiece::Kind control_at(const std::string& text, size_t at, size_t& length) {
    static const struct {
        const char* word;
        TextPiece::Kind kind;
    } words[] = {
        {"%{if}", TextPiece::IF}, {"%{else}", TextPiece::ELSE}, {"%{end}", TextPiece::END}};
    for (const auto& word : words) {
        length = std::strlen(word.word);
        if (text.compare(at, length, word.word) == 0) return word.kind;
    }
    return TextPiece::LITERAL;
}

}  // namespace

bool has_gauge_script(const std::string& text) {
    return text.find("%(") != std::string::npos || text.find("%{") != std::string::npos;
}

std::vector<TextPiece> parse_gauge_text(const std::string& text, int line, const std::string& place,
                                        std::vector<GaugeScriptText>& scripts) {
    std::vector<TextPiece> pieces;
    int number = 0;
    auto literal = [&](const std::string& part) {
        if (part.empty()) return;
        if (!pieces.empty() && pieces.back().kind == TextPiece::LITERAL) {
            pieces.back().text += part;
        } else {
            TextPiece piece;
            piece.text = part;
            pieces.push_back(piece);
        }
    };
    size_t at = 0;
    while (at < text.size()) {
        const size_t percent = text.find('%', at);
        if (percent == std::string::npos) {
            literal(text.substr(at));
            break;
        }
        literal(text.substr(at, percent - at));
        size_t length = 0;
        const TextPiece::Kind control = control_at(text, percent, length);
        if (control != TextPiece::LITERAL) {
            TextPiece piece;
            piece.kind = control;
            pieces.push_back(piece);
            at = percent + length;
            continue;
        }
        const size_t close =
            text.compare(percent, 2, "%(") == 0 ? text.find(")%", percent + 2) : std::string::npos;
        if (close == std::string::npos) {
            literal("%");
            at = percent + 1;
            continue;
        }
        GaugeScriptText script;
        script.place = place + " " + std::to_string(++number);
        script.text = text.substr(percent + 2, close - percent - 2);
        script.line = line + lines_in(text, 0, percent + 2);
        scripts.push_back(script);
        TextPiece piece;
        piece.kind = TextPiece::VALUE;
        piece.script = static_cast<int>(scripts.size()) - 1;
        at = close + 2;
        // "!3d!" right after the script is its format; "{if}" right after it (the '%' of the
        // "%{if}" being the script's closing one) is its condition.
        if (at < text.size() && text[at] == '!') {
            const size_t end = text.find('!', at + 1);
            if (end != std::string::npos) {
                piece.text = text.substr(at + 1, end - at - 1);
                at = end + 1;
            }
        }
        pieces.push_back(piece);
        if (text.compare(at, 4, "{if}") == 0) {
            TextPiece condition;
            condition.kind = TextPiece::IF;
            pieces.push_back(condition);
            at += 4;
        }
    }
    return pieces;
}

bool format_gauge_value(const std::string& format, double number, const std::string* text,
                        std::string& out) {
    char buffer[128];
    auto general = [&]() {
        std::snprintf(buffer, sizeof buffer, "%g", number);
        out += buffer;
    };
    if (format.empty()) {
        if (text) {
            out += *text;
        } else {
            general();
        }
        return true;
    }
    // Flags, a width and a precision of at most two digits each, and one conversion.
    size_t at = 0;
    while (at < format.size() && std::strchr("-+ 0#", format[at])) ++at;
    const size_t width_start = at;
    while (at < format.size() && std::isdigit(static_cast<unsigned char>(format[at]))) ++at;
    bool ok = at - width_start <= 2;
    if (at < format.size() && format[at] == '.') {
        const size_t precision_start = ++at;
        while (at < format.size() && std::isdigit(static_cast<unsigned char>(format[at]))) ++at;
        ok = ok && at - precision_start <= 2;
    }
    const char conversion = at + 1 == format.size() ? format[at] : '\0';
    if (!ok || !conversion || !std::strchr("dixXufFeEgGsc", conversion)) {
        general();
        return false;
    }
    // Flags that mean nothing for a conversion are dropped, as printf leaves them undefined.
    std::string printf_format = "%";
    for (size_t i = 0; i < width_start; ++i) {
        const char flag = format[i];
        const bool text_like = conversion == 's' || conversion == 'c';
        if (text_like && flag != '-') continue;
        if (flag == '#' && std::strchr("dicu", conversion)) continue;
        if ((flag == '+' || flag == ' ') && std::strchr("xXu", conversion)) continue;
        printf_format += flag;
    }
    printf_format += format.substr(width_start);
    if (std::strchr("dic", conversion)) {
        const double whole = std::isfinite(number) ? std::trunc(number) : 0;
        const long long value = whole > 9.2e18    ? 9200000000000000000LL
                                : whole < -9.2e18 ? -9200000000000000000LL
                                                  : static_cast<long long>(whole);
        const std::string wide =
            printf_format.substr(0, printf_format.size() - 1) + (conversion == 'c' ? "c" : "lld");
        if (conversion == 'c') {
            std::snprintf(buffer, sizeof buffer, wide.c_str(), static_cast<int>(value & 0xff));
        } else {
            std::snprintf(buffer, sizeof buffer, wide.c_str(), value);
        }
    } else if (std::strchr("xXu", conversion)) {
        const double whole = std::isfinite(number) ? std::trunc(std::fabs(number)) : 0;
        const unsigned long long value =
            whole > 1.8e19 ? 0 : static_cast<unsigned long long>(whole);
        const std::string wide = printf_format.substr(0, printf_format.size() - 1) + "ll" + conversion;
        std::snprintf(buffer, sizeof buffer, wide.c_str(), value);
    } else if (conversion == 's') {
        std::string shown;
        if (text) {
            shown = *text;
        } else {
            std::snprintf(buffer, sizeof buffer, "%g", number);
            shown = buffer;
        }
        std::snprintf(buffer, sizeof buffer, printf_format.c_str(), shown.c_str());
    } else {
        std::snprintf(buffer, sizeof buffer, printf_format.c_str(), number);
    }
    out += buffer;
    return true;
}
