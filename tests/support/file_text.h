// A whole file's bytes, for tests that compare what a program wrote or read; empty when the
// file cannot be read.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

inline std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
