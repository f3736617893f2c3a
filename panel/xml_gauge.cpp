// Reading XML gauges: their scripts, mouse areas and macros.
#include "panel/xml_gauge.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>

#include "panel/gauge_text.h"
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

double number_attribute(const XMLElement* node, const char* name, double otherwise = 0) {
    double value = otherwise;
    for (const tinyxml2::XMLAttribute* a = node->FirstAttribute(); a; a = a->Next()) {
        if (same_text(a->Name(), name)) {
            if (a->QueryDoubleValue(&value) != tinyxml2::XML_SUCCESS || !std::isfinite(value))
                value = otherwise;
            return value;
        }
    }
    return value;
}

bool has_attribute(const XMLElement* node, const char* name) {
    for (const tinyxml2::XMLAttribute* a = node->FirstAttribute(); a; a = a->Next()) {
        if (same_text(a->Name(), name)) return true;
    }
    return false;
}

// Attributes in any letter case, as tags are.
std::string text_attribute(const XMLElement* node, const char* name, const char* otherwise = "") {
    for (const tinyxml2::XMLAttribute* a = node->FirstAttribute(); a; a = a->Next()) {
        if (same_text(a->Name(), name)) return trim_text(a->Value());
    }
    return otherwise;
}

bool yes_attribute(const XMLElement* node, const char* name) {
    const std::string value = text_attribute(node, name);
    return same_text(value, "yes") || same_text(value, "true") || value == "1";
}

// Tags the preview passes over without a word: they change nothing that it shows.
bool silent_tag(const XMLElement* node) {
    return is(node, "Comment") || is(node, "Help") || is(node, "Macro");
}

struct Reader {
    const Macros& macros;
    XmlGauge& gauge;

    void skip(const XMLElement* node) {
        if (silent_tag(node)) return;
        const std::string tag = std::string("<") + node->Name() + ">";
        for (const std::string& seen : gauge.skipped) {
            if (same_text(seen.substr(0, seen.find(' ')), tag)) return;
        }
        gauge.skipped.push_back(tag + " (line " + std::to_string(node->GetLineNum()) + ")");
    }

    int script(const XMLElement* node, const std::string& place) {
        GaugeScriptText out;
        out.place = place;
        out.line = node->GetLineNum();
        std::string error;
        if (!macros.expand(text_of(node), out.text, error)) {
            out.error = error;
            out.text.clear();
        }
        gauge.scripts.push_back(out);
        return static_cast<int>(gauge.scripts.size()) - 1;
    }

    // A text with scripts in it, its macros expanded first.
    std::vector<TextPiece> text(const XMLElement* node, const std::string& place) {
        std::string expanded, error;
        if (!macros.expand(text_of(node), expanded, error)) {
            GaugeScriptText broken;
            broken.place = place;
            broken.line = node->GetLineNum();
            broken.error = error;
            gauge.scripts.push_back(broken);
            return {};
        }
        return parse_gauge_text(expanded, node->GetLineNum(), place, gauge.scripts);
    }

    int image(const XMLElement* node) {
        GaugeImage image;
        image.name = text_attribute(node, "Name");
        image.line = node->GetLineNum();
        image.bright = yes_attribute(node, "Bright");
        image.points_to = text_attribute(node, "PointsTo", "East");
        // ImageSizes="W,H[,W,H...]": the first pair stands in until the bitmap is read.
        const std::string sizes = text_attribute(node, "ImageSizes");
        if (!sizes.empty()) {
            image.width = std::max(0, std::atoi(sizes.c_str()));
            const size_t comma = sizes.find(',');
            if (comma != std::string::npos)
                image.height = std::max(0, std::atoi(sizes.c_str() + comma + 1));
        }
        for (const XMLElement* child = node->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            if (is(child, "Axis")) {
                image.axis_x = number_attribute(child, "X");
                image.axis_y = number_attribute(child, "Y");
            } else {
                skip(child);
            }
        }
        gauge.geometry.images.push_back(image);
        return static_cast<int>(gauge.geometry.images.size()) - 1;
    }

