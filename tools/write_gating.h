// What only the module's tools read in a gauge script's writes: which writes wait for the
// module (a write of an L: variable inside an if{ whose condition compares that variable with
// the idle value comes only once the module has taken the last command, so that two commands in
// one update cannot collide), and which writes of another variable were meant for the module.
#pragma once

#include <string>

#include "panel/script.h"

class PanelSession;
class TraceRecorder;

// True for a write of `script` (one of its writes()) that waits for the idle value.
bool waits_for_idle(const Script& script, const ScriptWrite& write);

// For a write of an L: variable other than `variable` (the one the module reads) that looks
// meant for the module, what is wrong, to follow the writer's place: ": writes (>L:X), ..., but
// the module reads (>L:Y), ..."; "" for a write that is the gauge's own.
std::string misdirected_write(const ScriptWrite& write, const std::string& variable);

// The writes of a started panel's scripts that misdirected_write() finds, each a panel_note in
// the run's trace (once, where a gauge on several windows has a copy per window): a run that
// plays nothing then says why, as check --panel does.
void note_misdirected_writes(const PanelSession& panel, const std::string& variable,
                             TraceRecorder& trace);
