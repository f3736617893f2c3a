// Parsing and comparing variable references.
#include "panel/variable_ref.h"

#include <cctype>
#include <cstdlib>

std::string VariableRef::key() const {
    std::string text = lower_text(name);
    if (index > 0) text += ":" + std::to_string(index);
    return text;
}

std::string VariableRef::text() const {
    std::string out(1, kind);
    // A key event of two parameters is written K:2:NAME.
    if (kind == 'K' && index > 0) out += ":" + std::to_string(index);
    out += ":" + name;
    if (kind == 'K') return out;
    if (index > 0) out += ":" + std::to_string(index);
    if (!unit.empty()) out += "," + unit;
    return out;
}

bool parse_variable_ref(const std::string& text, VariableRef& ref, std::string& why) {
    const std::string inside = trim_text(text);
    if (inside.size() < 2 || inside[1] != ':' ||
        !std::isalpha(static_cast<unsigned char>(inside[0]))) {
        why = "expected a kind letter and a colon, as in L:NAME";
        return false;
    }
    ref = VariableRef();
    ref.kind = static_cast<char>(std::toupper(static_cast<unsigned char>(inside[0])));
    if (std::string("ALGPEK").find(ref.kind) == std::string::npos) {
        // Kinds the simulator has but a preview cannot stand in for: said as such, because
        // the author's script is not wrong for using them.
        const char* what = "";
        switch (ref.kind) {
            case 'M':
                what = " (the mouse)";
                break;
            case 'C':
                what = " (other modules' variables, such as the GPS)";
                break;
            case 'R':
                what = " (resource strings)";
                break;
            default:
                break;
        }
        why = std::string("the preview does not model ") + ref.kind + ": variables" + what +
              "; it runs A:, L:, G:, P:, E: and K:";
        return false;
    }
    const size_t comma = inside.find(',');
    ref.name =
        trim_text(inside.substr(2, comma == std::string::npos ? std::string::npos : comma - 2));
    if (comma != std::string::npos) ref.unit = trim_text(inside.substr(comma + 1));
    if (ref.kind == 'A') {
        // An engine or other index follows the name: GENERAL ENG RPM:1.
        const size_t colon = ref.name.rfind(':');
        if (colon != std::string::npos && colon + 1 < ref.name.size() &&
            ref.name.size() - colon <= 4 &&
            ref.name.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
            ref.index = std::atoi(ref.name.c_str() + colon + 1);
            ref.name = trim_text(ref.name.substr(0, colon));
        }
    }
    if (ref.kind == 'K' && ref.name.size() > 2 &&
        std::isdigit(static_cast<unsigned char>(ref.name[0])) && ref.name[1] == ':') {
        // (>K:2:NAME), a newer simulator's key event of two parameters.
        if (ref.name[0] != '2') {
            why = std::string("the preview does not model key events of ") + ref.name[0] +
                  " parameters; it sends those of one and two";
            return false;
        }
        ref.index = 2;
        ref.name = trim_text(ref.name.substr(2));
    }
    if (ref.name.empty()) {
        why = "the variable has no name";
        return false;
    }
    if (ref.name.find_first_of("()") != std::string::npos) {
        why = "a variable name cannot hold parentheses";
        return false;
    }
    return true;
}