    ValueRange range(const XMLElement* value) {
        ValueRange out;
        out.has_minimum = has_attribute(value, "Minimum");
        out.has_maximum = has_attribute(value, "Maximum");
        out.minimum = number_attribute(value, "Minimum");
        out.maximum = number_attribute(value, "Maximum");
        return out;
    }

    void failures(const XMLElement* node, ElementCode& code) {
        for (const XMLElement* child = node->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            code.failures.push_back(child->Name());
        }
    }

    // A <Shift> or <Rotate>; a <Rotate>'s <Axis> goes to the element's image.
    void motion(const XMLElement* node, const std::string& place, GaugeMotion& out,
                ElementCode& code, double* axis) {
        out.present = true;
        for (const XMLElement* child = node->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            if (is(child, "Value")) {
                if (out.value >= 0) continue;
                out.value = script(child, place);
                out.range = range(child);
            } else if (is(child, "Scale") && !axis) {
                out.scale_x = number_attribute(child, "X");
                out.scale_y = number_attribute(child, "Y");
            } else if (is(child, "Nonlinearity")) {
                for (const XMLElement* item = child->FirstChildElement(); item;
                     item = item->NextSiblingElement()) {
                    if (!is(item, "Item")) {
                        skip(item);
                        continue;
                    }
                    NonlinearityItem read;
                    read.value = number_attribute(item, "Value");
                    read.x = number_attribute(item, "X");
                    read.y = number_attribute(item, "Y");
                    read.has_degrees = has_attribute(item, "Degrees");
                    read.degrees = number_attribute(item, "Degrees");
                    out.nonlinearity.push_back(read);
                }
            } else if (is(child, "Delay")) {
                out.delay = std::fabs(
                    number_attribute(child, axis ? "DegreesPerSecond" : "PixelsPerSecond"));
            } else if (is(child, "Failures")) {
                failures(child, code);
            } else if (is(child, "Axis") && axis) {
                axis[0] = number_attribute(child, "X");
                axis[1] = number_attribute(child, "Y");
                axis[2] = 1;
            } else {
                skip(child);
            }
        }
    }

    void text_box(const XMLElement* node, const std::string& place, ElementGeometry& geometry,
                  ElementCode& code) {
        geometry.has_text = true;
        GaugeTextBox& box = geometry.text;
        box.width = number_attribute(node, "X");
        box.height = number_attribute(node, "Y");
        // A Length past what any box shows is cut to that, so that a mistyped one (the fuzzer
        // found 3e47) cannot overflow the count; max before min also turns NaN into 0.
        constexpr double LONGEST_BOX = 4096;
        box.length = static_cast<int>(
            std::min(std::max(0.0, number_attribute(node, "Length")), LONGEST_BOX));
        box.font = text_attribute(node, "Font");
        box.color = text_attribute(node, "Color");
        box.background_color = text_attribute(node, "BackgroundColor");
        box.adjust = text_attribute(node, "Adjust", "Left");
        box.vertical_adjust = text_attribute(node, "VerticalAdjust", "Top");
        box.bright = yes_attribute(node, "Bright");
        bool read = false;
        for (const XMLElement* child = node->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            if (is(child, "String") && !read) {
                code.text = text(child, place + " String");
                read = true;
            } else if (is(child, "Failures")) {
                failures(child, code);
            } else {
                skip(child);
            }
        }
    }

