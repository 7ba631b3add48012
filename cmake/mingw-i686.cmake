# Cross-compiling for 32-bit Windows with MinGW-w64, the release; programs
# built here run under Wine when CMake or CTest needs to run them.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
