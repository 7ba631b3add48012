#!/usr/bin/env bash
# Static analysis of the whole source; exits non-zero on any finding.
#   static-analysis.sh format|clang-tidy|cppcheck SOURCE_DIR [HOST_BUILD] [WINDOWS_BUILD]
# clang-tidy reads the compile commands of the host and the windows builds,
# so those must have been configured.
set -euo pipefail
what=$1 src=$2 host=${3:-} windows=${4:-}
cd "$src"
mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find launcher registry platform resources wine tests bench -name '*.cpp' -o -name '*.h')

case $what in
  format)
    clang-format --dry-run --Werror "${sources[@]}"
    echo "clang-format: ${#sources[@]} files formatted"
    ;;
  clang-tidy)
    # The compile commands as CMake's Ninja generator writes them, but for a
    # $ in a path, which it writes as $$, Ninja's escape, and for -mguard=cf,
    # which Debian 12's clang-tidy (Clang 14) does not know.
    commands=$(mktemp -d) && trap 'rm -rf "$commands"' EXIT
    for build in host windows; do
      mkdir "$commands/$build" &&
        sed -e 's/\$\$/$/g' -e 's/ -mguard=cf//g' "${!build}/compile_commands.json" >"$commands/$build/compile_commands.json"
    done
    clang-tidy -p "$commands/host" --quiet launcher/launcher.cpp registry/regHelper.cpp platform/portable.cpp
    clang-tidy -p "$commands/windows" --quiet platform/windows.cpp
    echo "clang-tidy: clean"
    ;;
  cppcheck)
    # useStlAlgorithm: a plain loop reads better here than an algorithm call.
    # unusedStructMember in the test tables: the names are read by GoogleTest
    # through a lambda that cppcheck does not follow.
    # Newer cppcheck limits its analysis of branches unless told to be
    # exhaustive, and reports that it did; older ones always are.
    level=() && [[ $(cppcheck --help) != *--check-level* ]] || level=(--check-level=exhaustive)
    cppcheck "${level[@]}" --enable=warning,style,performance,portability --std=c++17 --language=c++ \
      --error-exitcode=1 --inline-suppr --quiet -I . --library=googletest --library=windows \
      --suppress=missingIncludeSystem --suppress=useStlAlgorithm \
      --suppress='unusedStructMember:tests/unit/*' \
      launcher registry platform resources wine tests bench
    echo "cppcheck: clean"
    ;;
  *)
    echo "usage: static-analysis.sh format|clang-tidy|cppcheck SOURCE_DIR [HOST_BUILD] [WINDOWS_BUILD]" >&2
    exit 2
    ;;
esac
