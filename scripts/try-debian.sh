#!/usr/bin/env bash
# Runs the README's two commands as a new user of a Debian release meets
# them: in a fresh root of that release, as root, in a clone of this
# checkout's committed HEAD whose path holds a blank. For whoever changes the
# package list or a tool's version.
#   scripts/try-debian.sh [trixie|bookworm]      (Debian 13, the default, or 12)
# The root, build/try-RELEASE (about 7 GB), is made anew each time and kept
# for a look until the next try; `rm -rf` removes it. Each step says how long
# it took; exit 1 where one fails, 130 on Ctrl-C.
set -euo pipefail
root=$(cd -P "$(dirname "$(readlink -f "$0")")/.." && pwd)
. "$root/scripts/debian-root.sh"
release=${1:-trixie}
[ $# -le 1 ] && [[ $release =~ ^(trixie|bookworm)$ ]] || { echo "usage: scripts/try-debian.sh [trixie|bookworm]" >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "try-debian: needs root (debootstrap, chroot)" >&2; exit 1; }
trap 'exit 130' INT
dir=$root/build/try-$release
step() {  # WHAT COMMAND: COMMAND in the root's clone
  local start=$SECONDS
  echo "try-debian: $1 ..." >&2
  in_root "$dir" "cd '/root/new user/kestrune' && $2" || { echo "try-debian: $1 failed in Debian $release" >&2; exit 1; }
  echo "try-debian: $1 took $((SECONDS - start)) s" >&2
}
echo "try-debian: a fresh Debian $release root in $dir, HEAD $(git -C "$root" describe --always)" >&2
make_root "$release" "$dir"
# As an installed Debian does, the root takes the stable and security updates.
mirror=$(debian_mirror) && printf 'deb %s %s-updates main\ndeb %s %s-security main\n' \
  "$mirror" "$release" "${mirror%/*}/debian-security" "$release" >>"$dir/etc/apt/sources.list"
in_root "$dir" 'apt-get update -qq && apt-get install -y -qq sudo git ca-certificates >/dev/null 2>&1'
git clone -q "$root" "$dir/root/new user/kestrune"
step "scripts/setup.sh" "scripts/setup.sh"
step "the first wine/run.sh" "wine/run.sh"
step "a following wine/run.sh" "wine/run.sh"
step "cmake --workflow --preset all" "cmake --workflow --preset all"
echo "try-debian: both README commands pass in Debian $release" >&2
