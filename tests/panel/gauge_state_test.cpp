// A gauge's state at each update, element kind by element kind, from gauges written here from
// the SDK's description: what shows, which case, how far it moved and turned, what its texts say,
// and its geometry (bitmap sizes from a folder or a cabinet, areas resolved).
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "panel/panel_runner.h"
#include "panel/units.h"
#include "support/file_text.h"

namespace {

struct Files : PanelFiles {
    std::map<std::string, std::string> files;  // by lower-case path
    Result read(const std::string& path, size_t, std::string& bytes) override {
        const auto found = files.find(lower_text(path));
        if (found == files.end()) return MISSING;
        bytes = found->second;
        return READ;
    }
    bool exists(const std::string& path) override { return files.count(lower_text(path)) > 0; }
};

// L: variables by name; writes counted, problems kept.
struct Variables : PanelVariables, PanelListener {
    std::vector<std::string> names;
    std::vector<double> values;
    int writes = 0;
    std::vector<std::string> problems;
    int bind(const VariableRef& variable, std::string&) override {
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] == variable.name) return static_cast<int>(i);
        }
        names.push_back(variable.name);
        values.push_back(0);
        return static_cast<int>(names.size()) - 1;
    }
    double read(int handle) override { return values[static_cast<size_t>(handle)]; }
    void write(int handle, double value, const ScriptSource&) override {
        values[static_cast<size_t>(handle)] = value;
        ++writes;
    }
    void host_gauge_update(int) override {}
    void script_problem(const ScriptSource& by, int line, const std::string&,
                        const std::string& message) override {
        problems.push_back(*by.place + " line " + std::to_string(line) + ": " + message);
    }
    void set(const std::string& name, double value) {
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name) values[i] = value;
        }
    }
};

// One gauge in Gauges/g/, run in a panel of its own.
struct OneGauge {
    Files files;
    Variables variables;
    std::unique_ptr<PanelRunner> runner;
    explicit OneGauge(const std::string& xml) {
        files.files["panel.cfg"] = "[Window00]\ngauge00=g!t, 0, 0\n";
        files.files["gauges/g/t.xml"] = xml;
        files.files["gauges/g/dial.bmp"] = file_text(CUEBOX_FIXTURE_GAUGES "/dial.bmp");
        runner =
            std::make_unique<PanelRunner>(load_panel("panel.cfg", files, {}), variables, variables);
    }
    const GaugeState& update(double seconds = 1.0 / 18) {
        runner->update(seconds);
        return runner->state().gauges.at(0);
    }
    const GaugeGeometry& geometry() const { return runner->panel().gauges.at(0).xml.geometry; }
};

TEST(GaugeStateTest, VisibleHidesAnElementAndEverythingInIt) {
    OneGauge gauge(
        "<Gauge>\n"
        "<Element><Visible>(L:outer)</Visible>\n"
        "  <Element><Visible>(L:inner)</Visible>\n"
        "    <Select><Value>1 (&gt;L:ran)</Value></Select></Element>\n"
        "</Element>\n"
        "<Element><Image Name=\"dial.bmp\"/></Element>\n"
        "</Gauge>\n");
    const struct {
        double outer, inner;
        bool outer_shown, inner_shown;
        int writes;  // the inner element's value runs only when it shows
    } rows[] = {{0, 0, false, false, 0},
                {0, 1, false, false, 0},
                {1, 0, true, false, 0},
                {2, 1, true, true, 1},
                {-1, 1, true, true, 1}};
    for (const auto& row : rows) {
        gauge.variables.set("outer", row.outer);
        gauge.variables.set("inner", row.inner);
        gauge.variables.writes = 0;
        const GaugeState& state = gauge.update();
        EXPECT_EQ(state.elements[0].visible, row.outer_shown) << row.outer << " " << row.inner;
        EXPECT_EQ(state.elements[1].visible, row.inner_shown) << row.outer << " " << row.inner;
        EXPECT_EQ(gauge.variables.writes, row.writes) << row.outer << " " << row.inner;
        EXPECT_TRUE(state.elements[2].visible);  // no <Visible>: always
    }
}

