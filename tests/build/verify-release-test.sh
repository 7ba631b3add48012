#!/usr/bin/env bash
# scripts/verify-release.sh against builds signed here with a throwaway
# certificate (no key is kept): the genuine build passes; one byte changed
# after signing, a build changed before signing, an unsigned build and the
# x86-64 build fail, each with its own message.
#   verify-release-test.sh SOURCE_DIR WORK_DIR
set -euo pipefail
src=$1 work=$2 built=$1/build/release/Kestrune.exe
rm -rf "$work" && mkdir -p "$work" && cd "$work"
"$src/scripts/build-release.sh" 2>build.log || { cat build.log; echo "FAILED: scripts/build-release.sh cannot make the release"; exit 1; }
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -subj /CN=Kestrune-test -days 1 2>/dev/null
poke() { cp "$1" "$2" && printf '\x90' | dd of="$2" bs=1 seek=5000 conv=notrunc 2>/dev/null; }
sign() { osslsigncode sign -certs cert.pem -key key.pem -h sha256 -in "$1" -out "$2" >/dev/null; }
sign "$built" signed.exe && poke signed.exe changed-after.exe
poke "$built" other.exe && sign other.exe changed-before.exe
check() {  # FILE EXIT_CODE TEXT
  output=$("$src/scripts/verify-release.sh" "$1" 2>&1) && code=0 || code=$?
  echo "$1: exit $code: $output"
  [ "$code" = "$2" ] && [[ $output == *"$3"* ]] || { echo "FAILED: expected exit $2 and \"$3\""; exit 1; }
}
check signed.exe 0 "is identical to this source's build"
check changed-after.exe 1 "the file was changed after it was signed"
check changed-before.exe 1 "differs from this checkout's build"
check "$built" 1 "not signed"
check "$src/build/windows64/Kestrune.exe" 1 "a 64-bit Windows program (x86-64), while the release is a 32-bit one"
rm -rf "$work"
