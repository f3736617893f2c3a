# The panel preview's two libraries, tinyxml2 (XML gauges) and libmspack (cabinet files), for the
# Windows builds. Debian packages them for Linux only, so these builds compile the Debian sources
# (with Debian's patches applied) that scripts/fetch_panel_sources.sh unpacked under
# build/sources/, into the build tree of each preset. The targets are named as the Linux
# packages' are, so panel/ links them the same way on every build.
set(CUEBOX_PANEL_SOURCES "${CMAKE_SOURCE_DIR}/build/sources" CACHE PATH
    "Where scripts/fetch_panel_sources.sh unpacked tinyxml2 and libmspack")

file(GLOB tinyxml2_dirs LIST_DIRECTORIES true "${CUEBOX_PANEL_SOURCES}/tinyxml2-*")
file(GLOB mspack_dirs LIST_DIRECTORIES true "${CUEBOX_PANEL_SOURCES}/libmspack-*")
list(FILTER tinyxml2_dirs EXCLUDE REGEX "\\.(tar\\..*|dsc)$")
list(FILTER mspack_dirs EXCLUDE REGEX "\\.(tar\\..*|dsc)$")
if(NOT tinyxml2_dirs OR NOT mspack_dirs)
    message(FATAL_ERROR "The sources of tinyxml2 and libmspack are not in ${CUEBOX_PANEL_SOURCES}: "
        "run scripts/fetch_panel_sources.sh (scripts/setup.sh does), or set CUEBOX_PANEL_SOURCES")
endif()
list(GET tinyxml2_dirs 0 tinyxml2_dir)
list(GET mspack_dirs 0 mspack_dir)

add_library(cuebox_tinyxml2 STATIC "${tinyxml2_dir}/tinyxml2.cpp")
target_include_directories(cuebox_tinyxml2 SYSTEM PUBLIC "${tinyxml2_dir}")
target_compile_options(cuebox_tinyxml2 PRIVATE -w)
add_library(tinyxml2::tinyxml2 ALIAS cuebox_tinyxml2)

# Only the cabinet reader and its three decompressors: the other formats stay out of the tools.
add_library(cuebox_mspack STATIC
    "${mspack_dir}/mspack/system.c" "${mspack_dir}/mspack/cabd.c"
    "${mspack_dir}/mspack/mszipd.c" "${mspack_dir}/mspack/lzxd.c" "${mspack_dir}/mspack/qtmd.c")
target_include_directories(cuebox_mspack SYSTEM PUBLIC "${mspack_dir}/mspack")
target_compile_definitions(cuebox_mspack PRIVATE HAVE_INTTYPES_H=1 HAVE_STDLIB_H=1
    HAVE_STRING_H=1 HAVE_LIMITS_H=1)
target_compile_options(cuebox_mspack PRIVATE -w)
# Its decompressors each keep tables of the same names, so each is compiled alone.
set_target_properties(cuebox_mspack PROPERTIES UNITY_BUILD OFF)
set(MSPACK_LIBRARY cuebox_mspack)
set(MSPACK_INCLUDE_DIR "${mspack_dir}/mspack")
