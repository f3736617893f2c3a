// panel.cfg as authors write it: its [WindowNN] and [VCockpitNN] sections and their gauge lines,
// gaugeNN=FILE!GAUGE, x, y[, w, h][, PARAMETERS], in panel order. Comments (// and ;), odd
// spacing and any letter case are taken as the simulator takes them; a malformed line is
// reported with its line and skipped.
#pragma once

#include <string>
#include <vector>

struct PanelGaugeLine {
    std::string section;     // as written, "Window00"
    int number = 0;          // NN of gaugeNN
    std::string file;        // before the '!': a folder or cabinet of XML gauges, or a DLL
    std::string gauge;       // after it
    std::string parameters;  // the gauge's parameter string, "" when none
    // Its place and size in the window's design units (size_mm); w and h are 0 when the line
    // gives none, and the gauge takes its own size.
    double x = 0, y = 0, w = 0, h = 0;
    int line = 0;
    std::string name() const { return file + "!" + gauge; }
};

struct PanelMessage {
    std::string file;  // the file it concerns
    int line = 0;      // 0 when it concerns the whole file
    std::string text;
};

// A [WindowNN] or [VCockpitNN] section: its background bitmap (file=, relative to the panel's
// folder) and its design size (size_mm=W[,H]: the units its gauges are placed in; H is 0 when
// only the width is given, and the bitmap's shape gives the height).
struct PanelWindow {
    std::string section;
    std::string title;  // from [Window Titles], "" when none
    std::string file;
    std::string background;  // the bitmap's path from the root with '/', "" when no file=
    double width = 0, height = 0;
    int line = 0;
};

struct PanelConfig {
    // Sections in the order they stand in the file, the gauges of a section by their number.
    std::vector<PanelGaugeLine> gauges;
    std::vector<PanelWindow> windows;  // in the order they stand in the file
    std::vector<PanelMessage> problems;
};

constexpr size_t PANEL_CONFIG_SIZE_LIMIT = 4u << 20;

// Reads panel.cfg from its bytes; `file_name` goes into the messages. The simulator reads it as
// Windows reads any INI file: by its byte order mark, else as ANSI in `code_page`. Names and
// parameter strings come out in UTF-8, as the panel's other files (XML) hold them.
PanelConfig read_panel_config(const std::string& file_name, const std::string& bytes,
                              int code_page = 1252);

// "; is a comma missing after NAME?" when a gauge's name ends in a number after a space, as
// "Sound_Broken 0" does when the comma before its position was left out; "" otherwise.
std::string missing_comma_hint(const std::string& gauge);
// The name a gauge would have if a comma were missing before its last number ("gear" of
// "gear 10"), or "" when it ends in no number after a blank.
std::string name_before_missing_comma(const std::string& gauge);
