// Windows-style path resolution off Windows: the one place that maps a DOS path (backslashes,
// any letter case) to a host path, as Wine does, and the Windows folder rule for profile files.
// Internal to platform/.
#pragma once

#include <cstdio>
#include <string>

namespace standin {

// Resolves `path`, ANSI text in the process's code page, as Wine resolves a DOS path: turned
// into Unicode and spelled in UTF-8 on disk. Sets *found to whether the file or folder exists and
// returns the host path (a best-effort spelling when it does not exist).
std::string resolve_path(const char* path, bool* found);

// The same for a path already in UTF-8 (a name read from a Unicode file, or the host's own).
std::string resolve_unicode_path(const std::string& path, bool* found);

// Like resolve_path, but a profile file named without any folder is looked for in the Windows
// folder, as Windows does.
std::string resolve_profile_path(const char* file, bool* found);

// Opens a host file for reading and returns its descriptor, or -1 with errno set. A name that is
// not a regular file (a folder, a pipe, a device) is refused with EACCES, as Windows refuses a
// name that is not a file, and without blocking: a pipe would otherwise wait for a writer for
// ever. The descriptor blocks again once open.
int open_regular_file(const std::string& path);

// The whole of a regular file; false when open_regular_file refuses it or a read fails.
bool read_regular_file(const std::string& path, std::string& text);

// fopen for regular files only: reading as open_regular_file does; for writing, a name that
// exists and is not a regular file is refused with EACCES.
FILE* open_regular_stream(const std::string& path, const char* mode);

}  // namespace standin
