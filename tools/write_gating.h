// Which writes of a gauge script wait for the module: a write of an L: variable inside an if{
// whose condition compares that variable with the idle value comes only once the module has
// taken the last command, so that two commands in one update cannot collide.
#pragma once

#include "panel/script.h"

// True for a write of `script` (one of its writes()) that waits for the idle value.
bool waits_for_idle(const Script& script, const ScriptWrite& write);
