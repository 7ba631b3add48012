# What every script that runs Kestrune under Wine shares (scripts/run.sh and
# stop-warm.sh, bench/run.sh, the end-to-end tests); sourced, not run. Quiet
# Wine, no Mono or Gecko installer dialogs, no menu entries and file
# associations written into the user's home, no debugger holding a program
# that crashed (its exit status and Wine's line "Unhandled page fault ..."
# say so at once), and no JAVA_HOME from the machine, nor the stand-in VM's
# recording variable, leaking in.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
unset JAVA_HOME KESTRUNE_RECORD
# Wine keeps its server's socket in a folder in TMPDIR: it fails where TMPDIR
# names a folder that is missing or cannot be written ("unable to create
# wineserver tmpdir"), and Debian 13's Wine 10 crashes ("free(): invalid
# pointer") where TMPDIR is set at all. So Wine works in /tmp, TMPDIR unset.
unset TMPDIR

# Wine's two loaders, called by name: Debian's `wine` script always picks the
# 32-bit one when it is installed, even where it cannot run.
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

# wine_builds [FILE]: the build presets of Kestrune.exe this machine runs
# under Wine, found by trying. Sets builds to "windows windows64" or to
# "windows64" (the 32-bit release needs the 32-bit loader, which a machine
# that runs no 32-bit programs cannot start), and why to one line saying so.
# KESTRUNE_NO_32BIT=1 takes the path of such a machine anywhere. The answer
# changes only with a boot: FILE keeps it until the next one. Fails, saying
# which package to install, where Wine's 64-bit loader, which every machine
# needs, is missing.
wine_builds() {
  [ -x "$wine64" ] || { [ -x "$wine32" ] &&
    echo "Wine's 64-bit loader $wine64 is missing: install the package wine64 (scripts/setup.sh installs it)" >&2 ||
    echo "Wine is not installed: install the packages wine and wine64 (scripts/setup.sh installs them)" >&2; return 1; }
  local answer asked
  read -r asked </proc/sys/kernel/random/boot_id && asked+=" ${KESTRUNE_NO_32BIT:-0}"
  { read -r answer && [ "$answer" = "$asked" ] && read -r builds && read -r why && return; } 2>/dev/null <"${1:-/dev/null}"
  builds=windows64 why="KESTRUNE_NO_32BIT is set"
  if [ "${KESTRUNE_NO_32BIT:-0}" != 0 ]; then :
  elif [ ! -x "$wine32" ]; then why="Wine's 32-bit part is not installed (the package wine32:i386, which scripts/setup.sh installs)"
  # bash, not timeout, starts the loader: timeout would run a file the kernel
  # cannot execute as a shell script. Its error is named only where it is not
  # the plain answer of a kernel that runs no 32-bit programs.
  elif answer=$(timeout 60 bash -c '"$0" --version' "$wine32" 2>&1); then
    builds="windows windows64" why="this machine runs 32-bit programs"
  elif [[ $answer == *"Exec format error"* ]]; then
    why="this machine runs no 32-bit programs (its kernel has them switched off), and the release is one"
  else
    why="Wine's 32-bit loader does not start here ($wine32: ${answer##*: })"
  fi
  [ -z "${1-}" ] || { printf '%s\n' "$asked" "$builds" "$why" >"$1"; } 2>/dev/null || true
}

# wine_choose [FILE]: of the builds this machine runs (wine_builds FILE), the
# one a user is shown, the release where it runs. Sets preset (the build
# preset), wine (its loader), arch (the prefix it runs in) and what (its
# name), besides builds and why.
wine_choose() {
  wine_builds "$@" || return 1
  preset=${builds%% *} arch=win64 wine=$wine64 what="the x86-64 build (not the release)"
  [ "$preset" != windows ] || arch=win32 wine=$wine32 what="the 32-bit release"
}

# wine_loader windows|windows64|win32|win64: the loader that runs that build,
# or that kind of prefix.
wine_loader() { case $1 in windows | win32) echo "$wine32" ;; *) echo "$wine64" ;; esac; }

