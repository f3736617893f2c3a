// The trace of a run: what the module read and wrote through the host, and, off Windows, every
// platform call it made, each tagged with the update in which it happened.
#pragma once

#include <ostream>
#include <string>
#include <vector>

class PanelHost;

struct TraceEvent {
    long update;         // the pre-update it happened in; 0 before the first
    double time;         // seconds of sound time since the start of the run
    std::string event;   // "read", "write", "open", "create", "play", ...
    std::string fields;  // a JSON object body, e.g. "buffer":1,"looping":true
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
    void add(const std::string& event, const std::string& fields);

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

// A number as JSON writes it: integers without a fraction, nan and infinities as strings.
std::string json_number(double value);
// A JSON string, quoted and escaped.
std::string json_string(const std::string& text);

// The value of a field in an event's fields, as text ("" when absent); strings unquoted.
std::string trace_field(const TraceEvent& event, const std::string& name);
