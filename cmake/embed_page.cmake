# Writes the preview page's files into a C++ source (cmake -DOUTPUT=... -DFILES="a|b" -P), as
# byte arrays: any text goes in unchanged, whatever quotes or delimiters it holds. The files
# come separated by '|', as a command line keeps them together.
string(REPLACE "|" ";" FILES "${FILES}")
set(body "// Made by cmake/embed_page.cmake from tools/page/: do not edit.\n#include \"tools/serve_page.h\"\n\n")
set(table "")
set(index 0)
foreach(file ${FILES})
    get_filename_component(name "${file}" NAME)
    get_filename_component(extension "${file}" EXT)
    if(extension STREQUAL ".html")
        set(type "text/html; charset=utf-8")
    elseif(extension STREQUAL ".css")
        set(type "text/css; charset=utf-8")
    elseif(extension STREQUAL ".js")
        set(type "text/javascript; charset=utf-8")
    else()
        set(type "application/octet-stream")
    endif()
    file(READ "${file}" hex HEX)
    string(LENGTH "${hex}" length)
    math(EXPR size "${length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
    string(APPEND body "static const char file_${index}[] = {${bytes} 0};\n")
    string(APPEND table "    {\"/${name}\", \"${type}\", file_${index}, ${size}},\n")
    math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "\nstatic const PageFile files[] = {\n${table}};\n\n"
    "const PageFile* page_file(const std::string& path) {\n"
    "    for (const PageFile& file : files) {\n"
    "        if (path == file.path) return &file;\n"
    "    }\n"
    "    return nullptr;\n"
    "}\n")
file(WRITE "${OUTPUT}.new" "${body}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