# started PID: sets since to when the process PID started, or to nothing
# where there is none, or only its exit status is left for its parent to
# collect (a zombie: where no init reaps orphans, one may stay for good).
# runs PID START: whether the process PID still runs, and
# is still the one started at START (a process id comes round again soon,
# where processes come and go by the thousand). alive FILE: the same for the
# process FILE names ("PID START ...").
started() { local s=; read -r s 2>/dev/null </proc/$1/stat; s=(${s##*) }); since=${s[19]-} && [ "${s[0]-}" != Z ] || since=; }
runs() { started "$1" && [ -n "$since" ] && [ "$since" = "$2" ]; }
alive() { local pid start; read -r pid start _ 2>/dev/null <"$1" && runs "$pid" "$start"; }

# end_prefix DIR [SOCKET]: ends every process of the Wine prefix DIR at once,
# whether its server is up, stopped or gone, and removes the server's socket
# folder. They are found by what they are: each carries WINEPREFIX=DIR in its
# environment, as every program of the prefix does (its server and services
# too), and so does whatever the scripts here start for it (a slot's keeper
# and display); the caller must not have been started so. Each gets SIGTERM,
# and SIGKILL a second later where it is still there (a stopped one, say). Debian's Wine keeps the socket in a folder of its own in /tmp,
# named in DIR/wineserver (or SOCKET, where DIR is gone), which outlives the
# server, and which a prefix copied from DIR must not name.
end_prefix() {
  local socket=${2-} signal found
  [ -n "$socket" ] || read -r socket 2>/dev/null <"$1/wineserver" || true
  for signal in TERM - - - - KILL - - - -; do
    found=($(WINEPREFIX= grep -lzsxF "WINEPREFIX=$1" /proc/[0-9]*/environ || :)) && [ ${#found[@]} != 0 ] || break
    [ "$signal" = - ] && sleep 0.2 || kill -"$signal" "${found[@]//[^0-9]/}" 2>/dev/null || true
  done
  [[ $socket =~ ^wine-[A-Za-z0-9]+$ ]] || return 0
  rm -rf "/tmp/$socket" "$1/wineserver"
}

# start_server DIR [OPTION]: starts the server of the prefix DIR (made when
# missing) before any program does: Debian's Wine gives programs that start at
# once in a prefix without one each a socket folder, and so a server, of their
# own. OPTION goes to wineserver: -pN keeps it up N seconds after the last
# program in it ended (written as one word: Debian's wineserver script puts
# -p0 in front, and a -p without its number means for ever).
start_server() { mkdir -p "$1" && WINEPREFIX=$1 wineserver ${2-}; }

# make_prefix DIR win32|win64: a new Wine prefix, fully booted. The services
# Wine starts with every session of it (mount manager, network, plug and play,
# event log) start only when asked for, and the menu builder not at all:
# nothing Kestrune does needs them, and a session then takes half the time to
# start.
make_prefix() {
  [ ! -d "$1" ] || end_prefix "$1"
  rm -rf "$1"
  WINEARCH=$2 start_server "$1"  # the server makes the registry, of that kind
  WINEARCH=$2 WINEPREFIX=$1 "$(wine_loader "$2")" wineboot -i
  WINEPREFIX=$1 wineserver -w
  sed -i -e '/^\[System\\\\CurrentControlSet\\\\Services\\\\/,/^$/ s/^"Start"=dword:00000002$/"Start"=dword:00000003/' \
    -e '/^"winemenubuilder"=/d' "$1/system.reg"
}

# copy_prefix FROM TO: a throwaway copy of a prefix whose server has ended
# (see end_prefix), made in well under a second. The large system files are
# hard links (Wine replaces files rather than writing into them); the
# registry files are real copies.
copy_prefix() { cp -al "$1" "$2" && cp --remove-destination "$1"/{system,user,userdef}.reg "$2/"; }

# start_display DIR: a virtual display of its own for Wine's windows, at a
# free number, which Xvfb writes once it is ready; exports DISPLAY and leaves
# the number in DIR/display. Xvfb carries the caller's WINEPREFIX, so that
# end_prefix ends it too.
start_display() {
  read -r -t 10 DISPLAY < <(Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>&1 >/dev/null 2>&1 </dev/null &) &&
    echo "$DISPLAY" >"$1/display" && export DISPLAY=:$DISPLAY || { echo "Xvfb did not start" >&2; return 1; }
}

# The template of scripts/run.sh: a booted prefix of the kind ARCH (win32 or
# win64) with the Java VM JAVA registered at C:\java-home, the way a Java
# installer registers it, and scripts/java-stand-in.sh as that home's
# bin\java.exe; its server has ended. make_template DIR ARCH JAVA STAMP makes
# it beside DIR (DIR.new) and moves it there whole, with STAMP (what it is
# made of) in DIR/kestrune.stamp, so that a template is complete or absent:
# failing, or ended by SIGTERM (as a time limit or an interrupt sends it), it
# leaves nothing behind. Each step is named on error output as it begins.
make_template() {
  local new=$1.new version
  trap 'trap "" TERM; end_prefix "$new"; rm -rf "$new"' EXIT
  trap 'exit 143' TERM
  # Each step runs in the background and is waited for: bash runs a trap only between commands.
  step() { echo "$1" >&2 && { "${@:2}" >/dev/null 2>&1 </dev/null & wait $!; }; }
  echo "asking $3 its version" >&2
  version=$("$3" -XshowSettings:properties -version 2>&1 </dev/null | sed -n 's/^ *java\.version = //p') && [ -n "$version" ] &&
    step "booting it (wineboot)" make_prefix "$new" "$2" &&
    step "registering Java in it (reg add)" env WINEPREFIX="$new" "$(wine_loader "$2")" reg add \
      "HKLM\\Software\\JavaSoft\\Java Runtime Environment\\$version" /v JavaHome /d 'C:\java-home' /f &&
    step "waiting for its Wine server to end (wineserver -w)" env WINEPREFIX="$new" wineserver -w || return
  end_prefix "$new" && mkdir -p "$new/drive_c/java-home/bin" &&
    cp "${BASH_SOURCE[0]%/*}/java-stand-in.sh" "$new/drive_c/java-home/bin/java.exe" &&
    echo "Java $version registered at C:\\java-home -> $(readlink -f "$3")" >"$new/kestrune.java" &&
    echo "$4" >"$new/kestrune.stamp" && mv -T "$new" "$1" && trap - EXIT
}

# A slot: where scripts/run.sh runs the launcher, kept warm between runs. It
# holds a copy of the template (prefix), what it is for (key: the prefix
# kind, the display and the template's stamp), its events pipe (events: each
# event a word ended by a NUL), the keeper's process id and start (keeper),
# and who uses it (use): the process id and start of the run that took it, or
# "released TIME" once that run is done with it. A slot taken by a run that
# is gone was left by a run killed outright, and is never used again.
#
# end_slot SLOT [SOCKET]: ends the slot SLOT at once (end_prefix) and removes
# it; SOCKET names its server's socket folder where the slot is gone.
end_slot() { end_prefix "$1/prefix" "${2-}"; rm -rf "$1"; }
#
# keep_slot SLOT LOADER, started with WINEPREFIX=SLOT/prefix in its
# environment and in a session of its own (so that no Ctrl-C of a run reaches
# it): the slot's keeper. It brings up the prefix's server, which ends
# KESTRUNE_WARM_SECONDS (60) after the last program in it, its session
# (services and desktop) and, without a DISPLAY, a display of its own, and
# says so (ready). It checks every 2 s, and ends once the server has, the
# slot's folder is gone, or the run that took it is gone (a box of that run's
# would otherwise stand for ever). Its shadow then ends the slot.
keep_slot() {
  started $$ && env -u WINEPREFIX setsid bash -c '. "$0" && shadow "$@"' "${BASH_SOURCE[0]}" "$1" $$ "$since" </dev/null >/dev/null 2>&1 &
  [ -n "${DISPLAY-}" ] || start_display "$1"
  { start_server "$WINEPREFIX" "-p${KESTRUNE_WARM_SECONDS:-60}" && "$2" 'C:\box-watcher.exe' --desktop &&
    printf 'ready\0' 1<>"$1/events" && wineserver -w; } </dev/null &
  local session=$! born use
  started "$session" && born=$since
  while runs "$session" "$born" && [ -d "$1" ] && sleep 2; do
    ! read -r use _ 2>/dev/null <"$1/use" || [ "$use" = released ] || alive "$1/use" || break
  done
}

# shadow SLOT PID START: the shadow of the slot's keeper PID, started at
# START, which may be killed outright. It checks each second whether the
# keeper still runs, and learns the name of the server's socket folder
# meanwhile (for where the slot's folder is removed under it). Once the keeper
# has ended, however it ended, it says so (gone: a run waiting for the slot's
# session learns that it will not come), waits until no run holds the slot,
# and ends it: every process of its prefix, its display, its socket folder and
# its folder.
shadow() {
  local socket=
  while runs "$2" "$3" && sleep 1; do
    [ -n "$socket" ] || read -r socket 2>/dev/null <"$1/prefix/wineserver" || true
  done
  printf 'gone\0' 1<>"$1/events"
  while alive "$1/use"; do sleep 1; done
  end_slot "$1" "$socket"
}
