// The host's file opens. Every file a user names (a scenario, an INI file, a sound file, an
// output) is opened only when it is a regular file: a pipe would hold the tool until something
// wrote into it, and a folder or a device is not what the user meant.
#pragma once

#include <cstdio>
#include <string>

// fopen of a regular file. A name that exists and is not a regular file is refused at once with
// errno EACCES; opening for reading never blocks.
std::FILE* open_regular_file(const std::string& path, const char* mode);

// The whole of a regular file; false when it cannot be opened as one or a read fails.
bool read_regular_file(const std::string& path, std::string& text);
