# Kestrune.exe: 32-bit, GUI subsystem, Unicode entry point, statically linked
# so that it imports only Windows system DLLs, and as small as it can be.
enable_language(RC)

# One thread only: function-local statics need no locking.
set(kestrune_size_flags -Os -ffunction-sections -fdata-sections -fno-ident -fno-threadsafe-statics)
# No build folder, date or link time ends up in the executable, so two builds
# of one commit are byte for byte the same.
set(kestrune_reproducible_flags
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
  -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
set(kestrune_windows_link
  -static -municode
  -Wl,--gc-sections -s
  -Wl,--no-insert-timestamp
  -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware)

target_compile_options(kestrune_logic PRIVATE -Wall -Wextra -Werror
  ${kestrune_size_flags} ${kestrune_reproducible_flags})

add_executable(Kestrune WIN32 platform/windows.cpp resources/kestrune.rc)
# The resource compiler does not report the files it embeds as dependencies.
set_source_files_properties(resources/kestrune.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/resources/kestrune.ico;${CMAKE_SOURCE_DIR}/resources/kestrune.manifest")
# The manifest names the processor the program is for: x86 in the release.
# The x86-64 build gets a copy naming amd64 (Windows refuses to start a
# program whose manifest names another processor), found first on the
# resource compiler's include path.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS resources/kestrune.manifest)
  file(READ resources/kestrune.manifest manifest)
  string(REPLACE "processorArchitecture=\"x86\"" "processorArchitecture=\"amd64\"" manifest "${manifest}")
  file(WRITE ${CMAKE_BINARY_DIR}/amd64/kestrune.manifest "${manifest}")
  target_include_directories(Kestrune PRIVATE $<$<COMPILE_LANGUAGE:RC>:${CMAKE_BINARY_DIR}/amd64>)
endif()
target_compile_options(Kestrune PRIVATE -Wall -Wextra -Werror
  ${kestrune_size_flags} ${kestrune_reproducible_flags})
target_link_libraries(Kestrune PRIVATE kestrune_logic)
# The linker map tells what the executable is made of (bench/run.sh reads it).
target_link_options(Kestrune PRIVATE ${kestrune_windows_link} -Wl,-Map=${CMAKE_BINARY_DIR}/Kestrune.map)
set_target_properties(Kestrune PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The end-to-end tests' driver runs inside Wine beside Kestrune.exe.
option(KESTRUNE_E2E_HELPERS "Build the Win32 driver of the end-to-end tests" ON)
if(KESTRUNE_E2E_HELPERS)
  add_subdirectory(tests/e2e)
endif()
