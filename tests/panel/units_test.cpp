// The units table: what the docs promise of it, and the rules around it that no table row
// shows (how a unit's name is spelt, when a value goes through unchanged, the rounding of a
// conversion, which units clash).
#include "panel/units.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <regex>

namespace {

// The units table of docs/xml_gauges.md, row by row: every unit and abbreviation a row names is
// known and of the row's family, and every "`1 km` is `1000 m`" reading converts so.
TEST(UnitTable, EveryUnitOfTheDocsIsKnownAndEveryReadingHolds) {
    const std::string doc = CUEBOX_DOCS_DIR "/xml_gauges.md";
    std::ifstream in(doc);
    ASSERT_TRUE(in) << doc;
    const std::regex reading("`(-?[0-9.]+) ([^`]+)` is `(-?[0-9.]+) ([^`]+)`");
    const std::regex name("(?:^|, )([a-z][a-z0-9 /]*?)(?: \\(|,|$)|`([^`]+)`");
    bool in_table = false;
    int line_number = 0, readings = 0, units = 0;
    for (std::string line; std::getline(in, line);) {
        ++line_number;
        if (line.rfind("| family | units |", 0) == 0) in_table = true;
        if (!in_table || line.rfind("|---", 0) == 0 || line.rfind("| family", 0) == 0) continue;
        if (line.empty() || line[0] != '|') break;
        const std::string where = doc + ":" + std::to_string(line_number);
        const size_t cell = line.find('|', 1) + 2;
        const std::string listed = line.substr(cell, line.find(" |", cell) - cell);
        const Unit* first = nullptr;
        for (std::sregex_iterator it(listed.begin(), listed.end(), name), end; it != end; ++it) {
            const std::string unit = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
            if (unit == "and the like" || unit.find(' ') == 0) continue;
            const Unit* found = find_unit(unit);
            ++units;
            ASSERT_NE(found, nullptr) << where << ": " << unit;
            if (!first) first = found;
            EXPECT_TRUE(!units_clash(first, found)) << where << ": " << unit;
        }
        const std::string rest = line.substr(cell + listed.size());
        for (std::sregex_iterator it(rest.begin(), rest.end(), reading), end; it != end; ++it) {
            const std::smatch& m = *it;
            const Unit* from = find_unit(m[2].str());
            const Unit* to = find_unit(m[4].str());
            ASSERT_TRUE(from && to) << where << ": " << m[0].str();
            const double expected = std::stod(m[3].str());
            EXPECT_NEAR(convert_unit(std::stod(m[1].str()), from, to), expected,
                        1e-11 * std::max(1.0, std::fabs(expected)))
                << where << ": " << m[0].str();
            ++readings;
        }
    }
    EXPECT_GE(units, 60) << doc << ": the units table lost its units";
    EXPECT_GE(readings, 20) << doc << ": the units table lost its readings";
}

// Names are found in any letter case and spacing; a unit the table lacks is none.
TEST(Units, NamesAreFoundWhateverTheirCaseAndBlanks) {
    const struct {
        const char* written;
        const char* found;  // the unit's first name, or null for none
    } cases[] = {
        {"feet", "feet"},
        {"Feet", "feet"},
        {"  FEET  ", "feet"},
        {"feet  per\tsecond", "feet per second"},
        {"Percent Over 100", "percent over 100"},
        {"kt", "knots"},
        {"feets", nullptr},
        {"", nullptr},
        {"feet per", nullptr},
    };
    for (const auto& c : cases) {
        const Unit* unit = find_unit(c.written);
        if (!c.found) {
            EXPECT_EQ(unit, nullptr) << "'" << c.written << "'";
            continue;
        }
        ASSERT_NE(unit, nullptr) << "'" << c.written << "'";
        EXPECT_STREQ(unit->name, c.found) << "'" << c.written << "'";
    }
}

// When a value goes through unchanged, and the rounding that makes a converted value compare
// equal to the number an author writes.
TEST(Units, ConversionGoesThroughOnlyBetweenKnownUnitsOfOneFamily) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char* from;  // "" for an unknown unit
        const char* to;
        double expected;
    } cases[] = {
        {100, "celsius", "fahrenheit", 212},  // exactly: 211.99999999999997 before rounding
        {0, "celsius", "kelvin", 273.15},
        {1, "knots", "knots", 1},
        {3, "feet", "seconds", 3},  // different families
        {3, "feet", "", 3},         // unknown target
        {3, "", "meters", 3},       // unknown source
        {5, "number", "feet", 5},   // a plain number is never converted
        {0, "feet", "meters", 0},
        {-10, "meters", "feet", -32.8083989501},
        {1e-300, "meters", "kilometers", 1e-300 / 1000},  // too small to round: as computed
        {inf, "feet", "meters", inf},
    };
    for (const auto& c : cases) {
        const Unit* from = *c.from ? find_unit(c.from) : nullptr;
        const Unit* to = *c.to ? find_unit(c.to) : nullptr;
        ASSERT_TRUE((!*c.from || from) && (!*c.to || to)) << c.from << " " << c.to;
        EXPECT_EQ(convert_unit(c.value, from, to), c.expected)
            << c.value << " " << c.from << " in " << c.to;
    }
}

// Plain numbers and bools read as anything; units of two families never.
TEST(Units, OnlyKnownUnitsOfTwoMeasuringFamiliesClash) {
    const struct {
        const char* a;
        const char* b;
        bool clash;
    } cases[] = {
        {"feet", "seconds", true}, {"feet", "meters", false},
        {"number", "feet", false}, {"bool", "seconds", false},
        {"enum", "bool", false},   {"feet", "", false},
        {"", "", false},
    };
    for (const auto& c : cases) {
        const Unit* a = *c.a ? find_unit(c.a) : nullptr;
        const Unit* b = *c.b ? find_unit(c.b) : nullptr;
        EXPECT_EQ(units_clash(a, b), c.clash) << c.a << " / " << c.b;
        EXPECT_EQ(units_clash(b, a), c.clash) << c.b << " / " << c.a;
    }
}

}  // namespace
