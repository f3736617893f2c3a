// Variable references of gauge scripts, "(A:GEAR HANDLE POSITION, bool)" and the like: what a
// script, a scenario line and a --vars column name, and how names are compared.
#pragma once

#include <string>

#include "panel/text.h"

struct VariableRef {
    char kind = 0;     // 'A', 'L', 'G', 'P', 'E' or 'K'
    std::string name;  // as written, without the spaces around it
    int index = 0;     // A:NAME:INDEX, or 2 for K:2:NAME; 0 when none is given
    std::string unit;  // as written, trimmed; "" when none is given

    // The name as it is compared: lower case, with the index of an A: variable.
    std::string key() const;
    // "A:GEAR HANDLE POSITION,bool", as a message or a trace shows it.
    std::string text() const;
};

// Parses the inside of the parentheses, "L:NAME, UNIT" (without a leading '>'). Names and kinds
// are taken in any letter case. False with the reason in `why`.
bool parse_variable_ref(const std::string& text, VariableRef& ref, std::string& why);
