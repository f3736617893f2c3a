// The live panel of `cuebox serve`.
#include "tools/serve_session.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/files.h"
#include "host/result_text.h"
#include "host/root_files.h"
#include "host/scenario.h"
#include "panel/cabinet.h"
#include "panel/text.h"
#include "panel/vars_timeline.h"
#include "tools/configuration_view.h"
#include "tools/write_gating.h"
#if !defined(_WIN32)
#include "platform/standin.h"
#endif

namespace {

constexpr size_t READS_KEPT = 12;
constexpr size_t LOG_KEPT = 200;
// The lanes of the timeline show this much of the past.
constexpr double LANE_SECONDS = 30;

// Events the page lists as they happen, in the words the trace gives them.
bool logged(const std::string& event) {
    for (const char* kind : {"click", "command_lost", "script_problem", "panel_note", "key_event",
                             "set", "device", "lose"}) {
        if (event == kind) return true;
    }
    return false;
}

nlohmann::ordered_json array_of(const std::deque<nlohmann::ordered_json>& items) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const nlohmann::ordered_json& item : items) array.push_back(item);
    return array;
}

nlohmann::ordered_json end_time(double end) {
    return std::isinf(end) ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(end);
}

// What tells a file's change: its size and time of change, or "" when it is not there. Names
// resolve as the module's and the panel's own opens resolve them.
std::string file_stamp(const WatchedFile& file) {
    std::string path = file.path;
#if !defined(_WIN32)
    char buffer[4096];
    const int found = file.ansi ? standin_resolve_path(path.c_str(), buffer, sizeof buffer)
                                : standin_resolve_unicode_path(path.c_str(), buffer, sizeof buffer);
    if (!found) return "";
    path = buffer;
#endif
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return "";
#if defined(_WIN32)
    return std::to_string(info.st_size) + ":" + std::to_string(info.st_mtime);
#else
    return std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
           std::to_string(info.st_mtim.tv_nsec);
#endif
}

// Where the page finds a gauge's image: beside the gauge, or inside its cabinet as if the
// cabinet were a folder; "" when the loader did not find the bitmap.
DrawnFile image_file(const GaugeImage& image) {
    if (image.source.empty()) return {};
    const size_t dot = image.source.rfind('.');
    if (dot == std::string::npos || lower_text(image.source.substr(dot)) != ".cab")
        return {image.source, image.source, ""};
    std::string member = image.name;
    for (char& c : member) c = c == '\\' ? '/' : c;
    return {image.source + "/" + member, image.source, member};
}

// What a gauge is drawn from, fixed while the panel is loaded: its own size, its images (by the
// path the page asks for them) and the text boxes of its elements.
nlohmann::ordered_json gauge_drawing(const GaugeGeometry& geometry) {
    using json = nlohmann::ordered_json;
    json images = json::array();
    for (const GaugeImage& image : geometry.images)
        images.push_back(
            {{"path", image_file(image).path}, {"w", image.width}, {"h", image.height}});
    json elements = json::array();
    for (const ElementGeometry& element : geometry.elements) {
        json text = nullptr;
        if (element.has_text) {
            const GaugeTextBox& box = element.text;
            text = {{"w", box.width},
                    {"h", box.height},
                    {"font", box.font},
                    {"color", box.color},
                    {"background", box.background_color},
                    {"adjust", box.adjust}};
        }
        elements.push_back({{"text", text}});
    }
    return {{"w", geometry.width},
            {"h", geometry.height},
            {"background", geometry.background},
            {"images", images},
            {"elements", elements}};
}

