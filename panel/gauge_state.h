// What a 2004-format XML gauge looks like, as data: its geometry, which the gauge file and its
// bitmaps fix when the panel loads (images and their sizes, element positions, text boxes, mouse
// areas, the gauge's size), and its state, which its scripts give at each update (what shows,
// which case or image, where it moved and how far it turned, what its texts and tooltips say).
// A page draws from the two; a test reads them. Coordinates are the gauge's own pixels: x to the
// right, y down, from the top left corner of the gauge's background.
#pragma once

#include <string>
#include <vector>

// ---- Geometry: fixed once the panel is loaded --------------------------------------------------

// An <Image> of the gauge (its background, an element's bitmap, a case's bitmap).
struct GaugeImage {
    std::string name;    // as its Name attribute gives it, "needle.bmp"
    std::string source;  // the file it was read from ("Gauges/demo/needle.bmp", or the cabinet
                         // "Gauges/demo.cab"); "" when it was not found
    // Its size in pixels: from the bitmap; from ImageSizes= when the bitmap was not found or not
    // read; 0 when neither gives one.
    int width = 0, height = 0;
    // The point of the bitmap that sits on its element's position and that it turns around:
    // <Axis X= Y=> (inside the <Image> or its element's <Rotate>), 0, 0 when none.
    double axis_x = 0, axis_y = 0;
    // The way the bitmap points as drawn (PointsTo=): "East" unless it says otherwise. A
    // <Rotate>'s angle is relative to it.
    std::string points_to = "East";
    bool bright = false;  // Bright="Yes": lit at night
    int line = 0;         // of the gauge file
};

// The box a <Text> draws its <String> in, and how.
struct GaugeTextBox {
    double width = 0, height = 0;  // X= and Y=
    int length = 0;                // Length=: characters; 0 when not given
    std::string font;              // Font=, "" when not given
    std::string color;             // Color=, as written ("#FFFFFF", "red"); "" when not given
    std::string background_color;  // BackgroundColor=, "" when not given
    std::string adjust;            // Adjust=: "Left" (when not given), "Center", "Right"
    std::string vertical_adjust;   // VerticalAdjust=: "Top" (when not given), "Center", ...
    bool bright = false;
};

// One <Case> of an element's <Select>: the image it shows when the value selects it.
struct GaugeCase {
    double value = 0;  // its Value=
    int image = -1;    // index into GaugeGeometry::images; -1 when the case has no <Image>
    int line = 0;
};

// One <Element>, nested ones included, in file order (a parent before the elements in it).
struct ElementGeometry {
    int index = 0;        // from 1, the number the messages use ("Element 3 Visible")
    int parent = 0;       // the index of the element it stands in, 0 for the gauge itself
    int line = 0;         // of the gauge file
    double x = 0, y = 0;  // <Position X= Y=>, within the element it stands in
    int image = -1;       // its own <Image>: index into GaugeGeometry::images, -1 when none
    std::vector<GaugeCase> cases;  // its <Select>'s <Case>s, in file order
    bool has_text = false;
    GaugeTextBox text;  // when it has a <Text>
};

// One <Area> of the gauge's <Mouse>, nested ones included, in file order; then the <Mouse>
// itself, the whole gauge, when it has a <Click>, <Cursor> or <Tooltip> of its own.
struct AreaGeometry {
    int index = 0;  // from 1, the number clicks and messages use ("Area 2 Click")
    int line = 0;
    // Its rectangle in the gauge's pixels: Left= Top= with Width= Height= or Right= Bottom=,
    // nested areas placed within the area around them. A width or height that is missing or 0
    // runs to the end of the area around it (the gauge, for an outer area); it stays 0 only
    // when the gauge's size is not known.
    double left = 0, top = 0, width = 0, height = 0;
    std::string cursor;   // <Cursor Type=>: "Hand", "UpArrow", ...; "" when none
    std::string kind;     // <Click Kind=>: "LeftSingle" when not given; "" when no <Click>
    bool repeat = false;  // <Click Repeat="Yes">
    std::string event;    // <Click Event=>, "" when none
    bool has_click = false;
};

struct GaugeGeometry {
    // The gauge's size: its <Size X= Y=>, else its background image's; 0 when neither.
    double width = 0, height = 0;
    int background = -1;  // the gauge's own first <Image>: index into images, -1 when none
    std::vector<GaugeImage> images;         // in file order
    std::vector<ElementGeometry> elements;  // in file order, nested ones after their parent
    std::vector<AreaGeometry> areas;        // in file order, nested ones after their parent
};

// ---- State: what the scripts give at one update ------------------------------------------------

struct ElementState {
    // Its <Visible> gave true (or it has none) and so did that of every element it stands in.
    // An element that is not shown runs none of its other scripts, nor any of the elements in it.
    bool visible = true;
    int chosen_case = -1;  // index into ElementGeometry::cases, -1 when no case is chosen
    int image = -1;        // the image drawn: the chosen case's, else the element's own; -1 none
    // The image's axis point lands here, in the gauge's pixels: the positions and shifts of the
    // elements it stands in, plus its own position and shift.
    double x = 0, y = 0;
    double shift_x = 0, shift_y = 0;  // its own <Shift>, after scale and nonlinearity
    // Its <Rotate>, after nonlinearity and delay: radians, clockwise, relative to the way the
    // image points (0 when it does not turn); it turns around (axis_x, axis_y) of the image.
    double angle = 0;
    double axis_x = 0, axis_y = 0;
    std::string text;  // what its <String> gives, formatted; "" when it has no <Text>
};

struct AreaState {
    std::string tooltip;  // its <Tooltip>, its scripts' values formatted in; "" when none
};

struct GaugeState {
    std::vector<ElementState> elements;  // per GaugeGeometry::elements
    std::vector<AreaState> areas;        // per GaugeGeometry::areas
};

struct PanelState {
    long updates = 0;                // how many panel updates have run
    std::vector<GaugeState> gauges;  // per LoadedPanel::gauges; empty for DLL gauges
};
