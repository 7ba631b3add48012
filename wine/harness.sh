# The Wine harness: what wine/run.sh and wine/stop-warm.sh, bench/run.sh and
# the end-to-end tests share. Sourced; run as a script (bash harness.sh
# FUNCTION ARGS...), it calls one of its functions, so that a sandbox or a
# time limit can start it.
#
# Quiet Wine, no Mono or Gecko installer dialogs, no menu entries and file
# associations written into the user's home, no debugger holding a program
# that crashed (its exit status and Wine's line "Unhandled page fault ..."
# say so at once), and no JAVA_HOME from the machine, nor the stand-in VM's
# recording variable, leaking in. TMPDIR is unset: Wine fails where it names
# a missing folder, and Debian 13's Wine 10 crashes where it is set at all.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
unset JAVA_HOME KESTRUNE_RECORD TMPDIR
harness=${BASH_SOURCE[0]}

# Wine's two loaders, called by name: Debian's `wine` script always picks the
# 32-bit one when it is installed, even where it cannot run.
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

# wine_builds: the build presets of Kestrune.exe this machine runs under Wine,
# found by trying (a few milliseconds). Sets builds to "windows windows64" or
# to "windows64" (the 32-bit release needs the 32-bit loader, which a machine
# that runs no 32-bit programs cannot start), and why to one line saying so.
# KESTRUNE_NO_32BIT=1 takes the path of such a machine anywhere. Fails, saying
# which package to install, where Wine's 64-bit loader, which every machine
# needs, is missing.
wine_builds() {
  [ -x "$wine64" ] || { [ -x "$wine32" ] &&
    echo "Wine's 64-bit loader $wine64 is missing: install the package wine64 (scripts/setup.sh installs it)" >&2 ||
    echo "Wine is not installed: install the packages wine and wine64 (scripts/setup.sh installs them)" >&2; return 1; }
  local answer
  builds=windows64 why="KESTRUNE_NO_32BIT is set"
  if [ "${KESTRUNE_NO_32BIT:-0}" != 0 ]; then :
  elif [ ! -x "$wine32" ]; then
    why="Wine's 32-bit part, the package wine32:i386, is not installed (scripts/setup.sh installs it, and leaves it out, saying so, where Debian's i386 package index cannot be fetched)"
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
}

# wine_choose: of the builds this machine runs (wine_builds), the
# one a user is shown, the release where it runs. Sets preset (the build
# preset), wine (its loader), arch (the prefix it runs in) and what (its
# name), besides builds and why.
wine_choose() {
  wine_builds || return 1
  preset=${builds%% *} arch=win64 wine=$wine64 what="the x86-64 build (not the release)"
  [ "$preset" != windows ] || arch=win32 wine=$wine32 what="the 32-bit release"
}

# wine_loader windows|windows64|win32|win64: the loader that runs that build,
# or that kind of prefix.
wine_loader() { case $1 in windows | win32) echo "$wine32" ;; *) echo "$wine64" ;; esac; }

# ---- Sandboxes ---------------------------------------------------------------
# Each Wine prefix of these scripts runs in a sandbox of its own (bubblewrap):
# a PID namespace, whose processes the kernel ends all at once when its first
# one ends, however that ends (kill -9 included), and a /run of its own, a
# tmpfs that goes with them. There /run/user/UID exists, and Debian's Wine
# then puts its server's socket folder in it (it uses /tmp only where that is
# missing): no socket folder of a sandbox outlives it, and no prefix names
# one. Everything else is the machine's own, /tmp included, where the
# caller's folder may be and the X sockets of the caller's DISPLAY are (its
# XAUTHORITY is bound in, wherever that is). A Wine client and its server
# share the sandbox, since the server knows its clients by their process ids.
#
# Where the kernel refuses one, or KESTRUNE_NO_SANDBOX=1 says so, Wine runs
# cold, as it is: nothing is held by the kernel, and a prefix's programs end
# with wineserver -k when its command ends (cold_end).

