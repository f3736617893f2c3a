# The deliverable: 32-bit Windows, MinGW-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The posix thread model: cuebox.exe's HTTP server (serve) and GoogleTest need std::thread and
# std::mutex, which the win32 model of this MinGW lacks. Programs link winpthread statically, so
# cuebox.exe needs no DLL beside the system ones; the gauge file is linked without the thread
# library at all (module/CMakeLists.txt), so it comes out as it would under the win32 model.
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