// What the gauge's scripts gave at the last update, per element: shown or not, the image, where
// its axis point lands and how far it turned, its text.
nlohmann::ordered_json gauge_now(const GaugeState& state) {
    using json = nlohmann::ordered_json;
    json elements = json::array();
    for (const ElementState& element : state.elements) {
        elements.push_back({{"shown", element.visible},
                            {"image", element.image},
                            {"x", json_number(element.x)},
                            {"y", json_number(element.y)},
                            {"angle", json_number(element.angle)},
                            {"axis_x", json_number(element.axis_x)},
                            {"axis_y", json_number(element.axis_y)},
                            {"text", element.text}});
    }
    json tooltips = json::array();
    for (const AreaState& area : state.areas) tooltips.push_back(area.tooltip);
    return {{"elements", elements}, {"tooltips", tooltips}};
}

}  // namespace

bool read_drawn_file(const DrawnFile& drawn, size_t limit, std::string& bytes) {
    RootFiles files;
    const size_t file_limit = drawn.member.empty() ? limit : CABINET_SIZE_LIMIT;
    if (files.read(drawn.file, file_limit, bytes) != PanelFiles::READ) return false;
    if (drawn.member.empty()) return true;
    std::string cabinet, error;
    cabinet.swap(bytes);
    return read_from_cabinet(cabinet, drawn.member, bytes, error) == CabinetResult::FOUND &&
           bytes.size() <= limit;
}

ServeSession::ServeSession(const CliOptions& options) : options_(options) {}

ServeSession::~ServeSession() {
    close();
}

bool ServeSession::open(std::string& error) {
    host_ = std::make_unique<PanelHost>();
    if (!opened_before_) {
        // Enters the root and chooses the sound output, once: a reload keeps the output going.
        if (!open_host(options_, *host_)) {
            error = "the module could not be loaded";
            return false;
        }
        options_.root.clear();
        opened_before_ = true;
    } else if (!host_->load(options_.module, error)) {
        return false;
    }
    // The flight is played here, so that it can pause and seek; the panel reads no --vars.
    CliOptions panel_options = options_;
    panel_options.vars.clear();
    panel_ = open_panel_session(panel_options, *host_);
    if (!panel_) {
        error = "the panel " + options_.panel + " cannot be read";
        return false;
    }
    flight_ = VarsTimeline();
    flight_duration_ = -1;
    if (!options_.vars.empty()) {
        std::string text;
        if (!read_regular_file(options_.vars, text)) {
            error = "cannot read the timeline " + options_.vars;
            return false;
        }
        if (!read_vars_timeline(text, flight_, error)) {
            error = options_.vars + ": " + error;
            return false;
        }
        flight_duration_ = flight_.rows.empty() ? 0 : flight_.rows.back().time;
    }
    const std::vector<std::string>& parameters = panel_->module_parameters();
    parameters_ = parameters.empty() ? "" : parameters[0];
    // Read once, before the trace starts: the INI as the module reads it, not a read of its own
    // in the run's trace at every update.
    view_ = read_configuration(parameters_.c_str());
    variable_ = view_.variable_name;
    activity_ = SlotActivity();
    stop_flag_ = StopFlag();
    reads_.clear();
    writes_.clear();
    trace_ = std::make_unique<TraceRecorder>(*host_);
    trace_->live = &ServeSession::on_event;
    trace_->live_context = this;
    panel_->start(variable_, *trace_);
    note_misdirected_writes(*panel_, variable_, *trace_);
    run_settings_ = RunSettings();
    run_settings_.variable_name = variable_;
    run_settings_.output = options_.output;
    run_settings_.panel = panel_.get();
    panel_->service(simulator_service::CONNECT_TO_WINDOW);
    flight_start_ = 0;
    next_row_ = 0;
    paused_at_ = 0;
    return true;
}

void ServeSession::close() {
    if (!host_) return;
    if (trace_) trace_->live = nullptr;
    // As a simulator closing the aircraft: every instance disconnected, then the module goes.
    if (panel_) panel_->service(simulator_service::DISCONNECT);
    host_->disconnect();
    trace_.reset();
    panel_.reset();
    host_->unload();
    host_.reset();
}

bool ServeSession::connected() const {
    return host_ && host_->connected();
}