# sandbox_refused: whether Wine must run cold here; sets refused to why, with
# the fix where there is one, and then exports KESTRUNE_NO_SANDBOX=1 for all
# that starts from here.
sandbox_refused() {
  local said
  if [ "${KESTRUNE_NO_SANDBOX:-0}" != 0 ]; then refused="KESTRUNE_NO_SANDBOX is set"
  elif ! command -v bwrap >/dev/null; then refused="bubblewrap is not installed (scripts/setup.sh installs it)"
  elif said=$(bwrap --dev-bind / / --unshare-pid --tmpfs /run true 2>&1); then return 1
  elif [[ $said == *"No space left"* ]]; then
    refused="user namespaces are switched off here (user.max_user_namespaces is 0: sudo sysctl user.max_user_namespaces=10000)"
  elif [[ $said == *"uid map"* ]]; then
    refused="AppArmor keeps this user from making user namespaces (Ubuntu's restriction: sudo sysctl kernel.apparmor_restrict_unprivileged_userns=0)"
  else
    refused="the kernel refuses new namespaces here (${said#bwrap: }; a container needs them allowed, as docker run --security-opt seccomp=unconfined does)"
  fi
  export KESTRUNE_NO_SANDBOX=1
}

# box [BWRAP_OPTION...]: sets box to what starts a command in a new sandbox,
# with bwrap's options (--die-with-parent: the sandbox ends when its caller
# does; --unshare-net: a network of its own, for a display of its own, see
# start_display). Cold, box is empty: the command runs as it is.
box() {
  box=(bwrap --dev-bind / / --proc /proc --tmpfs /run --dir "/run/user/$UID" --unshare-pid "$@")
  [ ! -f "${XAUTHORITY-}" ] || box+=(--ro-bind "$XAUTHORITY" "$XAUTHORITY")
  [ "${KESTRUNE_NO_SANDBOX:-0}" = 0 ] || box=()
}

# cold_end PREFIX: cold, ends the Wine programs of PREFIX and removes the
# socket folder its server left in /tmp. In a sandbox, nothing: the kernel does.
cold_end() {
  local socket=
  [ "${KESTRUNE_NO_SANDBOX:-0}" != 0 ] || return 0
  WINEPREFIX=$1 wineserver -k 2>/dev/null
  read -r socket 2>/dev/null <"$1/wineserver" || :  # Wine writes the name without a line end
  [[ ! $socket =~ ^wine-[A-Za-z0-9]+$ ]] || rm -rf "/tmp/$socket"
}

# start_display: a display of its own for Wine's windows (an Xvfb, the
# caller's job display), at a free number; exports DISPLAY. In a sandbox its
# Xvfb has a /tmp of its own, so that its lock file and socket go with it; the
# sandbox's network (-n) keeps the socket it listens on its own.
start_display() {
  local tmp=(bwrap --dev-bind / / --tmpfs /tmp --die-with-parent --)
  [ "${KESTRUNE_NO_SANDBOX:-0}" = 0 ] || tmp=()
  coproc display { exec "${tmp[@]}" Xvfb -displayfd 1 -screen 0 800x600x24 -nolisten tcp 2>/dev/null </dev/null; }
  read -r -t 10 -u "${display[0]}" DISPLAY && export DISPLAY=:$DISPLAY || { echo "Xvfb did not start" >&2; return 1; }
}

# ---- Prefixes ----------------------------------------------------------------

# make_prefix DIR win32|win64: a new Wine prefix, fully booted, its server
# ended. The services Wine starts with every session of it (mount manager,
# network, plug and play, event log) start only when asked for, and the menu
# builder not at all: nothing Kestrune does needs them, and a session then
# takes half the time to start.
make_prefix() {
  rm -rf "$1" && mkdir -p "$1" && WINEARCH=$2 WINEPREFIX=$1 "$(wine_loader "$2")" wineboot -i &&
    WINEPREFIX=$1 wineserver -w && cold_end "$1" &&
    sed -i -e '/^\[System\\\\CurrentControlSet\\\\Services\\\\/,/^$/ s/^"Start"=dword:00000002$/"Start"=dword:00000003/' \
      -e '/^"winemenubuilder"=/d' "$1/system.reg"
}