    // An element's scripts and geometry, then the elements inside it, in file order.
    void element(const XMLElement* node, int parent) {
        const int index = static_cast<int>(gauge.geometry.elements.size()) + 1;
        const std::string place = "Element " + std::to_string(index);
        gauge.geometry.elements.emplace_back();
        gauge.elements.emplace_back();
        ElementGeometry geometry;
        geometry.index = index;
        geometry.parent = parent;
        geometry.line = node->GetLineNum();
        ElementCode code;
        double axis[3] = {0, 0, 0};  // a <Rotate>'s <Axis>: x, y, and whether it was given
        std::vector<const XMLElement*> inner;
        for (const XMLElement* child = node->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            if (is(child, "Position")) {
                geometry.x = number_attribute(child, "X");
                geometry.y = number_attribute(child, "Y");
            } else if (is(child, "Image")) {
                if (geometry.image < 0) geometry.image = image(child);
            } else if (is(child, "Visible")) {
                if (code.visible < 0) code.visible = script(child, place + " Visible");
            } else if (is(child, "Select")) {
                for (const XMLElement* part = child->FirstChildElement(); part;
                     part = part->NextSiblingElement()) {
                    if (is(part, "Value")) {
                        if (code.select >= 0) continue;
                        code.select = script(part, place + " Value");
                        code.select_range = range(part);
                    } else if (is(part, "Case")) {
                        GaugeCase chosen;
                        chosen.value = number_attribute(part, "Value");
                        chosen.line = part->GetLineNum();
                        for (const XMLElement* inside = part->FirstChildElement(); inside;
                             inside = inside->NextSiblingElement()) {
                            if (is(inside, "Image") && chosen.image < 0) {
                                chosen.image = image(inside);
                            } else {
                                skip(inside);
                            }
                        }
                        geometry.cases.push_back(chosen);
                    } else if (is(part, "Failures")) {
                        failures(part, code);
                    } else {
                        skip(part);
                    }
                }
            } else if (is(child, "Shift")) {
                if (!code.shift.present) motion(child, place + " Shift", code.shift, code, nullptr);
            } else if (is(child, "Rotate")) {
                if (!code.rotate.present) motion(child, place + " Rotate", code.rotate, code, axis);
            } else if (is(child, "Text")) {
                if (!geometry.has_text) text_box(child, place, geometry, code);
            } else if (is(child, "Failures")) {
                failures(child, code);
            } else if (is(child, "Element")) {
                inner.push_back(child);
            } else {
                skip(child);
            }
        }
        if (axis[2] != 0 && geometry.image >= 0) {
            gauge.geometry.images[geometry.image].axis_x = axis[0];
            gauge.geometry.images[geometry.image].axis_y = axis[1];
        }
        gauge.geometry.elements[index - 1] = geometry;
        gauge.elements[index - 1] = code;
        for (const XMLElement* child : inner) element(child, index);
    }

    // An <Area>, or the <Mouse> itself when it has a <Click> of its own (the whole gauge).
    void area(const XMLElement* node, int parent) {
        GaugeArea found;
        found.index = static_cast<int>(gauge.areas.size()) + 1;
        found.parent = parent;
        const bool mouse = is(node, "Mouse");
        const double parent_left = parent > 0 ? gauge.areas[parent - 1].left : 0;
        const double parent_top = parent > 0 ? gauge.areas[parent - 1].top : 0;
        found.left = number_attribute(node, "Left");
        found.top = number_attribute(node, "Top");
        found.width = number_attribute(node, "Width");
        found.height = number_attribute(node, "Height");
        if (!has_attribute(node, "Width") && has_attribute(node, "Right"))
            found.width = std::max(0.0, number_attribute(node, "Right") - found.left);
        if (!has_attribute(node, "Height") && has_attribute(node, "Bottom"))
            found.height = std::max(0.0, number_attribute(node, "Bottom") - found.top);
        found.left += parent_left;
        found.top += parent_top;
        AreaGeometry geometry;
        geometry.index = found.index;
        geometry.line = node->GetLineNum();
        const std::string place = mouse ? "Mouse" : "Area " + std::to_string(found.index);
        std::vector<const XMLElement*> inner;
        gauge.areas.emplace_back();
        gauge.geometry.areas.emplace_back();
        for (const XMLElement* child = node->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            if (is(child, "Tooltip")) {
                if (!found.tooltip.empty()) continue;
                found.tooltip = trim_text(text_of(child));
                if (has_gauge_script(found.tooltip))
                    found.tooltip_text = text(child, place + " Tooltip");
            } else if (is(child, "Cursor")) {
                if (found.cursor.empty()) found.cursor = text_attribute(child, "Type");
            } else if (is(child, "Click")) {
                if (found.has_click) continue;
                found.has_click = true;
                found.click = script(child, place + " Click");
                geometry.has_click = true;
                geometry.kind = text_attribute(child, "Kind", "LeftSingle");
                geometry.repeat = yes_attribute(child, "Repeat");
                geometry.event = text_attribute(child, "Event");
                // <Click Event="NAME"/> sends the event, as (>K:NAME) would.
                GaugeScriptText& click = gauge.scripts[found.click];
                if (trim_text(click.text).empty() && !geometry.event.empty())
                    click.text = "(>K:" + geometry.event + ")";
            } else if (is(child, "Area")) {
                if (!mouse) inner.push_back(child);
            } else {
                skip(child);
            }
        }
        geometry.cursor = found.cursor;
        gauge.areas[found.index - 1] = found;
        gauge.geometry.areas[found.index - 1] = geometry;
        for (const XMLElement* child : inner) area(child, found.index);
    }

