// The timeline picture of a run: one lane per slot used, bars where a slot plays, markers for
// the commands written, and the rendered sound's waveform, as plain SVG.
#pragma once

#include <string>
#include <vector>

#include "host/trace.h"

// `wav_path` is the rendered sound, or "" when there is none. False with `error` set when the
// picture cannot be written.
bool write_timeline(const std::string& svg_path, const std::vector<TraceEvent>& events,
                    const std::string& wav_path, std::string& error);
