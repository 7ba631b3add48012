#!/usr/bin/env bash
# Checks that a signed Kestrune.exe is exactly what this checkout builds.
#
#   scripts/verify-release.sh SIGNED.exe [ROOT_CA.pem]
#
# 1. Its Authenticode signature is intact: the file was not changed after it
#    was signed, and the signature is valid for the certificate it carries,
#    as of its signing time. Whether that certificate deserves trust is the
#    user's business and is not judged here; the check only needs the
#    certificate's chain to end at a certificate the signature carries, at a
#    system CA, or at ROOT_CA.pem.
# 2. Without the signature, the file is byte for byte this checkout's release
#    build, made with the release's toolchain by scripts/build-release.sh (the
#    build is reproducible): on a machine without that toolchain, in a Debian
#    12 root, which that script says in a line.
# Exit 0 when both hold, 1 with the reason otherwise (a file that is no
# Windows program, or one for another processor, among them), 2 for a wrong
# call.
set -euo pipefail
root=$(cd -P "$(dirname "$(readlink -f "$0")")/.." && pwd)
[ $# = 1 ] || [ $# = 2 ] || { echo "usage: scripts/verify-release.sh SIGNED.exe [ROOT_CA.pem]" >&2; exit 2; }
file=$1
fail() { echo "verify-release: $file: $*" >&2; exit 1; }

[ -f "$file" ] || fail "no such file"
headers=$(llvm-readobj --file-headers "$file" 2>/dev/null) && [[ $headers == *ImageOptionalHeader* ]] ||
  fail "not a Windows program (no PE file)"
processor=$(sed -n 's/^Arch: //p' <<<"$headers")
case $processor in
  i386) ;;
  x86_64) fail "a 64-bit Windows program (x86-64), while the release is a 32-bit one (x86)" ;;
  *) fail "a Windows program for another processor ($processor), while the release is for 32-bit x86" ;;
esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
osslsigncode extract-signature -pem -in "$file" -out "$work/signature.pem" >/dev/null 2>&1 ||
  fail "not signed: it carries no Authenticode signature"

# The certificates the signature carries and the system's CAs serve as trust
# anchors, so that osslsigncode checks the signature itself, whoever signed.
openssl pkcs7 -in "$work/signature.pem" -print_certs -out "$work/anchors.pem"
cat /etc/ssl/certs/ca-certificates.crt ${2:+"$2"} >>"$work/anchors.pem"
signed=$(osslsigncode verify -in "$file" 2>/dev/null | sed -n 's/^[[:space:]]*Signing time: //p' | head -1 || true)
if ! osslsigncode verify -CAfile "$work/anchors.pem" ${signed:+-time "$(date -d "$signed" +%s)"} -in "$file" \
  >"$work/verify.log" 2>&1; then
  grep -q MISMATCH "$work/verify.log" && fail "the signature is broken: the file was changed after it was signed"
  fail "the signature does not verify: $(grep -m1 -oE 'Error: .*' "$work/verify.log" || echo broken)" \
    "(a chain ending at no certificate known here verifies once its root CA is named as the second argument)"
fi

osslsigncode remove-signature -in "$file" -out "$work/unsigned.exe" >/dev/null
"$root/scripts/build-release.sh" || fail "this checkout's release does not build"
checkout=$(git -C "$root" describe --always --dirty 2>/dev/null || echo "no git")
cmp -s "$work/unsigned.exe" "$root/build/release/Kestrune.exe" ||
  fail "the signature is intact, but the signed program differs from this checkout's build ($checkout)"
echo "verify-release: $file is identical to this source's build ($checkout); its signature is intact"