TEST(GaugeStateTest, SelectChoosesTheCaseOfTheValuesWholePart) {
    OneGauge gauge(
        "<Gauge><Element><Image Name=\"dial.bmp\"/>\n"
        "<Select><Value Minimum=\"0\" Maximum=\"5\">(L:v)</Value>\n"
        "  <Case Value=\"0\"><Image Name=\"off.bmp\"/></Case>\n"
        "  <Case Value=\"1\"><Image Name=\"on.bmp\"/></Case>\n"
        "  <Case Value=\"5\"><Image Name=\"top.bmp\"/></Case>\n"
        "</Select></Element></Gauge>\n");
    const struct {
        double value;
        int chosen;
        const char* image;
    } rows[] = {{0, 0, "off.bmp"},
                {1.9, 1, "on.bmp"},
                {-3, 0, "off.bmp"},  // held at Minimum
                {9, 2, "top.bmp"},
                {3, -1, "dial.bmp"}};  // no case: the element's own image
    for (const auto& row : rows) {
        gauge.variables.set("v", row.value);
        const ElementState& state = gauge.update().elements[0];
        EXPECT_EQ(state.chosen_case, row.chosen) << row.value;
        ASSERT_GE(state.image, 0) << row.value;
        EXPECT_EQ(gauge.geometry().images[state.image].name, row.image) << row.value;
    }
}

TEST(GaugeStateTest, ShiftScalesFollowsItsNonlinearityAndItsDelay) {
    OneGauge gauge(
        "<Gauge>\n"
        "<Element><Position X=\"10\" Y=\"20\"/>\n"
        "  <Shift><Value Maximum=\"10\">(L:v)</Value><Scale X=\"2\" Y=\"-1\"/></Shift>\n"
        "  <Element><Position X=\"1\" Y=\"1\"/></Element>\n"
        "</Element>\n"
        "<Element><Shift><Value>(L:v)</Value>\n"
        "  <Nonlinearity><Item Value=\"0\" X=\"0\" Y=\"0\"/><Item Value=\"4\" X=\"0\" Y=\"40\"/>\n"
        "  <Item Value=\"8\" X=\"20\" Y=\"40\"/></Nonlinearity></Shift></Element>\n"
        "<Element><Shift><Value>(L:v)</Value><Scale X=\"1\"/><Delay PixelsPerSecond=\"2\"/>\n"
        "</Shift></Element>\n"
        "</Gauge>\n");
    const struct {
        double value, seconds;
        double x0, y0;                             // the scaled element, where its axis lands
        double x1;                                 // the element inside it moves with it
        double sx2, sy2;                           // along the items
        double sx3;                                // at most 2 pixels a second
    } rows[] = {{3, 0.5, 16, 17, 17, 0, 30, 3},    // the first update places it at once
                {20, 0.5, 30, 10, 31, 20, 40, 4},  // held at Maximum; beyond the last item
                {6, 1, 22, 14, 23, 10, 40, 6},
                {-2, 1, 6, 22, 7, 0, 0, 4}};
    for (const auto& row : rows) {
        gauge.variables.set("v", row.value);
        const GaugeState& state = gauge.update(row.seconds);
        EXPECT_DOUBLE_EQ(state.elements[0].x, row.x0) << row.value;
        EXPECT_DOUBLE_EQ(state.elements[0].y, row.y0) << row.value;
        EXPECT_DOUBLE_EQ(state.elements[1].x, row.x1) << row.value;
        EXPECT_DOUBLE_EQ(state.elements[2].shift_x, row.sx2) << row.value;
        EXPECT_DOUBLE_EQ(state.elements[2].shift_y, row.sy2) << row.value;
        EXPECT_DOUBLE_EQ(state.elements[3].shift_x, row.sx3) << row.value;
    }
}

