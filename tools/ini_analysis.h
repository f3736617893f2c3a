// `cuebox check`'s own reading of an INI file's text, for the mistakes that the module passes
// over in silence (a section or key it never reads, a second one, a value it cuts), and the
// findings that every part of the check reports in.
#pragma once

#include <string>
#include <vector>

#include "control/configuration.h"
#include "platform/codepage.h"

struct Problem {
    std::string kind;  // a fixed word per kind of mistake, for scripts
    int slot = -1;     // the slot it concerns, or -1
    int line = 0;      // the line it concerns, or 0
    std::string message;
    std::string file;  // the file of that line; "" for the INI file
};

// Problems keep a sound from playing as meant; warnings concern sounds that play, but not as
// their file says; notes are no problem at all.
struct Findings {
    std::vector<Problem> problems;
    std::vector<Problem> warnings;
    std::vector<std::string> notes;

    void problem(const std::string& kind, int slot, int line, const std::string& message) {
        problems.push_back(Problem{kind, slot, line, message, ""});
    }
    void warning(const std::string& kind, int slot, int line, const std::string& message) {
        warnings.push_back(Problem{kind, slot, line, message, ""});
    }
};

// Where the INI text gives what the module reads.
struct IniLines {
    int variable_line = 0;  // the line of the LVar key that counts
    int slot_lines[SLOT_COUNT] = {};
};

// Reads the INI file's bytes as Windows reads a profile: in the encoding its byte order mark
// gives (ANSI in the tools' code page without one), lines ended by CR, LF or both, the first
// section of a name and the first key of a name in it counting. Records the lines that count,
// reports what the module never reads and values that a Linux editor saved as UTF-8 without a
// mark, which Windows reads byte by byte. Returns the encoding found.
codepage::FileEncoding analyse_ini_text(const std::string& bytes, IniLines& lines,
                                        Findings& findings);

// "07" for slot 7.
std::string two_digits(int slot);
