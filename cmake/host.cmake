# The host build: the logic against the portable platform, its unit tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, and the tests that
# drive the Windows build, the fuzzer and the static analysis.
set(kestrune_sanitize -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(kestrune_portable STATIC platform/portable.cpp)
target_include_directories(kestrune_portable PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})

foreach(target kestrune_logic kestrune_portable)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror ${kestrune_sanitize})
  target_link_options(${target} PUBLIC ${kestrune_sanitize})
endforeach()

add_executable(make-icon resources/make-icon.cpp)
target_compile_options(make-icon PRIVATE -Wall -Wextra -Werror)

enable_testing()
add_subdirectory(tests)
