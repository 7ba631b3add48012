# Debian roots of a chosen release, made with debootstrap and entered with
# chroot in a private mount namespace; sourced, not run, and only as root.
# scripts/build-release.sh builds the release with Debian 12's toolchain in
# one; scripts/try-debian.sh runs the README's commands in a fresh one.

# debian_mirror: the Debian mirror this machine's apt uses.
debian_mirror() {
  local list mirrors=
  for list in /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list; do
    [ ! -f "$list" ] ||
      mirrors+=$(sed -n -e '/security/d' -e 's/^URIs: //p' -e 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) .*/\2/p' "$list")$'\n'
  done
  echo "${mirrors%%$'\n'*}"
}

# make_root RELEASE DIR: a new minimal root of RELEASE (bookworm, trixie) in
# DIR, where apt works; about 20 s.
make_root() {
  local mirror
  command -v debootstrap >/dev/null || { echo "debootstrap is missing: run scripts/setup.sh" >&2; return 1; }
  mirror=$(debian_mirror) && [ -n "$mirror" ] || { echo "no Debian mirror in /etc/apt: this is no Debian machine" >&2; return 1; }
  rm -rf "$2"
  debootstrap --variant=minbase "$1" "$2" "$mirror" >"$2.log" 2>&1 ||
    { tail -5 "$2.log" >&2; echo "debootstrap could not make a Debian $1 root in $2 (its log: $2.log)" >&2; return 1; }
}

# in_root DIR COMMAND: COMMAND run by bash as root in the root DIR, with the
# clean environment of a fresh login; the mounts vanish when it ends. The
# root's /tmp is a new, empty one at each call. The root is a mount of its
# own, so that a root made inside it can be entered the same way.
in_root() {
  unshare -m --propagation private bash -c '
    r=$0
    mount --bind "$r" "$r" && mount -t proc proc "$r/proc" && mount --rbind /sys "$r/sys" && mount --rbind /dev "$r/dev" &&
      mount -t tmpfs tmpfs "$r/tmp" || exit 98
    exec chroot "$r" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=xterm DEBIAN_FRONTEND=noninteractive \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "$1"' "$1" "$2"
}
