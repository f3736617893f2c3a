// The trace of a run: what the module read and wrote through the host, and, off Windows, every
// platform call it made, each tagged with the update in which it happened.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

class PanelHost;

// A trace event's fields, kept in the order they were added so that the JSON reads as written.
using TraceFields = nlohmann::ordered_json;

struct TraceEvent {
    long update;         // the pre-update it happened in; 0 before the first
    double time;         // seconds of sound time since the start of the run
    std::string event;   // "read", "write", "open", "create", "play", ...
    TraceFields fields;  // a JSON object, e.g. {"buffer":1,"looping":true}; strings in UTF-8
};

// Collects events from the host's variable calls and the platform layer while it lives.
class TraceRecorder {
  public:
    explicit TraceRecorder(PanelHost& host);
    ~TraceRecorder();

    void next_update() { ++update_; }
    void advance(double seconds) { time_ += seconds; }
    long update() const { return update_; }
    double time() const { return time_; }
    const std::vector<TraceEvent>& events() const { return events_; }
    void add(const std::string& event, TraceFields fields = TraceFields::object());

    // Each new event is also handed here as it happens, when set.
    void (*live)(const TraceEvent&, void*) = nullptr;
    void* live_context = nullptr;

  private:
    PanelHost& host_;
    long update_ = 0;
    double time_ = 0.0;
    std::vector<TraceEvent> events_;
};

// One JSON object: {"update":N,"event":"...",...fields}.
std::string trace_json(const TraceEvent& event);
// A short line for people, or an empty string for events not worth a line of their own.
std::string trace_readable(const TraceEvent& event);

// A number for JSON: integers without a fraction, nan and infinities as strings (JSON has no
// word for them).
TraceFields json_number(double value);
// Text as JSON text: the library's own writer, with any byte that is not UTF-8 shown as U+FFFD
// instead of failing, so no input can make the output invalid. `indent` as nlohmann's dump.
std::string json_text(const nlohmann::ordered_json& value, int indent = -1);

// The value of a field in an event's fields, as text ("" when absent); strings unquoted.
std::string trace_field(const TraceEvent& event, const std::string& name);

// A read of the idle value itself, as the module writes it back: no command, nothing to show.
bool reads_idle(const TraceEvent& event);
