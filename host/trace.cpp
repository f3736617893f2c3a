// Recording and printing the trace of a run.
#include "host/trace.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "control/protocol.h"
#include "host/panel_host.h"
#include "host/result_text.h"
#if defined(_WIN32)
#include "host/platform_recorder.h"
#else
#include "platform/standin.h"
#endif

namespace {

#if !defined(_WIN32)
void from_platform(const char* event, const char* fields, void* context) {
    // The platform writes its fields with the same library; should they ever not parse, the
    // event still appears, with the text kept.
    TraceFields parsed = TraceFields::parse(fields, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) parsed = {{"unparsed", fields}};
    static_cast<TraceRecorder*>(context)->add(event, std::move(parsed));
}
#endif

}  // namespace

TraceRecorder::TraceRecorder(PanelHost& host) : host_(host) {
    host_.on_read = [this](VariableId, double value) {
        add("read", {{"value", json_number(value)}});
    };
    host_.on_write = [this](VariableId, double value) {
        add("write", {{"value", json_number(value)}});
    };
#if defined(_WIN32)
    platform_recorder::set_trace(
        [this](const std::string& event, TraceFields fields) { add(event, std::move(fields)); },
        [this] { return time_; });
#else
    standin_set_trace(&from_platform, this);
#endif
}

TraceRecorder::~TraceRecorder() {
    host_.on_read = nullptr;
    host_.on_write = nullptr;
#if defined(_WIN32)
    platform_recorder::set_trace(nullptr, nullptr);
#else
    standin_set_trace(nullptr, nullptr);
#endif
}

void TraceRecorder::add(const std::string& event, TraceFields fields) {
    events_.push_back(TraceEvent{update_, time_, event, std::move(fields)});
    if (live) live(events_.back(), live_context);
}

TraceFields json_number(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    if (value == std::floor(value) && std::fabs(value) < 1e15) return static_cast<long long>(value);
    return value;
}

std::string json_text(const nlohmann::ordered_json& value, int indent) {
    return value.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string trace_json(const TraceEvent& event) {
    TraceFields line = {{"update", event.update}, {"event", event.event}};
    // A field cannot take the place of the event's own name or update.
    for (auto field = event.fields.begin(); field != event.fields.end(); ++field) {
        if (!line.contains(field.key())) line[field.key()] = field.value();
    }
    return json_text(line);
}

std::string trace_field(const TraceEvent& event, const std::string& name) {
    const auto found = event.fields.find(name);
    if (found == event.fields.end()) return "";
    if (found->is_string()) return found->get<std::string>();
    return json_text(*found);
}

bool reads_idle(const TraceEvent& event) {
    if (event.event != "read") return false;
    const auto found = event.fields.find("value");
    return found != event.fields.end() && *found == json_number(IDLE_VALUE);
}

std::string trace_readable(const TraceEvent& event) {
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "update %4ld  %7.3f s  ", event.update, event.time);
    const std::string& e = event.event;
    auto field = [&](const char* name) { return trace_field(event, name); };
    std::string text;
    if (e == "read") {
        if (reads_idle(event)) return "";
        text = "read " + field("value");
    } else if (e == "gauge_write") {
        const std::string gauge = field("gauge");
        text = gauge.empty()
                   ? "a gauge writes " + field("value")
                   : "gauge " + gauge + " writes " + field("value") + " (" + field("script") + ")";
    } else if (e == "key_event") {
        text = "gauge " + field("gauge") + " sends " + field("name") + " " + field("value") +
               (field("second_value").empty() ? "" : " " + field("second_value"));
    } else if (e == "command_lost") {
        text = "command " + field("value") + " LOST: gauge " + field("gauge") + " wrote it (" +
               field("script") + ", update " + field("written_update") + "), then gauge " +
               field("by_gauge") + " wrote " + field("by_value") + " over it (" +
               field("by_script") + ") before the module read it";
    } else if (e == "set") {
        text = "set " + field("variable") + " = " + field("value") + " (" + field("by") + ")";
    } else if (e == "click") {
        text = "click on " + field("gauge") + ", area " + field("area") +
               (field("copy").empty() ? "" : ", " + field("copy"));
    } else if (e == "script_problem") {
        text = "gauge " + field("gauge") + ", " + field("script") + ", line " + field("line") +
               ", at '" + field("token") + "': " + field("message");
    } else if (e == "panel_note") {
        text = field("message");
    } else if (e == "lose") {
        // The platform names each buffer it takes, then the scenario's step says it once.
        text = field("buffer").empty() ? std::string("the platform has lost every sound buffer")
                                       : "buffer " + field("buffer") + " lost";
    } else if (e == "write") {
        text = "write " + field("value");
    } else if (e == "open") {
        const std::string resolved = field("resolved");
        text = "open " + field("path") + " (" + field("via") +
               "): " + (resolved == "null" || resolved.empty() ? "not found" : resolved);
    } else if (e == "create") {
        // A buffer the device refused has no number: "buffer null" would read as a name.
        const std::string buffer = field("buffer");
        text = (buffer == "null" ? std::string("no buffer created")
                                 : "buffer " + buffer + " created") +
               ": " + format_name(static_cast<unsigned>(std::atoi(field("tag").c_str())), 0) +
               ", " + field("channels") + " ch, " + field("rate") + " Hz, " + field("bits") +
               "-bit, " + field("bytes") + " bytes, result " + result_text(field("result"));
    } else if (e == "play") {
        text = "buffer " + field("buffer") +
               (field("looping") == "true" ? " loops" : " plays once") + " from byte " +
               field("position");
    } else if (e == "stop") {
        text = "buffer " + field("buffer") + " stops at byte " + field("position");
    } else if (e == "position") {
        text = "buffer " + field("buffer") + " moves to byte " + field("position");
    } else if (e == "restore") {
        text = "buffer " + field("buffer") + " restored, result " + result_text(field("result"));
    } else if (e == "release") {
        text = "buffer " + field("buffer") + " released";
    } else if (e == "device") {
        text = "sound device started, result " + result_text(field("result"));
    } else if (e == "device_release") {
        text = "sound device released";
    } else if (e == "profile" || e == "lock" || e == "unlock") {
        return "";
    } else if (e == "element_state") {
        // What a gauge draws is for the page and the trace; the printed run stays about sound.
        return "";
    } else {
        text = e + (event.fields.empty() ? "" : " " + json_text(event.fields));
    }
    return prefix + text;
}
