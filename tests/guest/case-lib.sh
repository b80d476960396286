# shellcheck shell=dash
# tests/guest/case-lib.sh — sourced by the guests' case scripts (guest-init under busybox,
# wine-cases under bash): a verdict line per case on the console, the uhid drawer emulators a
# case starts, counts and unplugs, and the cases both guests run. The caller defines tillpop (one
# run in the foreground, after removing its result and its trace) and tilldiag ARGS..., and sets
# $result and $trace, the files they write, and $tag, which begins each case's name.

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
  # Where udev's daemon runs ($udevadm), its listeners must hear of the removal before the next
  # drawer, which the kernel may give the same node, arrives: Wine's HID bus, told of a new
  # /dev/hidraw0 while it still lists the old one, drops the new one as a duplicate.
  # (udevadm ignores the request in a chroot unless told not to.)
  [ -z "${udevadm:-}" ] || SYSTEMD_IGNORE_CHROOT=1 "$udevadm" settle --timeout=10 ||
    fail "udev did not settle"
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


traced() { grep -q -- "$1" "$trace" 2>/dev/null; }

# wait_until TIMEOUT_MS COMMAND...: polls COMMAND every 50 ms; 1 on timeout.
wait_until() {
  local end=$(($(uptime_ms) + $1))
  shift
  until "$@"; do
    [ "$(uptime_ms)" -lt "$end" ] || return 1
    sleep 0.05
  done
}

# firmware_cases FIRMWARE...: tillpop against one drawer of each firmware; Drawer is the ready one.
firmware_cases() {
  local firmware
  for firmware in "$@"; do
    if [ "$firmware" = Drawer ]; then begin "${tag}ready-drawer"; else begin "$tag$firmware"; fi
    drawer "$firmware" --firmware "$firmware"
    node "$firmware" >/dev/null || fail "no node"
    tillpop
    if [ "$firmware" = Drawer ]; then
      expect_result OK
      expect_opens Drawer 1
      [ "$(cat /tmp/Drawer.commands)" = "00 57 4F 00 18" ] ||
        fail "commands: $(cat /tmp/Drawer.commands)"
    else
      expect_result NOT_FOUND
      expect_opens "$firmware" 0
      expect_commands "$firmware" 40 # one per attempt
    fi
    unplug "$firmware"
    end
  done
}

# A feature report of 6 bytes: not the drawer, nothing sent to it.
near_miss_case() {
  begin "${tag}near-miss"
  drawer near --feature-length 6
  node near >/dev/null || fail "no node"
  tillpop
  expect_result NOT_FOUND
  expect_commands near 0
  unplug near
  end
}

# Plugged in once tillpop has looked and found nothing: it must arrive while tillpop runs.
late_drawer_case() {
  local running
  begin "${tag}late-drawer"
  tillpop &
  running=$!
  wait_until 60000 traced 'attempt: no drawer interface' || fail "tillpop never looked"
  drawer late
  wait $running
  expect_result OK
  expect_opens late 1
  unplug late
  end
}

# Unplugged while the attempts poll it, with its handle open; another drawer comes after.
replug_case() {
  local running
  begin "${tag}replug"
  drawer first --firmware Silent
  node first >/dev/null || fail "no node"
  tillpop &
  running=$!
  wait_until 60000 traced 'command: ' || fail "tillpop never sent a command"
  unplug first
  # The second drawer comes once tillpop has seen the first go. Under Wine a drawer that arrives
  # on the same node before Wine has finished removing the old one is dropped as a duplicate,
  # which udev's settle alone does not rule out: Wine hears of the removal, then works on it.
  wait_until 20000 traced 'removal: ' || fail "the removal was not seen"
  drawer second
  wait $running
  expect_result OK
  expect_opens second 1
  unplug second
  end
}

tilldiag_case() {
  begin "${tag}tilldiag"
  drawer near --feature-length 6
  node near >/dev/null || fail "no node"
  drawer ready
  node ready >/dev/null || fail "no node"
  tilldiag list >/tmp/list 2>&1 || fail "list: $(cat /tmp/list)"
  grep -q "feature report length 6, not 5" /tmp/list || fail "list: $(cat /tmp/list)"
  grep -q '"QV USB Cash Drawer".* -> the drawer interface' /tmp/list || fail "list: $(cat /tmp/list)"
  tilldiag open >/tmp/open 2>&1 || fail "open: $(cat /tmp/open)"
  expect_opens ready 1
  expect_commands near 0
  unplug ready
  unplug near
  end
}
