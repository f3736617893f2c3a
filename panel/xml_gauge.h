// XML gauges in the simulator's 2004 format, read from their text with tinyxml2: the scripts
// that run at every update (the gauge's <Update> and each <Element>'s <Select><Value>, nested
// elements included), the mouse areas with their <Click> scripts, and the <Macro>s they use.
#pragma once

#include <string>
#include <vector>

#include "panel/gauge_state.h"

struct GaugeScriptText {
    std::string place;  // "Update", "Element 3 Value", "Area 1 Click": for messages
    std::string text;   // with the gauge's macros expanded
    int line = 0;       // the line of the gauge file where the script's text begins
};

struct GaugeArea {
    int index = 0;        // from 1, in the order the areas stand in the file
    std::string tooltip;  // "" when the area has none
    // Its rectangle in the gauge's own pixels (Left, Top, Width, Height; nested areas are
    // relative to the area around them); a width or height of 0 means the rest of the gauge.
    double left = 0, top = 0, width = 0, height = 0;
    std::string cursor;  // <Cursor Type="Hand"/>: "Hand", "UpArrow", ...; "" when none
    bool has_click = false;
    GaugeScriptText click;
};

struct XmlGauge {
    std::string name;  // the Name attribute of <Gauge>
    // What a page draws from: images (their sizes filled in by the panel's loader), elements,
    // areas. geometry.areas and areas stand in the same order.
    GaugeGeometry geometry;
    std::vector<GaugeScriptText> every_update;  // <Update> first, then the values in file order
    std::vector<GaugeArea> areas;
};

// A gauge file larger than this is not read.
constexpr size_t XML_GAUGE_SIZE_LIMIT = 4u << 20;
// Macros that use macros are expanded this deep, and no script grows beyond the limit.
constexpr int MACRO_DEPTH_LIMIT = 8;
constexpr size_t MACRO_TEXT_LIMIT = 256u << 10;

// Reads a gauge from its text. False with "line N: why" in `error` when the text is not XML
// or not a 2004-format gauge.
bool read_xml_gauge(const std::string& text, XmlGauge& gauge, std::string& error);
