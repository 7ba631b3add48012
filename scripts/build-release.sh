#!/usr/bin/env bash
# Makes the release, build/release/Kestrune.exe, with the release's own
# toolchain: Debian 12's Clang and LLD 16 with its MinGW-w64 (headers, C
# runtime, GCC 12's C++ runtime), exactly the package versions below, which
# alone give the release's bytes (Debian 13's Clang 19 gives other ones). On a
# machine that has them it builds the windows preset; anywhere else, Debian 13
# say, it builds in a Debian 12 root that it makes once in build/release-root
# (as root: debootstrap and chroot; about a minute the first time).
#   scripts/build-release.sh
# Says in one line how it built; exit 1 with the reason where it cannot.
# The release's sources, and how a copy of them is built, are written here
# once, for this script and for the test that the build is reproducible:
#   scripts/build-release.sh --copy DIR   puts a copy of the release's sources into DIR
#   scripts/build-release.sh --here       in such a copy: builds it into out/Kestrune.exe with this machine's toolchain
set -euo pipefail
root=$(cd -P "$(dirname "$(readlink -f "$0")")/.." && pwd)
case ${1-} in
  --copy) (cd "$root" && tar -cf - CMakeLists.txt cmake launcher registry platform resources scripts/build-release.sh) |
    tar -xf - -C "$2"; exit ;;
  --here) cmake -S . -B out -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DKESTRUNE_HELPERS=OFF >/dev/null && cmake --build out >/dev/null; exit ;;
esac
. "$root/scripts/debian-root.sh"
fail() { echo "build-release: $*" >&2; exit 1; }
toolchain=(binutils-mingw-w64-i686=2.40-2+10.4 mingw-w64-common=10.0.0-3 mingw-w64-i686-dev=10.0.0-3
  gcc-mingw-w64-base=12.2.0-14+deb12u1+25.2+b1 gcc-mingw-w64-i686-win32=12.2.0-14+deb12u1+25.2+b1
  gcc-mingw-w64-i686-win32-runtime=12.2.0-14+deb12u1+25.2+b1 g++-mingw-w64-i686-win32=12.2.0-14+deb12u1+25.2+b1
  clang-16=1:16.0.6-15~deb12u1 lld-16=1:16.0.6-15~deb12u1 llvm-16=1:16.0.6-15~deb12u1)
out=$root/build/release
mkdir -p "$out"
exec 8>"$out/lock"
flock 8

native=yes
for package in "${toolchain[@]}"; do
  [ "$(dpkg-query -W -f '${Version}' "${package%%=*}" 2>/dev/null)" = "${package#*=}" ] || native=
done
if [ -n "$native" ]; then
  echo "build-release: with this machine's toolchain, the release's (Debian 12's Clang 16 and MinGW-w64)" >&2
  (cd "$root" && cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null) ||
    fail "the windows preset does not build"
  cp "$root/build/windows/Kestrune.exe" "$out/Kestrune.exe"
  exit 0
fi

echo "build-release: this machine's toolchain is not the release's, so in a Debian 12 root with the release's" \
  "(Debian 12's Clang 16 and MinGW-w64), build/release-root" >&2
[ "$(id -u)" = 0 ] || fail "making and entering the Debian 12 root needs root"
chroot=$root/build/release-root
tools=(cmake ninja-build "${toolchain[@]}")
if [ "$(cat "$chroot.stamp" 2>/dev/null)" != "${tools[*]}" ]; then
  echo "build-release: making the Debian 12 root (once) ..." >&2
  make_root bookworm "$chroot" || fail "cannot make the Debian 12 root"
  in_root "$chroot" "apt-get install -y -qq --no-install-recommends ${tools[*]}" >>"$chroot.log" 2>&1 ||
    { tail -5 "$chroot.log" >&2; fail "cannot install the release's toolchain in the Debian 12 root (its log: $chroot.log)"; }
  echo "${tools[*]}" >"$chroot.stamp"
fi
rm -rf "$chroot/root/kestrune" && mkdir -p "$chroot/root/kestrune"
"$0" --copy "$chroot/root/kestrune"
in_root "$chroot" 'cd /root/kestrune && scripts/build-release.sh --here' || fail "the release does not build in the Debian 12 root"
cp "$chroot/root/kestrune/out/Kestrune.exe" "$out/Kestrune.exe"