void ServeSession::on_event(const TraceEvent& event, void* context) {
    static_cast<ServeSession*>(context)->noted(event);
}

void ServeSession::noted(const TraceEvent& event) {
    if (options_.trace) {
        print_text(trace_json(event) + "\n");
        std::fflush(stdout);
    }
    // The module keeps silent when it has no sound device; the server says so, once.
    if (event.event == "device" && trace_field(event, "result") != "0" && !told_no_device_) {
        told_no_device_ = true;
        std::fprintf(stderr, "cuebox: no sound device, result %s: going on silently\n",
                     result_text(trace_field(event, "result")).c_str());
    }
    activity_.add(event);
    if (event.event == "read") {
        value_read_ = true;
        value_ = std::strtod(trace_field(event, "value").c_str(), nullptr);
        read_time_ = event.time;
        // A value shows when it differs from the one read before: the commands, not the idle.
        if (reads_.empty() || reads_.back()["value"] != event.fields["value"]) {
            reads_.push_back({{"update", event.update}, {"value", event.fields["value"]}});
            if (reads_.size() > READS_KEPT) reads_.pop_front();
        }
    }
    if (event.event == "gauge_write" &&
        (writes_.empty() || writes_.back()["value"] != event.fields["value"] ||
         writes_.back()["gauge"] != event.fields.value("gauge", ""))) {
        writes_.push_back({{"update", event.update},
                           {"value", event.fields["value"]},
                           {"gauge", event.fields.value("gauge", "")}});
        if (writes_.size() > READS_KEPT) writes_.pop_front();
    }
    if (logged(event.event)) add_log(event.event, event.update, trace_readable(event));
}

void ServeSession::add_log(const std::string& kind, long update, const std::string& text) {
    log_.push_back({{"n", ++log_count_}, {"update", update}, {"kind", kind}, {"text", text}});
    if (log_.size() > LOG_KEPT) log_.pop_front();
}

void ServeSession::update() {
    if (!panel_) return;
    play_flight();
    value_read_ = false;
    Scenario step{"serve", {ScenarioStep{ScenarioStep::UPDATE, 1, 0, "", ""}}};
    std::string failure;
    run_scenario(*host_, step, run_settings_, *trace_, failure);
    if (value_read_) {
        const std::string note = stop_flag_.read(value_, activity_, read_time_);
        if (!note.empty()) add_log("stop_flag", trace_->update(), note);
    }
}

bool ServeSession::click(const std::string& gauge, const std::string& area, std::string& why) {
    if (!panel_) {
        why = "the panel is not running";
        return false;
    }
    Scenario step{"page", {ScenarioStep{ScenarioStep::CLICK, 0, 0, gauge, area}}};
    return run_scenario(*host_, step, run_settings_, *trace_, why);
}

bool ServeSession::set(const std::string& variable, double value, std::string& why) {
    if (!panel_) {
        why = "the panel is not running";
        return false;
    }
    Scenario step{"page", {ScenarioStep{ScenarioStep::SET, value, 0, variable, ""}}};
    if (!run_scenario(*host_, step, run_settings_, *trace_, why)) return false;
    for (auto& setting : settings_) {
        if (setting.first == variable) {
            setting.second = value;
            return true;
        }
    }
    settings_.emplace_back(variable, value);
    return true;
}

void ServeSession::restore(const std::vector<std::pair<std::string, double>>& settings) {
    std::string why;
    for (const auto& setting : settings) set(setting.first, setting.second, why);
}

double ServeSession::flight_position() const {
    if (!has_flight()) return 0;
    const double position = playing_ && trace_ ? trace_->time() - flight_start_ : paused_at_;
    return position < 0 ? 0 : position;
}

void ServeSession::play(bool playing) {
    if (playing == playing_ || !trace_) return;
    if (playing) {
        flight_start_ = trace_->time() - paused_at_;
    } else {
        paused_at_ = flight_position();
    }
    playing_ = playing;
}

