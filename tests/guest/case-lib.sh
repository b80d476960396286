# shellcheck shell=dash
# tests/guest/case-lib.sh — sourced by the guests' case scripts (guest-init under busybox,
# wine-cases under bash): a verdict line per case on the console, and the uhid drawer emulators a
# case starts, counts and unplugs. The caller sets $result, the result file expect_result reads.

uptime_ms() {  # the guest's uptime in ms (the kernel gives centiseconds)
  local up rest
  read -r up rest </proc/uptime
  # Two digits after the point; a leading 1 keeps "08" from being read as octal.
  echo $((${up%.*} * 1000 + 1${up#*.} * 10 - 1000))
}

passed=0
failed=0
case_name=""
case_start=0
verdict=""

begin() {
  case_name=$1
  case_start=$(uptime_ms)
  verdict=""
}
fail() { verdict="${verdict:+$verdict; }$*"; }
end() {
  local took=$(($(uptime_ms) - case_start))
  if [ -z "$verdict" ]; then
    passed=$((passed + 1))
    echo "case $case_name: PASS ($took ms) $*"
  else
    failed=$((failed + 1))
    echo "case $case_name: FAIL ($took ms) $verdict"
  fi
}

# drawer NAME ARGS...: starts a drawer emulator whose files are /tmp/NAME.{node,open,commands}.
drawer() {
  local name="$1"
  shift
  rm -f "/tmp/$name.node" "/tmp/$name.open" "/tmp/$name.commands"
  uhid-drawer --node-file "/tmp/$name.node" --open-log "/tmp/$name.open" \
    --command-log "/tmp/$name.commands" "$@" &
  echo $! >"/tmp/$name.pid"
}

# node NAME: waits up to 10 s for the drawer's node and prints it.
node() {
  local i=0
  while [ ! -f "/tmp/$1.node" ] && [ $i -lt 1000 ]; do
    sleep 0.01
    i=$((i + 1))
  done
  cat "/tmp/$1.node" 2>/dev/null
}

# unplug NAME: ends the emulator, which destroys its device; the node must go with it.
unplug() {
  local node i=0
  node=$(cat "/tmp/$1.node" 2>/dev/null)
  kill -TERM "$(cat "/tmp/$1.pid")" && wait "$(cat "/tmp/$1.pid")"
  while [ -n "$node" ] && [ -e "$node" ] && [ $i -lt 500 ]; do
    sleep 0.01
    i=$((i + 1))
  done
  [ -z "$node" ] || [ ! -e "$node" ] || fail "$node still there after $1 was unplugged"
}

count() {  # count FILE: its lines, 0 when it does not exist
  if [ -f "$1" ]; then wc -l <"$1"; else echo 0; fi
}

expect_opens() {  # expect_opens NAME COUNT
  local got
  got=$(count "/tmp/$1.open")
  [ "$got" -eq "$2" ] || fail "$1 opened $got times, expected $2"
}

expect_commands() {  # expect_commands NAME COUNT
  local got
  got=$(count "/tmp/$1.commands")
  [ "$got" -eq "$2" ] || fail "$1 got $got commands, expected $2"
}

expect_result() {  # expect_result WORD: DEDORO.TXT holds exactly WORD and CR LF
  printf '%s\r\n' "$1" >/tmp/expected
  cmp -s /tmp/expected $result ||
    fail "result '$(tr -d '\r' <$result 2>/dev/null)', expected '$1'"
}