# copy_prefix FROM TO: a throwaway copy of a prefix whose server has ended,
# made in well under a second. The large system files are hard links (Wine
# replaces files rather than writing into them); the registry files are real
# copies; Wine's note of a socket folder (cold) is not taken along.
copy_prefix() { cp -al "$1" "$2" && cp --remove-destination "$1"/{system,user,userdef}.reg "$2/" && rm -f "$2/wineserver"; }

# The template of wine/run.sh: a booted prefix of the kind ARCH (win32 or
# win64) with the Java VM JAVA registered at C:\java-home, the way a Java
# installer registers it, and wine/java-stand-in.sh as that home's
# bin\java.exe; its server has ended. make_template DIR ARCH JAVA STAMP,
# in a sandbox of its own, makes it beside DIR (DIR.new) and moves it there
# whole, with STAMP (what it is made of) in DIR/kestrune.stamp, so that a
# template is complete or absent. Each step is named on error output as it
# begins.
make_template() {
  local new=$1.new version
  trap "cold_end ${new@Q}; rm -rf ${new@Q}" EXIT
  trap 'exit 143' TERM
  # Each step runs in the background and is waited for: bash runs a trap only between commands.
  step() { echo "$1" >&2 && { "${@:2}" >/dev/null 2>&1 </dev/null & wait $!; }; }
  echo "asking $3 its version" >&2
  version=$("$3" -XshowSettings:properties -version 2>&1 </dev/null | sed -n 's/^ *java\.version = //p') && [ -n "$version" ] &&
    step "booting it (wineboot)" make_prefix "$new" "$2" &&
    step "registering Java in it (reg add)" env WINEPREFIX="$new" "$(wine_loader "$2")" reg add \
      "HKLM\\Software\\JavaSoft\\Java Runtime Environment\\$version" /v JavaHome /d 'C:\java-home' /f &&
    step "waiting for its Wine server to end (wineserver -w)" env WINEPREFIX="$new" wineserver -w || return
  cold_end "$new" && mkdir -p "$new/drive_c/java-home/bin" &&
    cp "${harness%/*}/java-stand-in.sh" "$new/drive_c/java-home/bin/java.exe" &&
    echo "Java $version registered at C:\\java-home -> $(readlink -f "$3")" >"$new/kestrune.java" &&
    echo "$4" >"$new/kestrune.stamp" && mv -T "$new" "$1" && trap - EXIT
}

