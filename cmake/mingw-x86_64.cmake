# Cross-compiling for 64-bit Windows with MinGW-w64: the same source as the
# 32-bit release, built to prove the Windows layer under Wine on machines that
# run no 32-bit programs. Its programs run under Wine's 64-bit loader.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
