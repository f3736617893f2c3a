// Loading a panel: panel.cfg, then each gauge from the panel's folder or the Gauges folder.
#include "panel/panel.h"

#include <map>
#include <utility>

#include "panel/bitmap.h"
#include "panel/cabinet.h"
#include "panel/variable_ref.h"

namespace {

struct Found {
    bool ok = false;
    std::string source;
    XmlGauge gauge;
    std::string problem;  // why the gauge cannot be used, when it was found but is broken
    bool dll = false;
};

std::string normalised(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

// Cabinet files as read, by lower-case path: a cabinet that holds many of a panel's gauges is
// read from disk once.
struct CabinetRead {
    PanelFiles::Result result;
    std::string bytes;
};
using Cabinets = std::map<std::string, CabinetRead>;

const CabinetRead& read_cabinet(const std::string& path, PanelFiles& files, Cabinets& cabinets) {
    const std::string key = lower_text(path);
    auto found = cabinets.find(key);
    if (found == cabinets.end()) {
        CabinetRead read;
        read.result = files.read(path, CABINET_SIZE_LIMIT, read.bytes);
        found = cabinets.emplace(key, std::move(read)).first;
    }
    return found->second;
}

// Each image's size from its bitmap, beside the gauge in its folder or in its cabinet; an image
// not found keeps the size its ImageSizes= gives, if any.
void size_images(XmlGauge& gauge, const std::string& folder, const std::string& cabinet,
                 const std::string* cabinet_bytes, PanelFiles& files) {
    for (GaugeImage& image : gauge.geometry.images) {
        if (image.name.empty()) continue;
        const std::string name = normalised(image.name);
        std::string bytes, error;
        bool read = false;
        if (cabinet_bytes) {
            read = read_from_cabinet(*cabinet_bytes, name, bytes, error) == CabinetResult::FOUND;
            if (read) image.source = cabinet;
        } else if (files.read(folder + "/" + name, BITMAP_SIZE_LIMIT, bytes) == PanelFiles::READ) {
            read = true;
            image.source = folder + "/" + name;
        }
        int width = 0, height = 0;
        if (read && bitmap_size(bytes, width, height)) {
            image.width = width;
            image.height = height;
        }
    }
    resolve_gauge_geometry(gauge);
}

// Looks for FILE!GAUGE as the simulator does: in the panel's own folder, then in Gauges; in
// each a folder of XML files before a cabinet of the same name.
Found find_gauge(const PanelGaugeLine& line, const std::string& folder, PanelFiles& files,
                 Cabinets& cabinets, std::vector<PanelMessage>& notes,
                 const std::string& panel_file) {
    Found found;
    const std::string xml_name = line.gauge + ".xml";
    std::vector<std::string> places;
    if (!folder.empty() && !same_text(folder, "Gauges")) places.push_back(folder);
    places.push_back("Gauges");
    // That a comma is missing after the name is said only where the name without its last
    // number is a gauge that is there: "Radio Nav-Comm 1" of a stock panel is a name.
    auto comma_hint = [&]() -> std::string {
        const std::string shorter = name_before_missing_comma(line.gauge);
        if (shorter.empty()) return "";
        for (const std::string& place : places) {
            const CabinetRead& cabinet =
                read_cabinet(place + "/" + line.file + ".cab", files, cabinets);
            std::string text, error;
            if (files.exists(place + "/" + line.file + "/" + shorter + ".xml") ||
                (cabinet.result == PanelFiles::READ &&
                 read_from_cabinet(cabinet.bytes, shorter + ".xml", text, error) ==
                     CabinetResult::FOUND))
                return missing_comma_hint(line.gauge);
        }
        return "";
    };
    for (const std::string& place : places) {
        const std::string in_folder = place + "/" + line.file + "/" + xml_name;
        const std::string cabinet = place + "/" + line.file + ".cab";
        std::string text;
        const PanelFiles::Result read = files.read(in_folder, XML_GAUGE_SIZE_LIMIT, text);
        if (read == PanelFiles::READ) {
            found.source = in_folder;
            if (files.exists(cabinet))
                notes.push_back(PanelMessage{panel_file, line.line,
                                             line.name() + ": the folder " + place + "/" +
                                                 line.file + " is used, not " + cabinet +
                                                 ", as the simulator prefers the folder"});
        } else if (read == PanelFiles::TOO_LARGE || read == PanelFiles::UNREADABLE) {
            found.source = in_folder;
            found.problem =
                in_folder +
                (read == PanelFiles::TOO_LARGE ? " is too large to be a gauge" : " cannot be read");
            return found;
        } else {
            const CabinetRead& read_cab = read_cabinet(cabinet, files, cabinets);
            const PanelFiles::Result cab = read_cab.result;
            if (cab == PanelFiles::MISSING) continue;
            found.source = cabinet;
            std::string error;
            if (cab != PanelFiles::READ) {
                found.problem =
                    cabinet + (cab == PanelFiles::TOO_LARGE ? " is too large" : " cannot be read");
                return found;
            }
            const CabinetResult in_cabinet =
                read_from_cabinet(read_cab.bytes, xml_name, text, error);
            if (in_cabinet != CabinetResult::FOUND) {
                found.problem = cabinet + ": " + error +
                                (in_cabinet == CabinetResult::NOT_IN_CABINET ? comma_hint() : "");
                return found;
            }
        }
        std::string error;
        if (!read_xml_gauge(text, found.gauge, error)) {
            found.problem = found.source + ": " + error;
            return found;
        }
        const std::string* cabinet_bytes =
            found.source == cabinet ? &read_cabinet(cabinet, files, cabinets).bytes : nullptr;
        size_images(found.gauge, place + "/" + line.file, cabinet, cabinet_bytes, files);
        found.ok = true;
        return found;
    }
    for (const std::string& place : places) {
        for (const char* extension : {".gau", ".dll"}) {
            if (files.exists(place + "/" + line.file + extension)) {
                found.dll = true;
                found.source = place + "/" + line.file + extension;
                return found;
            }
        }
    }
    found.problem = "gauge not found: no " + places.back() + "/" + line.file + "/" + xml_name +
                    ", no " + places.back() + "/" + line.file + ".cab and no " + places.back() +
                    "/" + line.file + ".gau" +
                    (places.size() > 1 ? " (nor in the panel's folder " + places[0] + ")" : "") +
                    comma_hint();
    return found;
}

}  // namespace

std::string partly_read_note(const PanelGauge& gauge) {
    if (gauge.kind != PanelGauge::XML) return "";
    std::string skipped;
    for (const std::string& tag : gauge.xml.skipped) skipped += (skipped.empty() ? "" : ", ") + tag;
    if (!gauge.xml.keys.empty())
        skipped += std::string(skipped.empty() ? "" : ", ") + "<Keys> (compiled, never run)";
    if (skipped.empty()) return "";
    return gauge.source + " (" + gauge.line.name() +
           "): the preview reads this gauge only in part: it does not model " + skipped;
}

std::string panel_folder(const std::string& panel_path) {
    const std::string path = normalised(panel_path);
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

LoadedPanel load_panel(const std::string& panel_path, PanelFiles& files,
                       const std::vector<std::string>& host_gauges) {
    LoadedPanel panel;
    panel.file = panel_path;
    std::string text;
    const PanelFiles::Result read =
        files.read(normalised(panel_path), PANEL_CONFIG_SIZE_LIMIT, text);
    if (read != PanelFiles::READ) {
        panel.problems.push_back(PanelMessage{
            panel_path, 0,
            read == PanelFiles::MISSING     ? "the panel file does not exist"
            : read == PanelFiles::TOO_LARGE ? "the panel file is too large to be a panel.cfg"
                                            : "the panel file cannot be read"});
        return panel;
    }
    PanelConfig config = read_panel_config(panel_path, text, files.code_page());
    panel.problems = config.problems;
    panel.windows = config.windows;
    // A window's bitmap lies in the panel's own folder.
    for (PanelWindow& window : panel.windows) {
        if (window.file.empty()) continue;
        std::string file = normalised(window.file);
        while (file.compare(0, 2, "./") == 0) file.erase(0, 2);
        const std::string folder = panel_folder(panel_path);
        window.background = folder.empty() ? file : folder + "/" + file;
    }
    const std::string folder = panel_folder(panel_path);
    // A gauge that stands on several lines is read once.
    std::map<std::string, Found> cache;
    Cabinets cabinets;
    for (const PanelGaugeLine& line : config.gauges) {
        PanelGauge gauge;
        gauge.line = line;
        bool host = false;
        for (const std::string& name : host_gauges) host = host || same_text(name, line.file);
        if (host) {
            gauge.kind = PanelGauge::DLL;
            panel.gauges.push_back(gauge);
            continue;
        }
        const std::string key = lower_text(line.name());
        auto cached = cache.find(key);
        if (cached == cache.end()) {
            Found looked_up = find_gauge(line, folder, files, cabinets, panel.notes, panel_path);
            cached = cache.emplace(key, std::move(looked_up)).first;
        }
        const Found& found = cached->second;
        if (found.dll) {
            panel.notes.push_back(PanelMessage{
                panel_path, line.line,
                line.name() + ": a DLL gauge (" + found.source + "), listed and skipped"});
        } else if (!found.ok) {
            panel.problems.push_back(
                PanelMessage{panel_path, line.line, line.name() + ": " + found.problem});
        } else {
            gauge.source = found.source;
            gauge.xml = found.gauge;
            panel.gauges.push_back(gauge);
        }
    }
    return panel;
}
