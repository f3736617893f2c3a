// The trace's own rules, which a run's tests see only in part: the line printed for each kind of
// event, which events print none, and the JSON written for numbers and for fields that would
// take the place of the event's own.
#include "host/trace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TraceEvent event(const char* name, TraceFields fields) {
    return TraceEvent{12, 0.5, name, std::move(fields)};
}

TEST(Trace, EachEventReadsAsOneLineOrNone) {
    const std::string at = "update   12    0.500 s  ";
    const struct {
        TraceEvent event;
        std::string line;  // after the update and time; "" for no line
    } cases[] = {
        {event("read", {{"value", 7}}), "read 7"},
        {event("read", {{"value", 260}}), ""},  // the idle value the module wrote back
        {event("read", {{"value", -260}}), "read -260"},
        {event("write", {{"value", 260}}), "write 260"},
        {event("gauge_write", {{"value", 3}}), "a gauge writes 3"},
        {event("gauge_write", {{"value", 3}, {"gauge", "g!x"}, {"script", "Click"}}),
         "gauge g!x writes 3 (Click)"},
        {event("open", {{"path", "a.wav"}, {"via", "fopen"}, {"resolved", nullptr}}),
         "open a.wav (fopen): not found"},
        {event("open", {{"path", "a.wav"}, {"via", "fopen"}, {"resolved", "/r/a.wav"}}),
         "open a.wav (fopen): /r/a.wav"},
        {event("create", {{"buffer", 2},
                          {"tag", 1},
                          {"channels", 1},
                          {"rate", 22050},
                          {"bits", 16},
                          {"bytes", 100},
                          {"result", 0}}),
         "buffer 2 created: PCM, 1 ch, 22050 Hz, 16-bit, 100 bytes, result 0"},
        {event("create", {{"buffer", nullptr},
                          {"tag", 85},
                          {"channels", 1},
                          {"rate", 22050},
                          {"bits", 0},
                          {"bytes", 100},
                          {"result", "0x88780064"}}),
         "no buffer created: MPEG Layer 3, 1 ch, 22050 Hz, 0-bit, 100 bytes, result 0x88780064 "
         "DSERR_BADFORMAT (the device does not take this wave format)"},
        {event("play", {{"buffer", 2}, {"looping", true}, {"position", 0}}),
         "buffer 2 loops from byte 0"},
        {event("play", {{"buffer", 2}, {"looping", false}, {"position", 8}}),
         "buffer 2 plays once from byte 8"},
        {event("device", {{"result", "0x88780078"}}),
         "sound device started, result 0x88780078 DSERR_NODRIVER (no sound device is there to "
         "use)"},
        {event("profile", {{"key", "LVar"}}), ""},
        {event("element_state", {{"gauge", "g!x"}}), ""},
        {event("mystery", {{"n", 1}}), "mystery {\"n\":1}"},
        {event("mystery", TraceFields::object()), "mystery"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trace_readable(c.event), c.line.empty() ? "" : at + c.line) << c.event.event;
    }
}

TEST(Trace, JsonKeepsTheEventsOwnFieldsAndWritesEveryNumber) {
    EXPECT_EQ(trace_json(event("read", {{"value", 7}, {"event", "write"}, {"update", 1}})),
              "{\"update\":12,\"event\":\"read\",\"value\":7}");
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char* json;
    } numbers[] = {
        {260, "260"},         {-0.5, "-0.5"},     {1e14, "100000000000000"},
        {1e15, "1e+15"},      {std::nan(""), "\"nan\""},
        {inf, "\"inf\""},     {-inf, "\"-inf\""},
    };
    for (const auto& n : numbers) EXPECT_EQ(json_text(json_number(n.value)), n.json) << n.value;
    // Bytes that are no UTF-8 (a path in the code page's bytes) still give valid JSON.
    EXPECT_EQ(json_text(TraceFields("caf\xE9")), "\"caf\xEF\xBF\xBD\"");
}

}  // namespace
