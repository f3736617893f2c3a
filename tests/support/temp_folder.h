// Test helper: the temporary folder that test files go in. Standard C++ only, so every test
// program, native or Windows, and the fuzzing and benchmark programs can use it.
#pragma once

#include <cstdlib>
#include <string>

namespace test_folder {

// TMPDIR, TEMP or TMP, with a separator at the end; off Windows /tmp/ when none is set.
inline std::string temporary() {
    for (const char* name : {"TMPDIR", "TEMP", "TMP"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            std::string folder = value;
            char last = folder.back();
            return (last == '/' || last == '\\') ? folder : folder + "/";
        }
    }
#if defined(_WIN32)
    return "";
#else
    return "/tmp/";
#endif
}

}  // namespace test_folder
