// The --vars timeline: a CSV file whose first column is seconds and whose other columns are
// variables that a scenario could `set`, for example
//   time,A:GEAR HANDLE POSITION,bool,A:FLAPS HANDLE INDEX,number
//   0,1,0
//   4.5,0,
// A variable's unit is the header field after its name (or, quoted, "A:NAME,UNIT" in one
// field). An empty cell leaves the variable as it was; values hold until the next row.
#pragma once

#include <string>
#include <vector>

#include "panel/variable_ref.h"

struct VarsRow {
    double time = 0;
    int line = 0;
    std::vector<bool> given;  // per column
    std::vector<double> values;
};

struct VarsTimeline {
    std::vector<VariableRef> columns;
    std::vector<VarsRow> rows;  // in time order
};

constexpr size_t VARS_TIMELINE_SIZE_LIMIT = 16u << 20;

// False with "line N: why" in `error` for the first malformed line.
bool read_vars_timeline(const std::string& text, VarsTimeline& timeline, std::string& error);
