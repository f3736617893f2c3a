// XML gauges: which scripts run at every update and in which order, mouse areas, macros, and
// files that are not gauges.
#include "panel/xml_gauge.h"

#include <gtest/gtest.h>

namespace {

XmlGauge read(const std::string& text) {
    XmlGauge gauge;
    std::string error;
    EXPECT_TRUE(read_xml_gauge(text, gauge, error)) << error;
    return gauge;
}

std::string refused(const std::string& text) {
    XmlGauge gauge;
    std::string error;
    EXPECT_FALSE(read_xml_gauge(text, gauge, error)) << text;
    return error;
}

TEST(XmlGaugeTest, UpdateFirstThenEveryValueInFileOrderNestedToo) {
    const XmlGauge gauge = read(
        "<?xml version=\"1.0\"?>\n"
        "<Gauge Name=\"Sounds\" Version=\"1.0\">\n"
        "  <Element><Select><Value>1</Value></Select>\n"
        "    <Element><Select><Value>2</Value></Select></Element>\n"
        "  </Element>\n"
        "  <Element><Image Name=\"x.bmp\"/></Element>\n"
        "  <element><select><value>3 <!-- a comment --> 4</value></select></element>\n"
        "  <Update>0 (&gt;L:a) &lt;</Update>\n"
        "</Gauge>\n");
    EXPECT_EQ(gauge.name, "Sounds");
    ASSERT_EQ(gauge.scripts.size(), 4u);
    ASSERT_EQ(gauge.update, 3);
    EXPECT_EQ(gauge.scripts[3].place, "Update");
    EXPECT_EQ(gauge.scripts[3].text, "0 (>L:a) <");  // entities decoded
    EXPECT_EQ(gauge.scripts[3].line, 8);
    ASSERT_EQ(gauge.elements.size(), 4u);
    EXPECT_EQ(gauge.scripts[gauge.elements[0].select].place, "Element 1 Value");
    EXPECT_EQ(gauge.scripts[gauge.elements[1].select].place, "Element 2 Value");
    EXPECT_EQ(gauge.scripts[gauge.elements[1].select].text, "2");
    EXPECT_EQ(gauge.geometry.elements[1].parent, 1);
    EXPECT_EQ(gauge.elements[2].select, -1);
    EXPECT_EQ(gauge.scripts[gauge.elements[3].select].place, "Element 4 Value");
    EXPECT_EQ(gauge.scripts[gauge.elements[3].select].text, "3  4");
    EXPECT_EQ(gauge.scripts[gauge.elements[3].select].line, 7);
}

TEST(XmlGaugeTest, MouseAreasAreNumberedInFileOrderWithTheirTooltips) {
    const XmlGauge gauge = read(
        "<Gauge Name=\"Panel\">\n"
        "  <Mouse>\n"
        "    <Tooltip>the whole gauge</Tooltip>\n"
        "    <Area Left=\"0\" Top=\"0\" Width=\"10\" Height=\"10\">\n"
        "      <Tooltip> Gear horn test </Tooltip>\n"
        "      <Click>7 (&gt;L:jvb_cuebox_id, number)</Click>\n"
        "      <Area><Click Event=\"TOGGLE_MASTER_BATTERY\"/></Area>\n"
        "    </Area>\n"
        "    <Area><Tooltip>nothing to click</Tooltip></Area>\n"
        "  </Mouse>\n"
        "</Gauge>\n");
    // The <Mouse>'s own tooltip makes an area of the whole gauge, after the others.
    ASSERT_EQ(gauge.areas.size(), 4u);
    EXPECT_EQ(gauge.areas[0].index, 1);
    EXPECT_EQ(gauge.areas[0].tooltip, "Gear horn test");
    EXPECT_EQ(gauge.scripts[gauge.areas[0].click].text, "7 (>L:jvb_cuebox_id, number)");
    EXPECT_EQ(gauge.scripts[gauge.areas[0].click].place, "Area 1 Click");
    EXPECT_EQ(gauge.areas[1].index, 2);
    EXPECT_EQ(gauge.scripts[gauge.areas[1].click].text, "(>K:TOGGLE_MASTER_BATTERY)");
    EXPECT_EQ(gauge.geometry.areas[1].event, "TOGGLE_MASTER_BATTERY");
    EXPECT_FALSE(gauge.areas[2].has_click);
    EXPECT_EQ(gauge.areas[2].tooltip, "nothing to click");
    EXPECT_EQ(gauge.areas[3].tooltip, "the whole gauge");
    EXPECT_EQ(gauge.update, -1);
}

TEST(XmlGaugeTest, MouseAreasHaveTheirRectanglesAndCursors) {
    const XmlGauge gauge = read(
        "<Gauge Name=\"Panel\"><Mouse>\n"
        "  <Area Left=\"10\" Top=\"20\" Width=\"30\" Height=\"40\"><Cursor Type=\"Hand\"/>\n"
        "    <Area Left=\"5\" Top=\"6\" Width=\"7\" Height=\"8\"><Click>1</Click></Area>\n"
        "  </Area>\n"
        "  <Area><Click>2</Click></Area>\n"
        "</Mouse></Gauge>\n");
    ASSERT_EQ(gauge.areas.size(), 3u);
    const struct {
        double left, top, width, height;
        const char* cursor;
    } expected[] = {{10, 20, 30, 40, "Hand"}, {15, 26, 7, 8, ""}, {0, 0, 0, 0, ""}};
    for (size_t i = 0; i < 3; ++i) {
        const GaugeArea& area = gauge.areas[i];
        EXPECT_EQ(area.left, expected[i].left) << i;
        EXPECT_EQ(area.top, expected[i].top) << i;
        EXPECT_EQ(area.width, expected[i].width) << i;
        EXPECT_EQ(area.height, expected[i].height) << i;
        EXPECT_EQ(area.cursor, expected[i].cursor) << i;
    }
}

TEST(XmlGaugeTest, MacrosExpandWithinMacrosAndUnknownOnesStay) {
    const XmlGauge gauge = read(
        "<Gauge>\n"
        "  <Macro Name=\"cue\">(&gt;L:jvb_cuebox_id, number)</Macro>\n"
        "  <Macro Name=\"Gear\">3 @cue</Macro>\n"
        "  <Update>@gear @other @cue2 x@cue</Update>\n"
        "</Gauge>\n");
    ASSERT_EQ(gauge.update, 0);
    EXPECT_EQ(gauge.scripts[0].text,
              "3 (>L:jvb_cuebox_id, number) @other @cue2 x(>L:jvb_cuebox_id, number)");
}

// The script that uses such a macro does not run; the rest of the gauge does.
TEST(XmlGaugeTest, MacrosThatNeverEndStopTheirScriptOnly) {
    auto update_error = [](const std::string& text) {
        const XmlGauge gauge = read(text);
        EXPECT_EQ(gauge.update, 0);
        return gauge.update < 0 ? std::string() : gauge.scripts[0].error;
    };
    EXPECT_NE(update_error("<Gauge><Macro Name=\"a\">1 @a</Macro><Update>@a</Update></Gauge>")
                  .find("deeper than"),
              std::string::npos);
    // Each level quadruples: the text limit stops it before memory does.
    std::string doubling = "<Gauge><Macro Name=\"m0\">xxxxxxxxxxxxxxxx</Macro>";
    const int top = MACRO_DEPTH_LIMIT - 1;
    for (int i = 1; i <= top; ++i) {
        doubling += "<Macro Name=\"m" + std::to_string(i) + "\">@m" + std::to_string(i - 1) +
                    " @m" + std::to_string(i - 1) + " @m" + std::to_string(i - 1) + " @m" +
                    std::to_string(i - 1) + "</Macro>";
    }
    doubling += "<Update>@m" + std::to_string(top) + "</Update></Gauge>";
    EXPECT_NE(update_error(doubling).find("grows beyond"), std::string::npos);
}

TEST(XmlGaugeTest, FilesThatAreNotGaugesSayWhy) {
    const std::string unclosed = refused("<Gauge>\n<Element>\n</Gauge>");
    EXPECT_EQ(unclosed.rfind("line 2: not well-formed XML", 0), 0u);
    EXPECT_EQ(unclosed.find("&lt;"), std::string::npos) << "only a '<' that opens no tag is meant";
    // A script's comparison written as it reads: the message says how XML wants it.
    for (const char* script : {"1 < 2", "(L:a) <= 3", "(L:a)<1"}) {
        EXPECT_NE(refused(std::string("<Gauge>\n<Update>") + script + "</Update></Gauge>")
                      .find("must be written &lt;"),
                  std::string::npos)
            << script;
    }
    EXPECT_NE(refused("<SimBase.Document Type=\"AceXML\"/>").find("newer gauge formats"),
              std::string::npos);
    EXPECT_NE(refused("").find("not well-formed"), std::string::npos);
    EXPECT_NE(refused(std::string(XML_GAUGE_SIZE_LIMIT + 1, ' ')).find("larger than"),
              std::string::npos);
}

}  // namespace
