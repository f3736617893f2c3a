// The timeline picture of `cuebox run --timeline`: well-formed SVG, one lane per slot used, and
// a bar wherever the trace says a slot played, looping bars told apart from one-shots.
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>

#include "tools/slot_activity.h"
#include "tools/tool_runner.h"

namespace {

struct Element {
    std::string name;
    std::map<std::string, std::string> attributes;
    int parent;
    std::string attribute(const std::string& key) const {
        auto found = attributes.find(key);
        return found == attributes.end() ? "" : found->second;
    }
};

// Checks that `text` is well-formed XML as far as SVG needs (balanced tags, quoted attributes,
// known entities) and collects its elements with their parents.
bool parse_xml(const std::string& text, std::vector<Element>& elements, std::string& why) {
    std::vector<int> open;
    size_t at = 0;
    auto fail = [&](const std::string& reason) {
        why = reason + " at offset " + std::to_string(at);
        return false;
    };
    auto entity_ok = [&](size_t amp) {
        for (const char* e : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
            if (text.compare(amp, std::strlen(e), e) == 0) return true;
        }
        return false;
    };
    while (at < text.size()) {
        if (text[at] != '<') {
            if (text[at] == '&' && !entity_ok(at)) return fail("bad entity");
            ++at;
            continue;
        }
        if (text.compare(at, 2, "<?") == 0 || text.compare(at, 4, "<!--") == 0) {
            const size_t end = text.find(text[at + 1] == '?' ? "?>" : "-->", at);
            if (end == std::string::npos) return fail("unclosed declaration");
            at = end + 2;
            continue;
        }
        const bool closing = text[at + 1] == '/';
        size_t p = at + (closing ? 2 : 1);
        const size_t name_end = text.find_first_of(" \t\n/>", p);
        if (name_end == std::string::npos || name_end == p) return fail("bad tag");
        const std::string name = text.substr(p, name_end - p);
        p = name_end;
        if (closing) {
            if (open.empty() || elements[open.back()].name != name)
                return fail("unbalanced </" + name + ">");
            open.pop_back();
            at = text.find('>', p) + 1;
            continue;
        }
        Element element{name, {}, open.empty() ? -1 : open.back()};
        for (;;) {
            while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p]))) ++p;
            if (p >= text.size()) return fail("unclosed tag");
            if (text[p] == '>' || text.compare(p, 2, "/>") == 0) break;
            const size_t equals = text.find('=', p);
            if (equals == std::string::npos || text[equals + 1] != '"')
                return fail("bad attribute");
            const size_t close = text.find('"', equals + 2);
            if (close == std::string::npos) return fail("unclosed attribute");
            const std::string value = text.substr(equals + 2, close - equals - 2);
            if (value.find('<') != std::string::npos) return fail("'<' in an attribute");
            for (size_t amp = value.find('&'); amp != std::string::npos;
                 amp = value.find('&', amp + 1)) {
                if (!entity_ok(equals + 2 + amp)) return fail("bad entity in an attribute");
            }
            const std::string key = text.substr(p, equals - p);
            if (element.attributes.count(key)) return fail("attribute given twice");
            element.attributes[key] = value;
            p = close + 1;
        }
        elements.push_back(element);
        if (text[p] == '>') {
            open.push_back(static_cast<int>(elements.size()) - 1);
            at = p + 1;
        } else {
            at = p + 2;
        }
    }
    if (!open.empty()) return fail("<" + elements[open.back()].name + "> never closed");
    return true;
}

struct Bar {
    int slot;
    bool looping;
    double start, end;
};

class TimelineTest : public ToolTest {
  protected:
    // Runs `scenario` and parses the picture: the lanes' slots, in order, and every bar.
    void draw(const std::string& scenario, bool render = true) {
        write_file("scenario.txt", scenario);
        std::vector<std::string> arguments = {"run", path("scenario.txt"), "--root",
                                              root_, "--timeline",         path("timeline.svg")};
        if (render) arguments.insert(arguments.end(), {"--out", path("run.wav")});
        const ToolResult result = cuebox(arguments);
        ASSERT_EQ(result.status, 0) << result.err;
        svg_ = file_text(path("timeline.svg"));
        std::string why;
        ASSERT_TRUE(parse_xml(svg_, elements_, why)) << why;
        for (size_t i = 0; i < elements_.size(); ++i) {
            const Element& e = elements_[i];
            const std::string kind = e.attribute("class");
            if (e.name == "g" && kind == "lane")
                lanes_.push_back(std::stoi(e.attribute("data-slot")));
            if (e.name == "g" && kind.compare(0, 4, "bar ") == 0) {
                // A bar lies inside the lane of its own slot.
                ASSERT_GE(e.parent, 0);
                EXPECT_EQ(elements_[e.parent].attribute("data-slot"), e.attribute("data-slot"));
                bars_.push_back(Bar{std::stoi(e.attribute("data-slot")), kind == "bar looping",
                                    std::stod(e.attribute("data-start")),
                                    std::stod(e.attribute("data-end"))});
            }
        }
    }
    std::vector<Bar> bars_of(int slot) const {
        std::vector<Bar> found;
        for (const Bar& bar : bars_) {
            if (bar.slot == slot) found.push_back(bar);
        }
        return found;
    }
    int count(const std::string& name, const std::string& kind) const {
        int n = 0;
        for (const Element& e : elements_) n += e.name == name && e.attribute("class") == kind;
        return n;
    }

