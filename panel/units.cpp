// The table of units and the conversion between them.
#include "panel/units.h"

#include <cctype>
#include <cmath>
#include <unordered_map>

namespace {

constexpr double FOOT = 0.3048;
constexpr double POUND = 0.45359237;
constexpr double GALLON = 0.003785411784;
constexpr double INCH_OF_MERCURY = 3386.389;
constexpr double PSI = 6894.757293168;

struct Entry {
    const char* names;  // '|' between the spellings the simulator's table gives
    Unit unit;
};

// From the simulator's table of units: each unit with its plural and abbreviations. The base
// of each family is the SI unit (meter, meter per second, radian, radian per second, second,
// percent over 100, pascal, kelvin, kilogram, cubic meter).
const Entry TABLE[] = {
    {"number|numbers|enum|mask|flags|position|scalar|part|keyframe|keyframes|bco16|bcd16|frequency "
     "bcd16|frequency bcd32|frequency adf bcd32|position 16k|position 32k|position 128",
     {"number", UNIT_NUMBER, 1, 0}},
    {"bool|boolean", {"bool", UNIT_BOOL, 1, 0}},
    // length
    {"meter|meters|m|metre|metres", {"meters", UNIT_LENGTH, 1, 0}},
    {"centimeter|centimeters|cm", {"centimeters", UNIT_LENGTH, 0.01, 0}},
    {"millimeter|millimeters|mm", {"millimeters", UNIT_LENGTH, 0.001, 0}},
    {"kilometer|kilometers|km", {"kilometers", UNIT_LENGTH, 1000, 0}},
    {"decimeter|decimeters|dm", {"decimeters", UNIT_LENGTH, 0.1, 0}},
    {"foot|feet|ft", {"feet", UNIT_LENGTH, FOOT, 0}},
    {"inch|inches|in", {"inches", UNIT_LENGTH, 0.0254, 0}},
    {"yard|yards|yd", {"yards", UNIT_LENGTH, 0.9144, 0}},
    {"mile|miles", {"miles", UNIT_LENGTH, 1609.344, 0}},
    {"nautical mile|nautical miles|nmile|nmiles", {"nautical miles", UNIT_LENGTH, 1852, 0}},
    // speed
    {"meter per second|meters per second|m/s|meter/second|meters/second",
     {"meters per second", UNIT_SPEED, 1, 0}},
    {"meter per minute|meters per minute|m/min|meters/minute",
     {"meters per minute", UNIT_SPEED, 1.0 / 60, 0}},
    {"kilometer per hour|kilometers per hour|kph|km/h|kilometers/hour",
     {"kilometers per hour", UNIT_SPEED, 1000.0 / 3600, 0}},
    {"knot|knots|kt|kts", {"knots", UNIT_SPEED, 1852.0 / 3600, 0}},
    {"mile per hour|miles per hour|mph|miles/hour", {"miles per hour", UNIT_SPEED, 0.44704, 0}},
    {"foot per second|feet per second|ft/s|feet/second", {"feet per second", UNIT_SPEED, FOOT, 0}},
    {"foot per minute|feet per minute|ft/min|feet/minute|fpm",
     {"feet per minute", UNIT_SPEED, FOOT / 60, 0}},
    // angle
    {"radian|radians|rad", {"radians", UNIT_ANGLE, 1, 0}},
    {"degree|degrees|deg", {"degrees", UNIT_ANGLE, PI / 180, 0}},
    {"grad|grads", {"grads", UNIT_ANGLE, PI / 200, 0}},
    // angular speed
    {"radian per second|radians per second|rad/s|radians/second",
     {"radians per second", UNIT_ANGULAR_SPEED, 1, 0}},
    {"degree per second|degrees per second|deg/s|degrees/second",
     {"degrees per second", UNIT_ANGULAR_SPEED, PI / 180, 0}},
    {"degree per minute|degrees per minute|degrees/minute",
     {"degrees per minute", UNIT_ANGULAR_SPEED, PI / 180 / 60, 0}},
    {"rpm|rpms|revolution per minute|revolutions per minute",
     {"rpm", UNIT_ANGULAR_SPEED, 2 * PI / 60, 0}},
    {"revolution per second|revolutions per second|rps",
     {"revolutions per second", UNIT_ANGULAR_SPEED, 2 * PI, 0}},
    // time
    {"second|seconds|sec", {"seconds", UNIT_TIME, 1, 0}},
    {"minute|minutes|min", {"minutes", UNIT_TIME, 60, 0}},
    {"hour|hours|hr", {"hours", UNIT_TIME, 3600, 0}},
    {"day|days", {"days", UNIT_TIME, 86400, 0}},
    // percent
    {"percent|percentage", {"percent", UNIT_PERCENT, 0.01, 0}},
    {"percent over 100|percent scaler 16k", {"percent over 100", UNIT_PERCENT, 1, 0}},
    // pressure
    {"pascal|pascals|pa", {"pascals", UNIT_PRESSURE, 1, 0}},
    {"kilopascal|kilopascals|kpa", {"kilopascals", UNIT_PRESSURE, 1000, 0}},
    {"millibar|millibars|mbar|mbars|hectopascal|hectopascals|hpa",
     {"millibars", UNIT_PRESSURE, 100, 0}},
    {"bar|bars", {"bars", UNIT_PRESSURE, 100000, 0}},
    {"inch of mercury|inches of mercury|inhg|in hg",
     {"inches of mercury", UNIT_PRESSURE, INCH_OF_MERCURY, 0}},
    {"millimeter of mercury|millimeters of mercury|mmhg|mm hg",
     {"millimeters of mercury", UNIT_PRESSURE, 133.322387415, 0}},
    {"psi|pound per square inch|pounds per square inch|pound-force per square inch",
     {"psi", UNIT_PRESSURE, PSI, 0}},
    {"psf|pound per square foot|pounds per square foot", {"psf", UNIT_PRESSURE, PSI / 144, 0}},
    {"atmosphere|atmospheres|atm", {"atmospheres", UNIT_PRESSURE, 101325, 0}},
    // temperature: offsets to kelvin
    {"kelvin", {"kelvin", UNIT_TEMPERATURE, 1, 0}},
    {"celsius|degree celsius|degrees celsius", {"celsius", UNIT_TEMPERATURE, 1, 273.15}},
    {"fahrenheit|degree fahrenheit|degrees fahrenheit",
     {"fahrenheit", UNIT_TEMPERATURE, 5.0 / 9, 459.67 * 5 / 9}},
    {"rankine|degree rankine|degrees rankine", {"rankine", UNIT_TEMPERATURE, 5.0 / 9, 0}},
    // weight
    {"kilogram|kilograms|kg", {"kilograms", UNIT_WEIGHT, 1, 0}},
    {"gram|grams", {"grams", UNIT_WEIGHT, 0.001, 0}},
    {"pound|pounds|lbs|lb", {"pounds", UNIT_WEIGHT, POUND, 0}},
    {"ounce|ounces|oz", {"ounces", UNIT_WEIGHT, POUND / 16, 0}},
    {"slug|slugs", {"slugs", UNIT_WEIGHT, 14.59390294, 0}},
    {"tonne|tonnes|metric ton|metric tons", {"tonnes", UNIT_WEIGHT, 1000, 0}},
    {"ton|tons|short ton|short tons", {"tons", UNIT_WEIGHT, 2000 * POUND, 0}},
    // volume
    {"cubic meter|cubic meters|m3", {"cubic meters", UNIT_VOLUME, 1, 0}},
    {"liter|liters|litre|litres", {"liters", UNIT_VOLUME, 0.001, 0}},
    {"cubic centimeter|cubic centimeters|cm3|cc", {"cubic centimeters", UNIT_VOLUME, 1e-6, 0}},
    {"cubic inch|cubic inches|in3", {"cubic inches", UNIT_VOLUME, 0.0254 * 0.0254 * 0.0254, 0}},
    {"cubic foot|cubic feet|ft3", {"cubic feet", UNIT_VOLUME, FOOT* FOOT* FOOT, 0}},
    {"gallon|gallons|gal", {"gallons", UNIT_VOLUME, GALLON, 0}},
    {"quart|quarts|qt", {"quarts", UNIT_VOLUME, GALLON / 4, 0}},
};

// Lower case, blanks around taken off and runs of blanks made one space.
std::string unit_key(const std::string& text) {
    std::string key;
    for (unsigned char c : text) {
        if (std::isspace(c)) {
            if (!key.empty() && key.back() != ' ') key += ' ';
        } else {
            key += static_cast<char>(std::tolower(c));
        }
    }
    if (!key.empty() && key.back() == ' ') key.pop_back();
    return key;
}

const std::unordered_map<std::string, const Unit*>& units_by_name() {
    static const std::unordered_map<std::string, const Unit*> names = [] {
        std::unordered_map<std::string, const Unit*> made;
        for (const Entry& entry : TABLE) {
            std::string all = entry.names;
            size_t from = 0;
            while (from <= all.size()) {
                const size_t bar = all.find('|', from);
                const size_t end = bar == std::string::npos ? all.size() : bar;
                made.emplace(all.substr(from, end - from), &entry.unit);
                from = end + 1;
            }
        }
        return made;
    }();
    return names;
}

}  // namespace

const Unit* find_unit(const std::string& text) {
    const auto& names = units_by_name();
    const auto found = names.find(unit_key(text));
    return found == names.end() ? nullptr : found->second;
}

double convert_unit(double value, const Unit* from, const Unit* to) {
    if (!from || !to || from == to || from->family != to->family) return value;
    const double converted = (value * from->factor + from->offset - to->offset) / to->factor;
    // To 12 significant digits: 100 celsius reads 212 fahrenheit, not 211.99999999999997, so
    // that a gauge comparing it with 212 finds it equal. No table factor is known closer.
    if (converted == 0 || !std::isfinite(converted)) return converted;
    const double scale = std::pow(10.0, 11 - std::floor(std::log10(std::fabs(converted))));
    const double rounded = std::round(converted * scale) / scale;
    return std::isfinite(rounded) ? rounded : converted;
}

bool units_clash(const Unit* a, const Unit* b) {
    // Plain numbers and bools go with any unit: a gauge reads an enum as a number.
    const auto plain = [](const Unit* u) { return u->family <= UNIT_BOOL; };
    return a && b && !plain(a) && !plain(b) && a->family != b->family;
}
