// Recording and printing the trace of a run.
#include "host/trace.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/panel_host.h"
#include "host/results.h"
#if !defined(_WIN32)
#include "platform/standin.h"
#endif

namespace {

#if !defined(_WIN32)
void from_platform(const char* event, const char* fields, void* context) {
    static_cast<TraceRecorder*>(context)->add(event, fields);
}
#endif

}  // namespace

TraceRecorder::TraceRecorder(PanelHost& host) : host_(host) {
    host_.on_read = [this](VariableId, double value) {
        add("read", "\"value\":" + json_number(value));
    };
    host_.on_write = [this](VariableId, double value) {
        add("write", "\"value\":" + json_number(value));
    };
#if !defined(_WIN32)
    standin_set_trace(&from_platform, this);
#endif
}

TraceRecorder::~TraceRecorder() {
    host_.on_read = nullptr;
    host_.on_write = nullptr;
#if !defined(_WIN32)
    standin_set_trace(nullptr, nullptr);
#endif
}

void TraceRecorder::add(const std::string& event, const std::string& fields) {
    events_.push_back(TraceEvent{update_, time_, event, fields});
    if (live) live(events_.back(), live_context);
}

std::string json_number(double value) {
    if (std::isnan(value)) return "\"nan\"";
    if (std::isinf(value)) return value > 0 ? "\"inf\"" : "\"-inf\"";
    char text[40];
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        std::snprintf(text, sizeof text, "%.0f", value);
    } else {
        std::snprintf(text, sizeof text, "%.17g", value);
    }
    return text;
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string trace_json(const TraceEvent& event) {
    std::string line =
        "{\"update\":" + std::to_string(event.update) + ",\"event\":\"" + event.event + "\"";
    if (!event.fields.empty()) line += "," + event.fields;
    return line + "}";
}

std::string trace_field(const TraceEvent& event, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    size_t at = event.fields.find(key);
    if (at == std::string::npos) return "";
    at += key.size();
    if (event.fields[at] == '"') {
        std::string text;
        for (size_t i = at + 1; i < event.fields.size() && event.fields[i] != '"'; ++i) {
            if (event.fields[i] == '\\' && i + 1 < event.fields.size()) ++i;
            text += event.fields[i];
        }
        return text;
    }
    const size_t end = event.fields.find(',', at);
    return event.fields.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

std::string trace_readable(const TraceEvent& event) {
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "update %4ld  %7.3f s  ", event.update, event.time);
    const std::string& e = event.event;
    auto field = [&](const char* name) { return trace_field(event, name); };
    std::string text;
    if (e == "read") {
        if (field("value") == "260") return "";
        text = "read " + field("value");
    } else if (e == "gauge_write") {
        const std::string gauge = field("gauge");
        text = gauge.empty()
                   ? "a gauge writes " + field("value")
                   : "gauge " + gauge + " writes " + field("value") + " (" + field("script") + ")";
    } else if (e == "key_event") {
        text = "gauge " + field("gauge") + " sends " + field("name") + " " + field("value");
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
        text = "the platform loses every sound buffer";
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
    } else {
        text = e + (event.fields.empty() ? "" : " " + event.fields);
    }
    return prefix + text;
}
