# Kestrune.exe: 32-bit, GUI subsystem, Unicode entry point, statically linked
# so that it imports only Windows system DLLs, and as small as it can be.
# One thread only: function-local statics need no locking.
set(kestrune_size_flags -Os -ffunction-sections -fdata-sections -fno-ident -fno-threadsafe-statics)
# No build folder, date or link time ends up in the executable, so two builds
# of one commit are byte for byte the same.
set(kestrune_reproducible_flags
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
  -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
# Stack cookies: a function with an array or an address taken checks its
# cookie before it returns and ends the program on an overwritten one. The
# toolchain's libssp is linked statically; platform/windows.cpp seeds the
# cookie before libssp's constructor would. Control Flow Guard: each indirect
# call of Kestrune's own code first has Windows check its target against the
# table of functions whose address is taken (LLD writes it; the GUARD_CF mark
# and the load configuration in platform/windows.cpp hand it to Windows).
# Kestrune calls no longjmp, so there is no table of its targets.
set(kestrune_hardening_flags -fstack-protector-strong -mguard=cf)
# The link writes no time stamp, and writes the header's checksum (LLD's
# -release), as signing tools do where they remove a signature: a release
# signed and unsigned again is the very file that was built.
set(kestrune_windows_link
  -static -municode ${kestrune_hardening_flags} -Wl,--no-guard-longjmp
  -Wl,--gc-sections -s
  -Wl,--no-insert-timestamp -Wl,-Xlink=-release
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware)
# A 32-bit program registers exception handlers on the stack, where an
# overflow could replace them, unless it is marked as having none. Kestrune
# has none: its C++ exceptions unwind through DWARF tables, and neither the C
# runtime's start-up nor libgcc writes a handler to fs:0. x86-64 programs
# keep their handlers in read-only tables, so the mark is the 32-bit one's.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  list(APPEND kestrune_windows_link -Wl,--no-seh)
endif()

target_compile_options(kestrune_logic PRIVATE -Wall -Wextra -Werror
  ${kestrune_size_flags} ${kestrune_reproducible_flags} ${kestrune_hardening_flags})

# The resources are compiled in the build's own folder resources, which holds
# copies of them, and named by their plain names: windres hands its
# preprocessor's command line, with every path it is given, to a shell, which
# a path holding ' $ & ( ) or a backtick breaks. The manifest names the
# processor the program is for, x86 in the release; the x86-64 build gets a
# copy naming amd64 (Windows refuses to start a program whose manifest names
# another processor).
enable_language(RC)
set(CMAKE_RC_COMPILE_OBJECT "<CMAKE_COMMAND> -E chdir resources <CMAKE_RC_COMPILER> -O coff kestrune.rc kestrune.res"
  "<CMAKE_COMMAND> -E rename resources/kestrune.res <OBJECT>")
set(rc ${CMAKE_BINARY_DIR}/resources)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS resources/kestrune.manifest resources/kestrune.rc)
file(READ resources/kestrune.manifest manifest)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  string(REPLACE "processorArchitecture=\"x86\"" "processorArchitecture=\"amd64\"" manifest "${manifest}")
endif()
file(CONFIGURE OUTPUT ${rc}/kestrune.manifest CONTENT "${manifest}" @ONLY)
configure_file(resources/kestrune.ico ${rc}/kestrune.ico COPYONLY)
# The copy of kestrune.rc ends in a comment holding the icon's and the
# manifest's hashes, so that a change to either recompiles the resources.
file(READ resources/kestrune.rc rc_text)
file(SHA256 resources/kestrune.ico ico_hash)
string(SHA256 manifest_hash "${manifest}")
file(CONFIGURE OUTPUT ${rc}/kestrune.rc CONTENT "${rc_text}// ${ico_hash} ${manifest_hash}\n" @ONLY)

add_executable(Kestrune WIN32 platform/windows.cpp ${rc}/kestrune.rc)
target_compile_options(Kestrune PRIVATE -Wall -Wextra -Werror
  ${kestrune_size_flags} ${kestrune_reproducible_flags} ${kestrune_hardening_flags})
target_link_libraries(Kestrune PRIVATE kestrune_logic)
# The linker map, build/PRESET/Kestrune.map, tells what the executable is made
# of (bench/run.sh and tests/build/pe-check.sh read it); named relative to the
# build folder, where the link runs. A warning of LLD's (a load configuration
# it finds wrong, say) fails the link.
target_link_options(Kestrune PRIVATE ${kestrune_windows_link} -Wl,-Map=Kestrune.map -Wl,--fatal-warnings)
set_target_properties(Kestrune PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The Win32 helpers that run inside Wine beside Kestrune.exe: the box watcher
# of wine/run.sh, and the end-to-end tests' driver and planted DLL.
option(KESTRUNE_HELPERS "Build the Win32 helpers of the scripts and the end-to-end tests" ON)
if(KESTRUNE_HELPERS)
  # Small, and starting anywhere in Wine: no MinGW runtime DLLs beside them.
  function(kestrune_helper target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Os)
    target_link_options(${target} PRIVATE -static -s)
  endfunction()
  add_executable(box-watcher wine/box-watcher.cpp)
  kestrune_helper(box-watcher)
  add_subdirectory(tests/e2e)
endif()