    void mouse(const XMLElement* node) {
        for (const XMLElement* child = node->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            if (is(child, "Area")) area(child, 0);
        }
        // The gauge's own <Click>, <Cursor> or <Tooltip> make an area of the whole gauge,
        // numbered after the <Area>s so that their numbers stay as they are written.
        for (const XMLElement* child = node->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            if (is(child, "Click") || is(child, "Cursor") || is(child, "Tooltip")) {
                area(node, 0);
                return;
            }
        }
    }

    void keys(const XMLElement* node) {
        for (const XMLElement* child = node->FirstChildElement(); child;
             child = child->NextSiblingElement()) {
            if (is(child, "On")) {
                gauge.keys.push_back(
                    script(child, "Keys " + std::to_string(gauge.keys.size() + 1)));
            } else {
                skip(child);
            }
        }
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
    Reader reader{macros, gauge};
    for (const XMLElement* child = root->FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        if (is(child, "Image")) {
            if (gauge.geometry.background < 0) gauge.geometry.background = reader.image(child);
        } else if (is(child, "Size")) {
            gauge.geometry.width = std::max(0.0, number_attribute(child, "X"));
            gauge.geometry.height = std::max(0.0, number_attribute(child, "Y"));
        } else if (is(child, "Update")) {
            // The update runs first, before the elements, wherever it stands.
            if (gauge.update < 0) gauge.update = reader.script(child, "Update");
        } else if (is(child, "Element")) {
            reader.element(child, 0);
        } else if (is(child, "Mouse")) {
            reader.mouse(child);
        } else if (is(child, "Keys")) {
            reader.keys(child);
        } else {
            reader.skip(child);
        }
    }
    resolve_gauge_geometry(gauge);
    return true;
}

double ValueRange::clamp(double value) const {
    if (has_minimum && value < minimum) value = minimum;
    if (has_maximum && value > maximum) value = maximum;
    return value;
}

void resolve_gauge_geometry(XmlGauge& gauge) {
    GaugeGeometry& geometry = gauge.geometry;
    if ((geometry.width <= 0 || geometry.height <= 0) && geometry.background >= 0) {
        const GaugeImage& background = geometry.images[geometry.background];
        if (geometry.width <= 0) geometry.width = background.width;
        if (geometry.height <= 0) geometry.height = background.height;
    }
    // Areas come after the area they stand in, so each finds its parent resolved.
    for (size_t i = 0; i < gauge.areas.size(); ++i) {
        const GaugeArea& area = gauge.areas[i];
        AreaGeometry& out = geometry.areas[i];
        // What is left of the area around it (the gauge, for an outer one).
        double right = geometry.width, bottom = geometry.height;
        if (area.parent > 0) {
            const AreaGeometry& parent = geometry.areas[area.parent - 1];
            right = parent.left + parent.width;
            bottom = parent.top + parent.height;
        }
        out.left = area.left;
        out.top = area.top;
        out.width = area.width > 0 ? area.width : std::max(0.0, right - area.left);
        out.height = area.height > 0 ? area.height : std::max(0.0, bottom - area.top);
    }
}