# ---- A slot's life -----------------------------------------------------------
# A slot (build/run/warm-UID-ARCH.*) is where wine/run.sh runs the launcher: a
# copy of the template (prefix) in a sandbox of its own, kept warm between
# runs. Its keeper, keep_slot, is the sandbox's first process: when it ends,
# however, the kernel ends the rest. Its folder holds what it is for (key: the
# prefix kind, the display and the template's stamp), who uses it (use: the
# process id of the run that took it, or "released TIME"), its FIFOs control
# (to the keeper) and events (from the slot to the run that took it, each
# event a word ended by a NUL), and two lock files: alive, held by every
# process of the sandbox, so free once nothing of it runs, and taken, held by
# the run that uses it.
#
#   state     how it gets there                        what moves it on
#   starting  a run made it, holding taken;            the server and desktop are up: ready, to taken
#             the keeper brings up a display of its    (it fails: ended)
#             own (without a DISPLAY), the server and
#             the desktop
#   taken     a run took it (in use, idle, under 3/4   the run asks: run (the launcher, which reports
#             of the warm time)                        vm and end; its box watcher; its time limit, late)
#                                                      taken is free: idle where use says released,
#                                                      else (the run was killed) ended
#   idle      its run released it                      a run takes it: taken
#                                                      KESTRUNE_WARM_SECONDS (60) pass: ended
#   ended     in any state: its folder's key file is deleted (deleted), its server ends (a neighbour's
#             pkill wineserver), wine/stop-warm.sh asks (stop; a run in it is told: stopped), a run ends
#             with the slot taken (end); the keeper then removes the folder and ends, and with it the
#             sandbox: every process of it, and its /run. Where the keeper was killed, its folder stays
#             until the next run's sweep or stop-warm.sh finds alive free.
#
# Every move is an event the keeper reads from control: helpers wait for each
# (a lock, inotify, the server's end) and write it there. Cold, the same,
# with no warm time: the slot ends once its run is done with it, and its Wine
# with wineserver -k.
#
# keep_slot SLOT LOADER: the keeper, started with control (3), events (4) and
# alive (5) open, WINEPREFIX=SLOT/prefix, and the slot's own display where
# DISPLAY is unset.
# wait_for SECONDS: waits that long in bash itself, so that ending the shell
# leaves no sleep behind.
wait_for() { read -rt "$1" <> <(:) || :; }
keep_slot() {
  local slot=$1 warm=${KESTRUNE_WARM_SECONDS:-60} idle= event use launcher watcher= timer= press=
  flock -n 5 || exit 1
  [ "${KESTRUNE_NO_SANDBOX:-0}" = 0 ] || warm=0
  trap "cold_end \"\$WINEPREFIX\"; rm -rf ${slot@Q}; kill \$(jobs -p) 2>/dev/null" EXIT
  [ -n "${DISPLAY-}" ] || { start_display && press=--press-ok; } || exit
  taken() { { flock 6 && read -r use _ <"$slot/use"; printf 'free\0%s\0' "$use"; } 6<"$slot/taken" >&3 & }
  taken
  { inotifywait -qq -e delete_self "$slot/key"; printf 'deleted\0'; } >&3 2>/dev/null &
  { wineserver -p && "$2" 'C:\box-watcher.exe' --desktop && printf 'up\0' || printf 'failed\0'
    wineserver -w; printf 'server\0'; } >&3 </dev/null &
  while read -r -d '' ${idle:+-t "$warm"} -u 3 event; do
    case $event in
      up) printf 'ready\0' >&4 ;;
      run)
        idle= && taken && mapfile -d '' -t request <"$slot/request" && rm -f "$slot/vm.request"
        { cd "${request[1]}" && env "${request[@]:2:3}" WINEDEBUG=-all,err+environ "$2" 'C:\Kestrune.exe' "${request[@]:5}"
          printf 'end\0%s\0' $? >&4; } >"$slot/wine.log" 2>&1 </dev/null & launcher=$!
        # The box watcher where the launcher has not ended within 0.2 s (one that starts the VM is not slowed by a
        # second Wine program), and the time limit (late) where it has neither asked for the VM nor shown a box by then.
        { wait_for 0.2; kill -0 $launcher && exec "$2" 'C:\box-watcher.exe' $press; } >"$slot/boxes" 2>/dev/null </dev/null &
        watcher=$!
        { wait_for "${request[0]}"; [ -s "$slot/boxes" ] || [ -e "$slot/vm.request" ] || printf 'late\0' >&4; } 2>/dev/null &
        timer=$! ;;
      free)
        read -r -d '' -u 3 use && [ "$use" = released ] && [ "$warm" != 0 ] || break
        kill -KILL $watcher $timer 2>/dev/null  # a Wine program may outlive SIGTERM
        watcher= timer=
        idle=yes ;;
      stop) printf 'stopped\0' >&4 && break ;;
      *) break ;;
    esac
  done
}

[ "$0" != "${BASH_SOURCE[0]}" ] || "$@"
