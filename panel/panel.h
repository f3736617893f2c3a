// A whole panel, loaded: panel.cfg read, and each gauge line found as an XML gauge (in a folder
// or a cabinet file) or as a DLL gauge. Files come through PanelFiles, so the loader works as
// well on a simulator's folders as on bytes held in memory.
#pragma once

#include <string>
#include <vector>

#include "panel/panel_config.h"
#include "panel/xml_gauge.h"

// Where a panel's files come from. Paths are relative to the simulator root, with forward
// slashes; the implementation resolves them as the simulator's file system would (any letter
// case).
class PanelFiles {
  public:
    enum Result { READ, MISSING, TOO_LARGE, UNREADABLE };
    virtual ~PanelFiles() = default;
    // The file's bytes, when it exists and holds at most `limit` bytes.
    virtual Result read(const std::string& path, size_t limit, std::string& bytes) = 0;
    virtual bool exists(const std::string& path) = 0;
    // The ANSI code page that panel.cfg without a byte order mark is read in.
    virtual int code_page() const { return 1252; }
};

struct PanelGauge {
    enum Kind { XML, DLL };
    Kind kind = XML;
    PanelGaugeLine line;  // where it stands in panel.cfg
    std::string source;   // the file it was read from: "Gauges/demo/gear.xml", "Gauges/warn.cab"
    XmlGauge xml;
};

struct LoadedPanel {
    std::string file;                    // panel.cfg as named
    std::vector<PanelGauge> gauges;      // those that run, in panel order
    std::vector<PanelWindow> windows;    // as panel.cfg gives them
    std::vector<PanelMessage> problems;  // lines and gauges that could not be used
    std::vector<PanelMessage> notes;     // gauges listed and skipped, choices made
};

// Loads the panel `panel_path` (relative to the root). `host_gauges` names the DLL files whose
// gauges the host runs itself (its module): their lines become DLL entries without any file
// being looked for. Other DLL gauges are noted and skipped.
LoadedPanel load_panel(const std::string& panel_path, PanelFiles& files,
                       const std::vector<std::string>& host_gauges);

// The note for an XML gauge the preview reads only in part, so that a clean check or a quiet
// run says what was not looked at: "Gauges/x.xml (x!y): the preview reads this gauge only in
// part: it does not model <MaskImage> (line 7), <Keys> (compiled, never run)"; "" for a gauge
// it reads whole.
std::string partly_read_note(const PanelGauge& gauge);

// Where the panel's own folder is, for gauges that ship beside panel.cfg.
std::string panel_folder(const std::string& panel_path);
