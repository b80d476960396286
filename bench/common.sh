# shellcheck shell=bash
# bench/common.sh — sourced by the bench scripts: the repository's root as the working folder,
# the build, the smoke mode and the Win32 half's session.
#
# `bench/NAME --smoke` is the short run that scripts/smoke (and so CI) makes of every bench: a few
# seconds, built, run, every answer checked, the timing goals not judged, since a loaded CI
# machine says nothing about them. TILL_BENCH_WIN32=0 leaves out what runs under Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bench=bench/$(basename "$0")
jobs=${TILL_BUILD_JOBS:-2}
wine=/usr/lib/wine/wine64
smoke=""
case "${1:-}" in
  --smoke) smoke=1 ;;
  "") ;;
  *)
    echo "usage: $bench [--smoke]" >&2
    exit 2
    ;;
esac

fail() {
  echo "$bench: FAILED: $*" >&2
  exit 1
}

# missed MESSAGE: a timing goal was missed; that fails a full run, a smoke run only says so.
missed() {
  if [[ -n "$smoke" ]]; then
    echo "$bench: smoke run, not judged: $*"
  else
    fail "$*"
  fi
}

# holds "A OP B": whether the comparison of two decimal numbers holds, "0.42 < 1" say.
holds() {
  awk "BEGIN { exit !($*) }"
}

# build PRESET TARGET...: only the bench's targets built in the preset's tree, configured first
# when it is not yet (a configured tree configures itself again when a CMake file changed).
build() {
  local preset=$1
  shift
  [[ -f "build/$preset/CMakeCache.txt" ]] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target "$@" -j "$jobs" >/dev/null
}

# win32: whether the Win32 half runs here; when it does not, says why on a "win32:" line.
win32() {
  if [[ "${TILL_BENCH_WIN32:-1}" == 0 ]]; then
    echo "win32: skipped (TILL_BENCH_WIN32=0)"
    return 1
  fi
  if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [[ ! -x "$wine" ]]; then
    echo "win32: skipped (no mingw-w64 or Wine; scripts/install-deps installs them)"
    return 1
  fi
}

# in_session COMMAND...: COMMAND under Wine: in the session already open when DISPLAY and
# WINEPREFIX are both set (scripts/smoke opens one for all the benches), else in a new
# scripts/windows-session. Carriage returns are dropped.
in_session() {
  if [[ -n "${DISPLAY:-}" && -n "${WINEPREFIX:-}" ]]; then
    "$@" | tr -d '\r'
  else
    scripts/windows-session "$@" | tr -d '\r' | sed '/^windows-session:/d'
  fi
}