TEST(GaugeStateTest, RotateTurnsByItsValueItsPointsOrItsDegrees) {
    OneGauge gauge(
        "<Gauge>\n"
        "<Element><Image Name=\"dial.bmp\"><Axis X=\"1\" Y=\"2\"/></Image>\n"
        "  <Rotate><Value Minimum=\"0\">(L:v)</Value></Rotate></Element>\n"
        // Points of the gauge around the position (50, 50): north, east, south.
        "<Element><Position X=\"50\" Y=\"50\"/><Image Name=\"dial.bmp\" PointsTo=\"East\"/>\n"
        "  <Rotate><Value>(L:v)</Value><Nonlinearity><Item Value=\"0\" X=\"50\" Y=\"0\"/>\n"
        "  <Item Value=\"1\" X=\"100\" Y=\"50\"/><Item Value=\"2\" X=\"50\" Y=\"100\"/>\n"
        "  </Nonlinearity></Rotate></Element>\n"
        "<Element><Image Name=\"dial.bmp\"/><Rotate><Value>(L:v)</Value>\n"
        "  <Nonlinearity><Item Value=\"0\" Degrees=\"0\"/><Item Value=\"2\" Degrees=\"90\"/>\n"
        "  </Nonlinearity><Delay DegreesPerSecond=\"30\"/></Rotate></Element>\n"
        "</Gauge>\n");
    const struct {
        double value, seconds;
        double plain, pointed, degrees;  // radians, clockwise from the bitmap as drawn
    } rows[] = {{1, 1, 1, 0, PI / 4},    // placed at once; an east-pointing bitmap aimed east
                {-1, 1, 0, -PI / 2, PI / 4 - PI / 6},  // held at Minimum; 30 degrees a second
                {1.5, 0.5, 1.5, PI / 4, PI / 4 - PI / 12},
                {2, 1, 2, PI / 2, PI / 4 + PI / 12}};
    for (const auto& row : rows) {
        gauge.variables.set("v", row.value);
        const GaugeState& state = gauge.update(row.seconds);
        EXPECT_NEAR(state.elements[0].angle, row.plain, 1e-9) << row.value;
        EXPECT_NEAR(state.elements[1].angle, row.pointed, 1e-9) << row.value;
        EXPECT_NEAR(state.elements[2].angle, row.degrees, 1e-9) << row.value;
        EXPECT_EQ(state.elements[0].axis_x, 1);
        EXPECT_EQ(state.elements[0].axis_y, 2);
    }
}

TEST(GaugeStateTest, StringsFormatTheirScriptsAndShowTheirConditions) {
    const struct {
        const char* text;
        double value;
        const char* shown;
    } rows[] = {
        {"%((L:v))%!3d! KT", 42.7, " 42 KT"},  // the whole part, as C's printf shows it
        {"%((L:v))%!03d!", -4.2, "-04"},
        {"%((L:v))%!1.2f!", 3.14159, "3.14"},
        {"[%((L:v))%!-4d!]", 7, "[7   ]"},
        {"%((L:v))%!+d!", 7, "+7"},
        {"%((L:v))%!x!", 255, "ff"},
        {"%((L:v))%", 2.5, "2.5"},
        {"%((L:v))%{if}ON%{else}OFF%{end}", 1, "ON"},
        {"%((L:v))%{if}ON%{else}OFF%{end}", 0, "OFF"},
        {"A%((L:v) 1 &gt;)%{if}B%((L:v) 5 &gt;)%{if}C%{else}D%{end}E%{end}F", 3, "ABDEF"},
        {"A%((L:v) 1 &gt;)%{if}B%((L:v) 5 &gt;)%{if}C%{else}D%{end}E%{end}F", 0, "AF"},
        {"%((L:v))%!q!", 1.5, "1.5"},  // a format it does not know: the number as it is
        {"50%", 0, "50%"},
        {"[%('N123')%!s!]", 0, "[N123]"},  // a script that leaves a text
        {"%('ab' 'cd' scat)%", 0, "abcd"},
        {"%((L:v))%!4s!", 7, "   7"},
    };
    for (const auto& row : rows) {
        OneGauge gauge(std::string("<Gauge><Element><Text X=\"40\" Y=\"10\" Length=\"4\" "
                                   "Font=\"Arial\" Adjust=\"Right\"><String>") +
                       row.text + "</String></Text></Element></Gauge>");
        gauge.runner->update();
        gauge.variables.set("v", row.value);
        EXPECT_EQ(gauge.update().elements[0].text, row.shown) << row.text << " " << row.value;
        const GaugeTextBox& box = gauge.geometry().elements[0].text;
        EXPECT_EQ(box.width, 40);
        EXPECT_EQ(box.length, 4);
        EXPECT_EQ(box.adjust, "Right");
    }
}

