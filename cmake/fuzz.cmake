# The fuzz build (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer): the logic and the portable platform, and the
# fuzz target.
set(kestrune_fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
target_sources(kestrune_logic PRIVATE platform/portable.cpp)
target_compile_options(kestrune_logic PRIVATE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
  -fno-sanitize-recover=all -Wall -Wextra -Werror)
add_executable(registry-fuzz tests/fuzz/registry_fuzz.cpp)
# Its invariants are asserts, kept in this optimised build.
target_compile_options(registry-fuzz PRIVATE ${kestrune_fuzz_flags} -UNDEBUG -Wall -Wextra -Werror)
target_link_options(registry-fuzz PRIVATE ${kestrune_fuzz_flags})
target_link_libraries(registry-fuzz PRIVATE kestrune_logic)
