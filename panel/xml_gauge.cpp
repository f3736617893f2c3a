// Reading XML gauges: their scripts, mouse areas and macros.
#include "panel/xml_gauge.h"

#include <tinyxml2.h>

#include <cctype>
#include <map>

#include "panel/variable_ref.h"

namespace {

using tinyxml2::XMLElement;
using tinyxml2::XMLNode;

// Tag names are taken in any letter case, as authors write them.
bool is(const XMLElement* element, const char* tag) {
    return same_text(element->Name(), tag);
}

// All the text of an element, over comments and CDATA sections.
std::string text_of(const XMLElement* element) {
    std::string text;
    for (const XMLNode* child = element->FirstChild(); child; child = child->NextSibling()) {
        if (child->ToText()) text += child->Value();
    }
    return text;
}

bool name_character(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

struct Macros {
    std::map<std::string, std::string> bodies;  // by lower-case name

    // Replaces each @name by its macro's text, macros within macros too. An unknown @name
    // stays, for the script compiler to name.
    bool expand(const std::string& text, std::string& out, std::string& error,
                int depth = 0) const {
        if (depth > MACRO_DEPTH_LIMIT) {
            error = "macros within macros go deeper than " + std::to_string(MACRO_DEPTH_LIMIT) +
                    " (a macro that uses itself?)";
            return false;
        }
        for (size_t at = 0; at < text.size();) {
            if (text[at] != '@') {
                out += text[at++];
            } else {
                size_t end = at + 1;
                while (end < text.size() && name_character(text[end])) ++end;
                const auto found = bodies.find(lower_text(text.substr(at + 1, end - at - 1)));
                if (found == bodies.end()) {
                    out.append(text, at, end - at);
                } else if (!expand(found->second, out, error, depth + 1)) {
                    return false;
                }
                at = end;
            }
            if (out.size() > MACRO_TEXT_LIMIT) {
                error = "a script grows beyond " + std::to_string(MACRO_TEXT_LIMIT) +
                        " characters with its macros";
                return false;
            }
        }
        return true;
    }
};

struct Reader {
    const Macros& macros;
    XmlGauge& gauge;
    std::string& error;
    int elements = 0;

    bool script(const XMLElement* element, const std::string& place, GaugeScriptText& out) {
        out.place = place;
        out.line = element->GetLineNum();
        out.text.clear();
        if (!macros.expand(text_of(element), out.text, error)) {
            error = "line " + std::to_string(out.line) + ": " + place + ": " + error;
            return false;
        }
        return true;
    }

    // An element's value, then the elements inside it, in file order.
    bool element(const XMLElement* node) {
        const std::string place = "Element " + std::to_string(++elements);
        for (const XMLElement* child = node->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            if (is(child, "Select")) {
                for (const XMLElement* value = child->FirstChildElement(); value;
                     value = value->NextSiblingElement()) {
                    if (!is(value, "Value")) continue;
                    gauge.every_update.emplace_back();
                    if (!script(value, place + " Value", gauge.every_update.back())) return false;
                }
            } else if (is(child, "Element")) {
                if (!element(child)) return false;
            }
        }
        return true;
    }

    bool area(const XMLElement* node, double left = 0, double top = 0) {
        GaugeArea found;
        found.index = static_cast<int>(gauge.areas.size()) + 1;
        found.left = left + node->DoubleAttribute("Left", 0);
        found.top = top + node->DoubleAttribute("Top", 0);
        found.width = node->DoubleAttribute("Width", 0);
        found.height = node->DoubleAttribute("Height", 0);
        const std::string place = "Area " + std::to_string(found.index);
        std::vector<const XMLElement*> inner;
        for (const XMLElement* child = node->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            if (is(child, "Tooltip") && found.tooltip.empty()) {
                found.tooltip = trim_text(text_of(child));
            } else if (is(child, "Cursor") && found.cursor.empty()) {
                const char* type = child->Attribute("Type");
                found.cursor = type ? type : "";
            } else if (is(child, "Click") && !found.has_click) {
                found.has_click = true;
                if (!script(child, place + " Click", found.click)) return false;
                // <Click Event="NAME"/> sends the event, as (>K:NAME) would.
                const char* event = child->Attribute("Event");
                if (trim_text(found.click.text).empty() && event)
                    found.click.text = std::string("(>K:") + event + ")";
            } else if (is(child, "Area")) {
                inner.push_back(child);
            }
        }
        gauge.areas.push_back(found);
        for (const XMLElement* child : inner) {
            if (!area(child, found.left, found.top)) return false;
        }
        return true;
    }
};

void collect_macros(const XMLElement* node, Macros& macros) {
    for (const XMLElement* child = node->FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        if (is(child, "Macro")) {
            const char* name = child->Attribute("Name");
            if (name) macros.bodies.emplace(lower_text(name), text_of(child));
        } else {
            collect_macros(child, macros);
        }
    }
}

// What to do about a parse error on `line` of `text` when the line holds a '<' that can begin
// no tag, as a script's comparison does: XML reads every '<' as the start of an element.
std::string raw_less_than_hint(const std::string& text, int line) {
    size_t start = 0;
    for (int n = 1; n < line && start != std::string::npos; ++n) {
        start = text.find('\n', start);
        if (start != std::string::npos) ++start;
    }
    if (start == std::string::npos) return "";
    const std::string row = text.substr(start, text.find('\n', start) - start);
    for (size_t at = row.find('<'); at != std::string::npos; at = row.find('<', at + 1)) {
        const char next = at + 1 < row.size() ? row[at + 1] : ' ';
        const bool tag = std::isalpha(static_cast<unsigned char>(next)) || next == '/' ||
                         next == '!' || next == '?' || next == '_';
        if (!tag)
            return ": a '<' in a script must be written &lt; (and '&' as &amp;), or the script "
                   "put inside <![CDATA[ ... ]]>";
    }
    return "";
}

}  // namespace

bool read_xml_gauge(const std::string& text, XmlGauge& gauge, std::string& error) {
    gauge = XmlGauge();
    if (text.size() > XML_GAUGE_SIZE_LIMIT) {
        error = "the gauge file is larger than " + std::to_string(XML_GAUGE_SIZE_LIMIT) + " bytes";
        return false;
    }
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
        error = "line " + std::to_string(document.ErrorLineNum()) + ": not well-formed XML (" +
                document.ErrorName() + ")" + raw_less_than_hint(text, document.ErrorLineNum());
        return false;
    }
    const XMLElement* root = document.RootElement();
    if (!root || !is(root, "Gauge")) {
        const std::string name = root ? root->Name() : "nothing";
        error = "line " + std::to_string(root ? root->GetLineNum() : 1) + ": the file holds <" +
                name + ">, not a <Gauge> of the 2004 format" +
                (same_text(name, "SimBase.Document") ? " (newer gauge formats are not read)" : "");
        return false;
    }
    if (const char* name = root->Attribute("Name")) gauge.name = name;
    Macros macros;
    collect_macros(root, macros);
    Reader reader{macros, gauge, error};
    for (const XMLElement* child = root->FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        if (is(child, "Update")) {
            // The update runs first, before the values of the elements.
            gauge.every_update.emplace_back();
            if (!reader.script(child, "Update", gauge.every_update.back())) return false;
        }
    }
    for (const XMLElement* child = root->FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        if (is(child, "Element") && !reader.element(child)) return false;
        if (is(child, "Mouse")) {
            for (const XMLElement* area = child->FirstChildElement(); area;
                 area = area->NextSiblingElement()) {
                if (is(area, "Area") && !reader.area(area)) return false;
            }
        }
    }
    return true;
}
