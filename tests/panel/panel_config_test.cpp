// Reading panel.cfg as authors write it: odd spacing, comments, letter case, parameter strings,
// panel order, and malformed lines reported with their line and skipped.
#include "panel/panel_config.h"

#include <gtest/gtest.h>

namespace {

std::string names(const PanelConfig& config) {
    std::string out;
    for (const PanelGaugeLine& gauge : config.gauges)
        out += (out.empty() ? "" : " ") + gauge.name();
    return out;
}

TEST(PanelConfigTest, GaugeLinesAsAuthorsWriteThem) {
    const PanelConfig config =
        read_panel_config("panel.cfg",
                          "\xEF\xBB\xBF// my panel\n"
                          "[Window Titles]\nWindow00=Main\n\n"
                          "[WINDOW00]\r\n"
                          "file=panel.bmp\r\n"
                          "size_mm=1024 ; the width\r\n"
                          "  GAUGE00 =  Sounds ! Gear_Horn ,  10 , 20 , 30, 40   // the horn\r\n"
                          "gauge01=jvb_cuebox2!jvb_cuebox2,0,0,1,1,.\\Gauges\\my.ini\r\n"
                          "gauge02=a!b, 5, 6\r\n"
                          "gauge03=a!c, 5, 6, .\\x, y, z\r\n"
                          "gauge04=a!d, 5, 6, 7, 8, 9\r\n");
    EXPECT_TRUE(config.problems.empty()) << config.problems[0].text;
    ASSERT_EQ(config.gauges.size(), 5u);
    const PanelGaugeLine& horn = config.gauges[0];
    EXPECT_EQ(horn.section, "WINDOW00");
    EXPECT_EQ(horn.number, 0);
    EXPECT_EQ(horn.file, "Sounds");
    EXPECT_EQ(horn.gauge, "Gear_Horn");
    EXPECT_EQ(horn.parameters, "");
    EXPECT_EQ(horn.line, 8);
    EXPECT_EQ(config.gauges[1].parameters, ".\\Gauges\\my.ini");
    EXPECT_EQ(config.gauges[2].parameters, "");            // x and y alone
    EXPECT_EQ(config.gauges[3].parameters, ".\\x, y, z");  // the rest of the line, commas too
    EXPECT_EQ(config.gauges[4].parameters, "9");           // after x, y, w and h
}

// The simulator reads panel.cfg as Windows reads an INI file: by its byte order mark, else in
// the ANSI code page; the panel library gets its names in UTF-8, and a bare CR ends a line.
TEST(PanelConfigTest, WindowsAndPlacesAsTheyAreDrawn) {
    const PanelConfig config = read_panel_config(
        "panel.cfg",
        "[Window Titles]\nwindow00=Main panel\n"
        "[Window00]\nfile=Main.BMP\nsize_mm=1024\ngauge00=a!b, 10, 20, 30, 40, x.ini\n"
        "[Window01]\nFILE = radio.bmp ; the stack\nSIZE_MM = 300, 120\ngauge00=a!c, -8, 1\n"
        "position=7\nwindow_pos= 0.25 , 0.5\nWINDOW_SIZE=0.5,0.25\n"
        "[VCockpit01]\nsize_mm=wide\nposition=9\nwindow_pos=left\nwindow_size=0.5\n");
    ASSERT_EQ(config.windows.size(), 3u);
    const struct {
        const char* section;
        const char* title;
        const char* file;
        double width, height;
        int position;
        bool has_pos;
        double x, y;
        bool has_size;
        double w, h;
    } windows[] = {{"Window00", "Main panel", "Main.BMP", 1024, 0, -1, false, 0, 0, false, 0, 0},
                   {"Window01", "", "radio.bmp", 300, 120, 7, true, 0.25, 0.5, true, 0.5, 0.25},
                   {"VCockpit01", "", "", 0, 0, -1, false, 0, 0, false, 0, 0}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(config.windows[i].position, windows[i].position) << i;
        EXPECT_EQ(config.windows[i].has_window_pos, windows[i].has_pos) << i;
        EXPECT_EQ(config.windows[i].window_x, windows[i].x) << i;
        EXPECT_EQ(config.windows[i].window_y, windows[i].y) << i;
        EXPECT_EQ(config.windows[i].has_window_size, windows[i].has_size) << i;
        EXPECT_EQ(config.windows[i].window_width, windows[i].w) << i;
        EXPECT_EQ(config.windows[i].window_height, windows[i].h) << i;
        EXPECT_EQ(config.windows[i].section, windows[i].section);
        EXPECT_EQ(config.windows[i].title, windows[i].title);
        EXPECT_EQ(config.windows[i].file, windows[i].file);
        EXPECT_EQ(config.windows[i].width, windows[i].width);
        EXPECT_EQ(config.windows[i].height, windows[i].height);
    }
    // The three settings of [VCockpit01] that cannot be read, each at its line.
    ASSERT_EQ(config.problems.size(), 3u);
    EXPECT_EQ(config.problems[0].line, 16);
    EXPECT_NE(config.problems[0].text.find("0 (top left) to 8"), std::string::npos);
    EXPECT_NE(config.problems[2].text.find("window_size=0.5: expected two numbers"),
              std::string::npos);
    ASSERT_EQ(config.gauges.size(), 2u);
    const PanelGaugeLine& placed = config.gauges[0];
    EXPECT_EQ(placed.x, 10);
    EXPECT_EQ(placed.y, 20);
    EXPECT_EQ(placed.w, 30);
    EXPECT_EQ(placed.h, 40);
    EXPECT_EQ(placed.parameters, "x.ini");
    EXPECT_EQ(config.gauges[1].x, -8);
    EXPECT_EQ(config.gauges[1].w, 0);  // no size: the gauge's own
}

TEST(PanelConfigTest, EachEncodingGivesTheSameNames) {
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[Window00]\ngauge00=\u00E9!g,1,2,\u0101")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    const struct {
        const char* what;
        std::string bytes;
        int code_page;
        const char* file;
        const char* parameters;
    } cases[] = {
        {"ANSI 1252", "[Window00]\rgauge00=\xE9!g,1,2,\xE9\r", 1252, "\xC3\xA9", "\xC3\xA9"},
        {"ANSI 1251", "[Window00]\ngauge00=\xE9!g,1,2,\xE9\n", 1251, "\xD0\xB9", "\xD0\xB9"},
        {"UTF-8 with a mark", "\xEF\xBB\xBF[Window00]\ngauge00=\xC3\xA9!g,1,2,\xC4\x81", 1252,
         "\xC3\xA9", "\xC4\x81"},
        {"UTF-16 LE", utf16, 1252, "\xC3\xA9", "\xC4\x81"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PanelConfig config = read_panel_config("panel.cfg", c.bytes, c.code_page);
        ASSERT_EQ(config.gauges.size(), 1u);
        EXPECT_EQ(config.gauges[0].file, c.file);
        EXPECT_EQ(config.gauges[0].parameters, c.parameters);
    }
}

TEST(PanelConfigTest, PanelOrderIsSectionsAsWrittenAndGaugesByNumber) {
    const PanelConfig config = read_panel_config(
        "panel.cfg",
        "[Window01]\ngauge02=w1!c,0,0\ngauge00=w1!a,0,0\ngauge10=w1!d,0,0\ngauge01=w1!b,0,0\n"
        "[Views]\ngauge00=not!a_gauge_section,0,0\n"
        "[Window00]\ngauge00=w0!a,0,0\n"
        "[VCockpit01]\ngauge00=vc!a,0,0\n");
    EXPECT_EQ(names(config), "w1!a w1!b w1!c w1!d w0!a vc!a");
    EXPECT_TRUE(config.problems.empty());
}

TEST(PanelConfigTest, MalformedLinesAreReportedWithTheirLineAndSkipped) {
    const PanelConfig config =
        read_panel_config("Aircraft/x/panel.cfg",
                          "[Window00]\n"
                          "gauge00=sounds gear, 0, 0\n"   // 2: no '!'
                          "gauge01=!gear, 0, 0\n"         // 3: no file
                          "gauge02=sounds!gear 0, 0\n"    // 4: a comma left out
                          "gauge03=sounds!gear, 0, up\n"  // 5: y is no number
                          "stray text\n"                  // 6
                          "gauge04=sounds!ok, 0, 0\n"     // 7: fine
                          "gauge04=sounds!again, 0, 0\n"  // 8: the number again
                          "[Window00]\n"                  // 9: the section again
                          "gauge05=sounds!late, 0, 0\n"
                          "[Window01\n"  // 11: no ']'
                          "gauge00=lost!one, 0, 0\n");
    EXPECT_EQ(names(config), "sounds!ok");
    ASSERT_EQ(config.problems.size(), 8u);
    const int lines[] = {2, 3, 4, 5, 6, 8, 9, 11};
    for (size_t i = 0; i < config.problems.size(); ++i) {
        EXPECT_EQ(config.problems[i].line, lines[i]) << config.problems[i].text;
        EXPECT_EQ(config.problems[i].file, "Aircraft/x/panel.cfg");
    }
    EXPECT_NE(config.problems[0].text.find("a '!' must stand between file and gauge"),
              std::string::npos);
    EXPECT_NE(config.problems[2].text.find("the position x, y is missing"), std::string::npos);
    EXPECT_NE(config.problems[2].text.find("is a comma missing after gear?"), std::string::npos);
    EXPECT_EQ(config.problems[3].text.find("comma"), std::string::npos) << "not for every line";
    EXPECT_NE(config.problems[5].text.find("first at line 7"), std::string::npos);
}

TEST(PanelConfigTest, AnOversizedFileIsNotRead) {
    const PanelConfig config =
        read_panel_config("big.cfg", std::string(PANEL_CONFIG_SIZE_LIMIT + 1, '\n'));
    ASSERT_EQ(config.problems.size(), 1u);
    EXPECT_EQ(config.problems[0].line, 0);
}

}  // namespace