bool ServeSession::seek(double seconds, std::string& why) {
    if (!has_flight()) {
        why = "there is no --vars flight";
        return false;
    }
    if (!(seconds >= 0) || seconds > flight_duration_ + 3600) {
        why = "a position from 0 to the flight's end";
        return false;
    }
    // Values hold until the next row gives one: the rows up to the position, in order, leave
    // every variable as the flight has it there.
    next_row_ = 0;
    paused_at_ = seconds;
    flight_start_ = trace_->time() - seconds;
    apply_rows(seconds);
    return true;
}

void ServeSession::play_flight() {
    if (has_flight() && playing_) apply_rows(flight_position());
}

void ServeSession::apply_rows(double position) {
    std::string why;
    while (next_row_ < flight_.rows.size() && flight_.rows[next_row_].time <= position + 1e-9) {
        const VarsRow& row = flight_.rows[next_row_++];
        for (size_t i = 0; i < row.given.size(); ++i) {
            if (row.given[i]) panel_->set(flight_.columns[i].text(), row.values[i], why);
        }
    }
}

nlohmann::ordered_json ServeSession::state() {
    using json = nlohmann::ordered_json;
    json out;
    const double now = trace_ ? trace_->time() : 0;
    out["update"] = update_count();
    out["time"] = now;
    out["connected"] = connected();
    out["panel"] = options_.panel;
    out["variable"] = {{"name", shown(variable_)},
                       {"value", json_number(host_ ? host_->variable(variable_) : 0)},
                       {"read", array_of(reads_)},
                       {"written", array_of(writes_)}};
    out["stop_flag"] = {{"set", stop_flag_.set()}, {"effect", stop_flag_.effect()}};

    // Every slot the INI names or the run has touched, with what the module made of it.
    const ConfigurationView& view = view_;
    const std::set<int> refused = activity_.without_buffer();
    json slots = json::array();
    for (int n = 0; n < static_cast<int>(view.slots.size()); ++n) {
        const bool named = view.slots[static_cast<size_t>(n)].source == PathSource::INI_FILE;
        std::string state = "not loaded yet";
        if (activity_.looping(n, now)) {
            state = "looping";
        } else if (activity_.playing(n, now)) {
            state = "playing";
        } else if (refused.count(n)) {
            state = "refused";
        } else if (activity_.missing().count(n)) {
            state = "not found";
        } else if (activity_.loaded().count(n)) {
            state = "loaded";
        } else if (!named && !activity_.commanded().count(n)) {
            continue;
        }
        slots.push_back({{"slot", n},
                         {"path", shown(view.slots[static_cast<size_t>(n)].path)},
                         {"state", state}});
    }
    out["slots"] = slots;
    out["commands_lost"] = panel_ ? panel_->commands_lost() : 0;
    out["log"] = array_of(log_);

    json lanes = json::array();
    for (const PlayInterval& interval : activity_.intervals()) {
        if (interval.end < now - LANE_SECONDS) continue;
        lanes.push_back({{"slot", interval.slot},
                         {"start", interval.start},
                         {"end", end_time(interval.end)},
                         {"looping", interval.looping}});
    }
    out["intervals"] = lanes;

    json variables = json::array();
    if (panel_) {
        for (const PanelSession::ReadVariable& variable : panel_->read_variables()) {
            variables.push_back({{"name", variable.name},
                                 {"unit", variable.unit},
                                 {"value", json_number(variable.value)}});
        }
    }
    out["variables"] = variables;

    // The windows as panel.cfg lays them out, each gauge at its place with its mouse areas.
    json windows = json::array();
    if (panel_) {
        const LoadedPanel& loaded = panel_->panel();
        for (const PanelWindow& window : loaded.windows) {
            json gauges = json::array();
            for (size_t n = 0; n < loaded.gauges.size(); ++n) {
                const PanelGauge& gauge = loaded.gauges[n];
                if (gauge.kind != PanelGauge::XML || !same_text(gauge.line.section, window.section))
                    continue;
                // Areas as resolved within the gauge (nested ones placed in theirs), in the
                // gauge's own pixels.
                json areas = json::array();
                for (const AreaGeometry& area : gauge.xml.geometry.areas) {
                    areas.push_back({{"index", area.index},
                                     {"click", area.has_click},
                                     {"repeat", area.repeat},
                                     {"x", area.left},
                                     {"y", area.top},
                                     {"w", area.width},
                                     {"h", area.height},
                                     {"cursor", area.cursor}});
                }
                gauges.push_back({{"name", gauge.line.name()},
                                  {"state", n},
                                  {"drawing", gauge_drawing(gauge.xml.geometry)},
                                  {"source", gauge.source},
                                  {"x", gauge.line.x},
                                  {"y", gauge.line.y},
                                  {"w", gauge.line.w},
                                  {"h", gauge.line.h},
                                  {"areas", areas}});
            }
            windows.push_back({{"section", window.section},
                               {"title", window.title.empty() ? window.section : window.title},
                               {"background", window.background},
                               {"width", window.width},
                               {"height", window.height},
                               {"gauges", gauges}});
        }
    }
    out["windows"] = windows;
    // Per gauge of the panel, as the windows' gauges name them by "state"; null for DLL gauges.
    json drawn = json::array();
    if (panel_) {
        const PanelState& states = panel_->state();
        for (size_t n = 0; n < panel_->panel().gauges.size(); ++n) {
            const bool xml = panel_->panel().gauges[n].kind == PanelGauge::XML;
            drawn.push_back(xml && n < states.gauges.size() ? gauge_now(states.gauges[n])
                                                            : json(nullptr));
        }
    }
    out["gauges"] = drawn;
    out["flight"] = {{"present", has_flight()},
                     {"playing", playing_},
                     {"position", flight_position()},
                     {"duration", flight_duration_ < 0 ? 0 : flight_duration_}};
    return out;
}

