# tests/script-lib.sh — sourced by the black-box and package test scripts: time, polling, process
# state and the paths a program under Wine sees. A script that runs its program through an
# emulator keeps it in the array `emulator` before it calls program_path.

now_ms() { # a clock in milliseconds: whole seconds cannot tell 3.1 s from 4 s
  echo $(($(date +%s%N) / 1000000))
}

# wait_for TIMEOUT_MS COMMAND...: polls until COMMAND succeeds (every $POLL s, default 0.02);
# 1 on timeout.
wait_for() {
  local end=$(($(now_ms) + $1))
  shift
  until "$@"; do
    (($(now_ms) < end)) || return 1
    sleep "${POLL:-0.02}"
  done
}

running() { # running PID: the process has not ended (a zombie has)
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

ended() { ! running "$1"; }

# program_path PATH: the path as the program under test sees it. Wine's programs reach the Unix
# root through drive Z:; a native program takes it as it is.
program_path() {
  if ((${#emulator[@]})); then
    printf 'Z:%s' "${1//\//\\}"
  else
    printf '%s' "$1"
  fi
}
