// Units of gauge variables: the names and abbreviations gauges write after the comma, the family
// each belongs to, and the conversion between two units of one family, so that a value written
// in feet reads right in meters.
#pragma once

#include <string>

// Angles are radians inside the preview; gauges write degrees.
constexpr double PI = 3.14159265358979323846;

enum UnitFamily {
    UNIT_NUMBER,  // number, enum, mask, ...: plain numbers, never converted
    UNIT_BOOL,
    UNIT_LENGTH,
    UNIT_SPEED,
    UNIT_ANGLE,
    UNIT_ANGULAR_SPEED,
    UNIT_TIME,
    UNIT_PERCENT,
    UNIT_PRESSURE,
    UNIT_TEMPERATURE,
    UNIT_WEIGHT,
    UNIT_VOLUME,
};

struct Unit {
    const char* name;  // the name the table gives first, for messages
    UnitFamily family;
    double factor;  // a value in this unit times factor, plus offset, is the family's base unit
    double offset;
};

// The unit a gauge names, in any letter case and spacing ("Feet", "ft", "feet per second"), or
// null when the preview does not know it.
const Unit* find_unit(const std::string& text);

// `value` in `from` as it reads in `to`. It goes through unchanged when either unit is unknown
// (null), when they are the same, or when they are of different families.
double convert_unit(double value, const Unit* from, const Unit* to);

// True when both units are known and measure different things (feet and seconds): a value
// cannot be read so. Plain numbers and bools clash with nothing.
bool units_clash(const Unit* a, const Unit* b);