std::vector<WatchedFile> ServeSession::watched_files() const {
    std::vector<WatchedFile> files;
    files.push_back({options_.panel, false});
    for (const DrawnFile& drawn : drawn_files()) files.push_back({drawn.file, false});
    if (panel_) {
        for (const PanelGauge& gauge : panel_->panel().gauges) {
            if (gauge.kind == PanelGauge::XML) files.push_back({gauge.source, false});
        }
    }
    files.push_back({view_.ini_path, true});
    for (const SlotView& slot : view_.slots) {
        if (slot.source == PathSource::INI_FILE) files.push_back({slot.path, true});
    }
    return files;
}

std::vector<std::string> ServeSession::changed_files() {
    std::vector<std::string> changed;
    std::map<std::string, std::string> stamps;
    for (const WatchedFile& file : watched_files()) {
        if (stamps.count(file.path)) continue;  // a cabinet holds gauges and their images
        const std::string stamp = file_stamp(file);
        stamps[file.path] = stamp;
        const auto before = stamps_.find(file.path);
        const bool known = before != stamps_.end();
        if (!stamps_.empty() && (!known || before->second != stamp))
            changed.push_back(file.ansi ? shown(file.path) : file.path);
    }
    stamps_ = stamps;
    return changed;
}

std::vector<DrawnFile> ServeSession::drawn_files() const {
    std::vector<DrawnFile> files;
    if (!panel_) return files;
    for (const PanelWindow& window : panel_->panel().windows) {
        if (!window.background.empty()) files.push_back({window.background, window.background, ""});
    }
    for (const PanelGauge& gauge : panel_->panel().gauges) {
        for (const GaugeImage& image : gauge.xml.geometry.images) {
            const DrawnFile file = image_file(image);
            if (!file.path.empty()) files.push_back(file);
        }
    }
    return files;
}
