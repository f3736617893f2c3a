// The preview's page (tools/page/: HTML, CSS and JavaScript), built into the binary so that
// `cuebox serve` needs no file beside it and the browser fetches nothing from the network.
#pragma once

#include <cstddef>
#include <string>

struct PageFile {
    const char* path;  // "/index.html"
    const char* type;  // its Content-Type
    const char* text;
    size_t size;
};

// The page's file at `path`, or null.
const PageFile* page_file(const std::string& path);
