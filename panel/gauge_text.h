// Texts with scripts in them, as a <String> or a <Tooltip> holds them: literal text, each
// script between %( and )% followed by its format between '!'s ("%((A:FUEL, gallons))%!3d!"),
// and %{if}, %{else}, %{end}, which show what stands between them only when the script before
// the %{if} gave a value other than 0.
#pragma once

#include <string>
#include <vector>

#include "panel/xml_gauge.h"

// Cuts `text` into pieces; each script's text is added to `scripts` with `place` and a number
// ("Element 3 String 1") and the line it stands on (`line` is the line where `text` begins).
std::vector<TextPiece> parse_gauge_text(const std::string& text, int line, const std::string& place,
                                        std::vector<GaugeScriptText>& scripts);

// A script's result as its format shows it: "d" (a whole number, as C's printf shows the
// value's whole part), "3d", "03d", "-5d", "+d", "x", "1.2f", "e", "g", "s" (the script's text,
// or its number when it gave none), "c". No format shows the text, or the number as "g"
// does. False, with
// the number in the "g" form, when the format is none of these.
bool format_gauge_value(const std::string& format, double number, const std::string* text,
                        std::string& out);

// Whether a text holds any script: a tooltip without one is shown as it stands.
bool has_gauge_script(const std::string& text);