TEST(GaugeStateTest, AreasAreResolvedWithinTheGaugeAndTheirTooltipsFormatted) {
    OneGauge gauge(
        "<Gauge><Size X=\"100\" Y=\"80\"/>\n"
        "<Mouse><Tooltip>whole</Tooltip>\n"
        "  <Area Left=\"10\" Top=\"20\" Right=\"50\" Bottom=\"60\">\n"
        "    <Tooltip>Speed %((L:v))%!d! kt</Tooltip>\n"
        "    <Area Left=\"5\" Top=\"5\"><Cursor Type=\"Hand\"/>\n"
        "      <Click Kind=\"LeftSingle+WheelUp\" Repeat=\"Yes\">1 (&gt;L:c)</Click></Area>\n"
        "  </Area>\n"
        "  <Area Left=\"90\"><Click Event=\"GEAR_TOGGLE\"/></Area>\n"
        "</Mouse></Gauge>\n");
    const struct {
        double left, top, width, height;
        const char* kind;
        bool repeat;
    } rows[] = {{10, 20, 40, 40, "", false},
                {15, 25, 35, 35, "LeftSingle+WheelUp", true},  // the rest of the area around it
                {90, 0, 10, 80, "LeftSingle", false},          // the rest of the gauge
                {0, 0, 100, 80, "", false}};                   // the <Mouse> itself
    const GaugeGeometry& geometry = gauge.geometry();
    ASSERT_EQ(geometry.areas.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(geometry.areas[i].left, rows[i].left) << i;
        EXPECT_EQ(geometry.areas[i].top, rows[i].top) << i;
        EXPECT_EQ(geometry.areas[i].width, rows[i].width) << i;
        EXPECT_EQ(geometry.areas[i].height, rows[i].height) << i;
        EXPECT_EQ(geometry.areas[i].kind, rows[i].kind) << i;
        EXPECT_EQ(geometry.areas[i].repeat, rows[i].repeat) << i;
    }
    EXPECT_EQ(geometry.areas[1].cursor, "Hand");
    EXPECT_EQ(geometry.areas[2].event, "GEAR_TOGGLE");
    gauge.runner->update();
    gauge.variables.set("v", 120.6);
    const GaugeState& state = gauge.update();
    EXPECT_EQ(state.areas[0].tooltip, "Speed 120 kt");
    EXPECT_EQ(state.areas[3].tooltip, "whole");
}

TEST(GaugeStateTest, ImagesAreSizedFromTheirBitmapsInAFolderOrACabinet) {
    const char* xml =
        "<Gauge><Image Name=\"dial.bmp\"/>\n"
        "<Element><Image Name=\"missing.bmp\" ImageSizes=\"12,7,24,14\"/></Element>\n"
        "<Mouse><Area><Click>1</Click></Area></Mouse></Gauge>\n";
    OneGauge folder(xml);
    const GaugeGeometry& geometry = folder.geometry();
    ASSERT_EQ(geometry.images.size(), 2u);
    EXPECT_EQ(geometry.images[0].source, "Gauges/g/dial.bmp");
    EXPECT_EQ(geometry.images[0].width, 3);
    EXPECT_EQ(geometry.images[0].height, 2);
    EXPECT_EQ(geometry.images[1].width, 12);  // not found: ImageSizes stands in
    EXPECT_EQ(geometry.images[1].height, 7);
    EXPECT_EQ(geometry.images[1].source, "");
    // The gauge takes its background's size, and an area without one the whole gauge.
    EXPECT_EQ(geometry.width, 3);
    EXPECT_EQ(geometry.height, 2);
    EXPECT_EQ(geometry.areas[0].width, 3);
    // The stored cabinet holds Alpha.xml and the bitmap it names.
    Files cabinet;
    cabinet.files["panel.cfg"] = "[Window00]\ngauge00=stored!alpha, 0, 0\n";
    cabinet.files["gauges/stored.cab"] = file_text(CUEBOX_STORED_CABINET);
    const LoadedPanel packed = load_panel("panel.cfg", cabinet, {});
    ASSERT_EQ(packed.gauges.size(), 1u);
    const GaugeImage& image = packed.gauges[0].xml.geometry.images.at(0);
    EXPECT_EQ(image.source, "Gauges/stored.cab");
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(packed.gauges[0].xml.geometry.height, 2);
}

}  // namespace
