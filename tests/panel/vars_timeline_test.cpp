// The --vars timeline: its header of variables and units, rows that hold, and the lines it
// refuses.
#include "panel/vars_timeline.h"

#include <gtest/gtest.h>

namespace {

TEST(VarsTimelineTest, HeaderGivesEachVariableItsUnit) {
    VarsTimeline timeline;
    std::string error;
    ASSERT_TRUE(
        read_vars_timeline("# a flight\n"
                           "Time,A:GEAR HANDLE POSITION,bool,\"A:FLAPS HANDLE INDEX,number\","
                           "L:DemoCue,A:ENG RPM:2,rpm\r\n"
                           "\n"
                           "0,1,0,260,1000\n"
                           "2.5,,1\n"
                           "2.5, 0 , , ,2e3\n",
                           timeline, error))
        << error;
    ASSERT_EQ(timeline.columns.size(), 4u);
    EXPECT_EQ(timeline.columns[0].text(), "A:GEAR HANDLE POSITION,bool");
    EXPECT_EQ(timeline.columns[1].text(), "A:FLAPS HANDLE INDEX,number");
    EXPECT_EQ(timeline.columns[2].text(), "L:DemoCue");  // no unit: the next field is a variable
    EXPECT_EQ(timeline.columns[3].index, 2);
    EXPECT_EQ(timeline.columns[3].unit, "rpm");
    ASSERT_EQ(timeline.rows.size(), 3u);
    EXPECT_EQ(timeline.rows[0].line, 4);
    EXPECT_EQ(timeline.rows[1].time, 2.5);
    EXPECT_EQ(timeline.rows[1].given, (std::vector<bool>{false, true, false, false}));
    EXPECT_EQ(timeline.rows[1].values[1], 1);
    EXPECT_EQ(timeline.rows[2].given, (std::vector<bool>{true, false, false, true}));
    EXPECT_EQ(timeline.rows[2].values[3], 2000);
}

TEST(VarsTimelineTest, MalformedLinesAreRefusedWithTheirLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "no header line"},
        {"seconds,A:X\n", "line 1: the first column must be 'time'"},
        // Not "the first column must be 'time'": it is, in a spreadsheet's European CSV.
        {"time;A:X;bool\n0;1\n", "line 1: the fields are separated by ';'"},
        {"time\n0\n", "line 1: no variable columns"},
        {"time,bool\n", "line 1: 'bool' is neither a variable (A:NAME) nor its unit"},
        {"time,K:FLAPS_SET\n", "line 1: 'K:FLAPS_SET': only A: and L: variables can be set"},
        {"time,C:x\n", "line 1: 'C:x': the preview does not model C: variables"},
        {"time,A:X,bool,a:x,percent\n", "line 1: A:x,percent has two columns"},
        {"time,A:X\n1,0\n0.5,1\n", "line 3: the time goes back"},
        {"time,A:X\n-1,0\n", "line 2: the time '-1' is not a number of seconds"},
        {"time,A:X\nsoon,0\n", "line 2: the time 'soon' is not a number"},
        {"time,A:X\n0,0,1\n", "line 2: 3 fields, but the header has 2"},
        {"time,A:X\n0,up\n", "line 2: 'up' for A:X is not a number"},
        {"time,A:X\n0,nan\n", "line 2: 'nan' for A:X is not a number"},
        {"time,\"A:X\n", "line 1: a quote without its closing quote"},
    };
    for (const auto& c : cases) {
        VarsTimeline timeline;
        std::string error;
        EXPECT_FALSE(read_vars_timeline(c.text, timeline, error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave: " << error;
    }
}

}  // namespace
