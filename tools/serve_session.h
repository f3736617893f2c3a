// The live panel behind `cuebox serve`: the module and the author's panel on a host of their
// own, stepped one update at a time by the server's clock, with what the page shows worked out
// after each update by the code `run` and `console` use (the trace, the slot activity, the stop
// flag). Clicks and variable changes go through the scenario's own steps, so a click on the page
// is the `click` step of a scenario. Not thread-safe: the server calls it from one thread.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/panel_host.h"
#include "host/panel_session.h"
#include "host/scenario.h"
#include "host/trace.h"
#include "panel/vars_timeline.h"
#include "tools/cli.h"
#include "tools/configuration_view.h"
#include "tools/slot_activity.h"
#include "tools/stop_flag.h"

// A file whose change reloads the panel, named as the panel or the module names it.
struct WatchedFile {
    std::string path;
    bool ansi;  // the module's names (INI, sounds) are ANSI; the panel's are UTF-8
};

// A file the page draws: a window's background or a gauge's image, in its folder or its cabinet.
struct DrawnFile {
    std::string path;    // as the page asks for it, from the root: "Gauges/demo.cab/needle.bmp"
    std::string file;    // the file that is read, from the root: "Gauges/demo.cab"
    std::string member;  // the bitmap inside the cabinet `file`; "" when `file` is the bitmap
};

// The bitmap's bytes, from its file or out of its cabinet; false when it cannot be read or is
// larger than `limit` (a cabinet itself is read up to the cabinets' own limit).
bool read_drawn_file(const DrawnFile& drawn, size_t limit, std::string& bytes);

class ServeSession {
  public:
    explicit ServeSession(const CliOptions& options);
    ~ServeSession();

    // Loads the module and the panel from the root (the current folder by now) and connects.
    // False, with the reasons in `error` (one a line), when the panel cannot run at all.
    bool open(std::string& error);
    // Disconnects the module's instances and unloads it, as a simulator closing the aircraft.
    void close();
    bool connected() const;

    // One panel update, with the module's pre-update at its place in it.
    void update();
    // As the scenario's steps `click GAUGE AREA` and `set VARIABLE VALUE`; false with `why`.
    bool click(const std::string& gauge, const std::string& area, std::string& why);
    bool set(const std::string& variable, double value, std::string& why);

    // The --vars flight: paused or playing, and where in it the run is.
    bool has_flight() const { return flight_duration_ >= 0; }
    void play(bool playing);
    double flight_position() const;
    // Starts the flight again from `seconds` (0: the beginning).
    bool seek(double seconds, std::string& why);

    // Variables the author set on the page, to be set again after a reload.
    const std::vector<std::pair<std::string, double>>& author_settings() const { return settings_; }
    void restore(const std::vector<std::pair<std::string, double>>& settings);

    // Everything the page shows, as one JSON object.
    nlohmann::ordered_json state();
    // The files whose change reloads the panel: panel.cfg, gauge files, the INI, the sounds.
    std::vector<WatchedFile> watched_files() const;
    // The files the page draws: the windows' backgrounds and the gauges' images.
    std::vector<DrawnFile> drawn_files() const;
    // The watched files that changed since the last call (none at the first), as named.
    std::vector<std::string> changed_files();

    // The trace so far, for tests and for the server's own --trace.
    const TraceRecorder* trace() const { return trace_.get(); }
    long update_count() const { return trace_ ? trace_->update() : 0; }

  private:
    static void on_event(const TraceEvent& event, void* context);
    void noted(const TraceEvent& event);
    void add_log(const std::string& kind, long update, const std::string& text);
    void play_flight();
    void apply_rows(double position);

    CliOptions options_;
    bool opened_before_ = false;
    bool told_no_device_ = false;
    RunSettings run_settings_;
    std::string parameters_;  // the module's parameter string
    ConfigurationView view_;  // the module's configuration, as it reads it
    std::unique_ptr<PanelHost> host_;
    std::unique_ptr<PanelSession> panel_;
    std::unique_ptr<TraceRecorder> trace_;
    std::string variable_;
    std::string ini_path_;
    SlotActivity activity_;
    StopFlag stop_flag_;
    bool value_read_ = false;
    double value_ = 0;
    double read_time_ = 0;
    std::deque<nlohmann::ordered_json> reads_;   // the last values the module read
    std::deque<nlohmann::ordered_json> writes_;  // the last values the gauges wrote
    std::deque<nlohmann::ordered_json> log_;     // clicks, lost commands, script problems, ...
    long log_count_ = 0;
    std::map<std::string, std::string> stamps_;  // per watched file: its size and time
    std::vector<std::pair<std::string, double>> settings_;
    // The flight: its rows, its length (-1 when there is none), where it stands.
    VarsTimeline flight_;
    size_t next_row_ = 0;
    double flight_duration_ = -1;
    double flight_start_ = 0;  // the run time at which the flight's time 0 fell
    bool playing_ = true;
    double paused_at_ = 0;
};
