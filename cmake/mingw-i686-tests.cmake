# The 32-bit test programs: the deliverable's target (mingw-i686.cmake) with the posix thread
# model, which GoogleTest needs (std::mutex). The deliverable itself keeps the win32 model.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
