// XML gauges in the simulator's 2004 format, read from their text with tinyxml2: every script
// (the gauge's <Update>; each <Element>'s <Visible>, <Select><Value>, <Shift> and <Rotate>
// values and the scripts in its <String>, nested elements included; the mouse areas' <Click>s
// and tooltips; <Keys>), with the <Macro>s they use expanded, and the gauge's geometry.
#pragma once

#include <string>
#include <vector>

#include "panel/gauge_state.h"

struct GaugeScriptText {
    // For messages: "Update", "Element 3 Visible", "Element 3 Value", "Element 3 Shift",
    // "Element 3 Rotate", "Element 3 String 1", "Area 1 Click", "Area 1 Tooltip 1", "Keys 1".
    std::string place;
    std::string text;  // with the gauge's macros expanded
    int line = 0;      // the line of the gauge file where the script's text begins
    // Why the script cannot run although the gauge reads (its macros never end); "" when none.
    std::string error;
};

// A <Value>'s Minimum= and Maximum=: its result is held within them.
struct ValueRange {
    bool has_minimum = false, has_maximum = false;
    double minimum = 0, maximum = 0;
    double clamp(double value) const;
};

// One <Item> of a <Nonlinearity>: where the value `value` puts the image. A <Shift>'s items
// give X= Y= (its shift); a <Rotate>'s give X= Y= (a point of the gauge the image points at)
// or Degrees=.
struct NonlinearityItem {
    double value = 0;
    double x = 0, y = 0;
    bool has_degrees = false;
    double degrees = 0;
};

// A <Shift> or a <Rotate>.
struct GaugeMotion {
    bool present = false;
    int value = -1;  // its <Value>: index into XmlGauge::scripts, -1 when it has none
    ValueRange range;
    double scale_x = 0, scale_y = 0;  // <Shift><Scale X= Y=>: pixels per unit of the value
    std::vector<NonlinearityItem> nonlinearity;
    // <Delay PixelsPerSecond=> or <Delay DegreesPerSecond=>: how fast it follows its value (in
    // pixels or degrees a second); 0 when at once.
    double delay = 0;
};

// A text with scripts in it, as a <String> or <Tooltip> holds it:
// "FUEL %((A:FUEL TOTAL QUANTITY, gallons))%!3d! GAL", "%((L:on, bool))%{if}ON%{else}OFF%{end}".
struct TextPiece {
    enum Kind { LITERAL, VALUE, IF, ELSE, END };
    Kind kind = LITERAL;
    std::string text;  // LITERAL: the text; VALUE: its format between the '!'s, "" when none
    int script = -1;   // VALUE: index into XmlGauge::scripts
};

// What an <Element> runs at each update, beside its geometry (XmlGauge::geometry.elements
// at the same index).
struct ElementCode {
    int visible = -1;  // <Visible>: index into XmlGauge::scripts, -1 when none
    int select = -1;   // <Select><Value>
    ValueRange select_range;
    GaugeMotion shift, rotate;
    std::vector<TextPiece> text;        // its <Text><String>, when geometry says it has one
    std::vector<std::string> failures;  // the names its <Failures> list, in file order
};

struct GaugeArea {
    int index = 0;        // from 1, in the order the areas stand in the file
    int parent = 0;       // the area it stands in, 0 for none
    std::string tooltip;  // "" when the area has none; as written (its scripts unexpanded)
    std::vector<TextPiece> tooltip_text;  // the tooltip's pieces, when it holds scripts
    // Its rectangle as written (Left, Top, Width, Height, or Right and Bottom given as a width
    // and height; nested areas relative to the area around them); a width or height of 0
    // means the rest of the area around it. geometry.areas holds it resolved.
    double left = 0, top = 0, width = 0, height = 0;
    std::string cursor;  // <Cursor Type="Hand"/>: "Hand", "UpArrow", ...; "" when none
    bool has_click = false;
    int click = -1;  // its <Click> script: index into XmlGauge::scripts
};

struct XmlGauge {
    std::string name;  // the Name attribute of <Gauge>
    // What a page draws from: images (their sizes filled in by the panel's loader), elements,
    // areas. geometry.areas and areas stand in the same order, and so do geometry.elements
    // and elements.
    GaugeGeometry geometry;
    std::vector<GaugeScriptText> scripts;  // every script of the gauge, in file order
    int update = -1;                       // <Update>: index into scripts, -1 when none
    std::vector<ElementCode> elements;
    std::vector<GaugeArea> areas;
    std::vector<int> keys;  // the scripts of <Keys><On>, in file order: compiled, never run
    // What the preview reads but does not model, once per tag, in file order:
    // "<MaskImage> (line 7)".
    std::vector<std::string> skipped;
};

// A gauge file larger than this is not read.
constexpr size_t XML_GAUGE_SIZE_LIMIT = 4u << 20;
// Macros that use macros are expanded this deep, and no script grows beyond the limit.
constexpr int MACRO_DEPTH_LIMIT = 8;
constexpr size_t MACRO_TEXT_LIMIT = 256u << 10;

// Reads a gauge from its text. False with "line N: why" in `error` when the text is not XML
// or not a 2004-format gauge; anything else the simulator takes is read, and what the preview
// does not model is listed in `skipped`.
bool read_xml_gauge(const std::string& text, XmlGauge& gauge, std::string& error);

// The gauge's size (its <Size>, else its background image's) and its areas' rectangles, once
// its images' sizes are known.
void resolve_gauge_geometry(XmlGauge& gauge);
