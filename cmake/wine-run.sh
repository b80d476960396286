#!/bin/bash
# wine-run.sh [--prefix DIR] PROGRAM.exe [ARGS...]
#
# CMAKE_CROSSCOMPILING_EMULATOR of the Windows build (cmake/mingw-w64.cmake): CTest runs every
# test, and GoogleTest discovery (inside ctest, before the tests) runs every test exe, through it.
#
# - WINEPREFIX: DIR when given (the build tree's prefix, the one the tests' ENVIRONMENT property
#   names too, so discovery and tests share one prefix and one server), else the environment's,
#   else ~/.wine. WINEDEBUG (-all) and WINEDLLOVERRIDES (hid,setupapi=b): the environment's when
#   set (the tests' ENVIRONMENT property sets both).
# - When no wineserver runs for the prefix, it starts one (30 s persistence) and does one
#   warm-up run with every descriptor pointing at /dev/null, under a lock. The first Wine process
#   of a prefix spawns Wine's helper processes (services, winedevice, plugplay...), which live
#   as long as the server and inherit that process's stdout/stderr: if that were CTest's pipe,
#   CTest would wait for them until the server exits (forever with a persistent server). A
#   missing prefix is created by the same warm-up (several seconds).
#   scripts/windows-session does all this once for a whole run, with Xvfb, and also starts the
#   desktop process (which the first window would otherwise start, with CTest's pipe, costing
#   ~1 s per window test); inside a session this script adds ~10 ms per run.
# - Then it execs /usr/lib/wine/wine64 PROGRAM ARGS; the exit code is the program's.
set -u

prefix="${WINEPREFIX:-${HOME:-/root}/.wine}"
if [[ "${1:-}" == "--prefix" && $# -ge 2 ]]; then
  prefix="$2"
  shift 2
fi
if [[ $# -lt 1 ]]; then
  echo "usage: wine-run.sh [--prefix DIR] PROGRAM [ARGS...]" >&2
  exit 2
fi

export WINEDEBUG="${WINEDEBUG-"-all"}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES-"hid,setupapi=b"}"
export WINEPREFIX="$prefix"

WINE="${TILL_WINE:-/usr/lib/wine/wine64}"
WINESERVER="${TILL_WINESERVER:-$(dirname "$WINE")/wineserver}"
[[ -x "$WINESERVER" ]] || WINESERVER=wineserver

mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  warm=0
  [[ -f "$WINEPREFIX/system.reg" ]] || warm=1
  if [[ -d "$WINEPREFIX" ]]; then
    # rc 0: this call started the server, so nothing has warmed it; 2: one is already running.
    "$WINESERVER" -p30 </dev/null >/dev/null 2>&1 9>&- && warm=1
  fi
  if ((warm)); then
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
      "$WINE" cmd /c exit 0 </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"$WINEPREFIX.lock"

exec "$WINE" "$@"
