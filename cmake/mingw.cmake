# Cross-compiling for Windows with MinGW-w64, for the processor that the
# toolchain file including this one names (i686 or x86_64): Clang and LLD
# (16 on Debian 12, 19 on Debian 13: the first that Control Flow Guard for
# MinGW needs, and the release's own), with MinGW-w64's headers and C
# runtime and GCC's C++ runtime, libgcc and libssp, all linked statically.
set(CMAKE_SYSTEM_NAME Windows)
set(mingw ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)

foreach(version 16 19)
  if(NOT clang AND EXISTS /usr/bin/clang++-${version} AND EXISTS /usr/bin/ld.lld-${version})
    set(clang ${version})
  endif()
endforeach()
if(NOT clang)
  message(FATAL_ERROR "Kestrune.exe is built with Clang and LLD 16 (Debian 12) or 19 (Debian 13), and neither is "
    "installed: run scripts/setup.sh")
endif()
set(CMAKE_C_COMPILER clang-${clang})
set(CMAKE_CXX_COMPILER clang++-${clang})
set(CMAKE_C_COMPILER_TARGET ${mingw})
set(CMAKE_CXX_COMPILER_TARGET ${mingw})
set(CMAKE_RC_COMPILER ${mingw}-windres)

# Clang does not take Debian's folder of GCC's files (12-win32, say) for a
# GCC version, so it is named here: its C++ headers, its libraries, and its
# crtbegin.o, which registers the unwind tables that C++ exceptions need (the
# MinGW-w64 one Clang would take instead registers none).
execute_process(COMMAND ${mingw}-gcc -print-libgcc-file-name OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(gcc ${libgcc} DIRECTORY)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${gcc}/include/c++ ${gcc}/include/c++/${mingw} ${gcc}/include/c++/backward)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld-${clang} -B${gcc} -L${gcc}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${CMAKE_EXE_LINKER_FLAGS_INIT}")

set(CMAKE_FIND_ROOT_PATH /usr/${mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