    std::string svg_;
    std::vector<Element> elements_;
    std::vector<int> lanes_;
    std::vector<Bar> bars_;
};

constexpr double TICK = 1.0 / 18;

TEST_F(TimelineTest, LanesAndBarsFollowTheTrace) {
    write_tone("Sound/jvb/jvb_xml_03.wav", 300, 0.5);   // 0.5 s once
    write_tone("Sound/jvb/jvb_xml_04.wav", 400, 0.25);  // looped
    draw(
        "connect\nupdate 2\n"
        "write 3\nupdate\nwait 0.2\n"  // 3 plays at 2 ticks
        "write 3\nupdate\nwait 1\n"    // again while playing: it goes on, one bar
        "write 104\nupdate\nwait 1\n"  // 4 loops
        "write 4\nupdate\nwait 1\n"    // play-once on the loop: it plays to its end
        "write 9\nupdate\nwait 0.5\n"  // slot 9 has no file
        "disconnect\n");

    EXPECT_EQ(lanes_, (std::vector<int>{3, 4, 9}));
    const double first = 2 * TICK;
    const std::vector<Bar> three = bars_of(3);
    ASSERT_EQ(three.size(), 1u);
    EXPECT_FALSE(three[0].looping);
    EXPECT_NEAR(three[0].start, first, 1e-3);
    EXPECT_NEAR(three[0].end, first + 0.5, 0.01);

    const std::vector<Bar> four = bars_of(4);
    ASSERT_EQ(four.size(), 2u);
    // Updates run at 18 a second, events stand at the start of their update: the loop starts in
    // update 27 and ends in update 46.
    EXPECT_TRUE(four[0].looping);
    EXPECT_NEAR(four[0].start, 26 * TICK, 1e-3);
    EXPECT_NEAR(four[0].end, 45 * TICK, 1e-3);
    // The play-once continues from where the loop stood and ends with the sound's last byte.
    EXPECT_FALSE(four[1].looping);
    EXPECT_NEAR(four[1].start, four[0].end, 1e-6);
    EXPECT_GT(four[1].end, four[1].start);
    EXPECT_LE(four[1].end, four[1].start + 0.25 + 0.01);
    EXPECT_TRUE(bars_of(9).empty());
    EXPECT_NE(svg_.find("(not found)"), std::string::npos);

    // A marker per gauge write and per command read; a waveform under them.
    EXPECT_EQ(count("path", "write"), 5);
    EXPECT_EQ(count("circle", "read"), 5);
    EXPECT_EQ(svg_.find("no rendered sound"), std::string::npos);
    EXPECT_GT(count("text", "tick"), 4);
}

TEST_F(TimelineTest, StopsEndBarsAndNoRenderIsSaid) {
    write_tone("Sound/jvb/jvb_xml_01.wav", 300, 2.0);
    write_tone("Sound/jvb/jvb_xml_02.wav", 500, 0.5);
    draw(
        "connect\nupdate 2\nwrite 1\nupdate\nwrite 102\nupdate\nwait 0.5\n"
        "write -1\nupdate\nwait 0.5\nwrite 250\nupdate\nwait 0.5\n",
        false);
    EXPECT_EQ(lanes_, (std::vector<int>{1, 2}));
    ASSERT_EQ(bars_of(1).size(), 1u);
    ASSERT_EQ(bars_of(2).size(), 1u);
    EXPECT_NEAR(bars_of(1)[0].start, 2 * TICK, 1e-3);
    EXPECT_NEAR(bars_of(1)[0].end, 13 * TICK, 1e-3);  // stopped by -1, not after 2 s
    EXPECT_TRUE(bars_of(2)[0].looping);
    EXPECT_NEAR(bars_of(2)[0].start, 3 * TICK, 1e-3);
    EXPECT_NEAR(bars_of(2)[0].end, 23 * TICK, 1e-3);  // stopped by 250
    EXPECT_NE(svg_.find("no rendered sound"), std::string::npos);
}

TEST(SlotOfValue, DecodesAsTheModuleDoes) {
    EXPECT_EQ(SlotActivity::slot_of_value(7), 7);
    EXPECT_EQ(SlotActivity::slot_of_value(-107), 7);
    EXPECT_EQ(SlotActivity::slot_of_value(5.9), 5);
    EXPECT_EQ(SlotActivity::slot_of_value(std::nan("")), 0);
    EXPECT_EQ(SlotActivity::slot_of_value(4294967303.0), 7);
    EXPECT_EQ(SlotActivity::slot_of_value(4294967289.0), 7);
    EXPECT_EQ(SlotActivity::slot_of_value(250), -1);
    EXPECT_EQ(SlotActivity::slot_of_value(260), -1);
    EXPECT_EQ(SlotActivity::slot_of_value(-260), -1);
    EXPECT_EQ(SlotActivity::slot_of_value(2147483648.0), -1);
    EXPECT_EQ(SlotActivity::slot_of_value(-2147483648.0), -1);
}

}  // namespace
