# shellcheck shell=bash
# fuzz/common.sh — sourced by the fuzz scripts: the run's length from the command line, the
# libFuzzer target's build and the run's closing count.
#
# `fuzz/NAME RUNS` runs RUNS executions (default 1,000,000; never fewer). `fuzz/NAME --smoke` is
# the short run that scripts/smoke (and so CI) makes: FUZZ_SMOKE_RUNS executions (the script's
# smoke_runs: a few seconds' worth), from an empty corpus of its own, so the full runs' corpus
# neither slows it nor grows from it; it proves that the target builds, its seeds load and a
# short run finds nothing.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out="$root/build/fuzz"
name=$(basename "$0")
mkdir -p "$out"
smoke=""
if [[ "${1:-}" == --smoke ]]; then
  smoke=1
  runs=${FUZZ_SMOKE_RUNS:-$smoke_runs}
else
  runs=${1:-1000000}
  if ! [[ "$runs" =~ ^[0-9]+$ ]] || ((runs < 1000000)); then
    echo "fuzz/$name: RUNS must be a number of at least 1000000 (or --smoke)" >&2
    exit 2
  fi
fi
seed_option=()
[[ -n "${FUZZ_SEED:-}" ]] && seed_option=(-seed="$FUZZ_SEED")

# corpus DIR: the folder the run's new inputs go into (made, and emptied for a smoke run).
corpus() {
  local dir="$out/$1"
  [[ -z "$smoke" ]] || { dir="$out/smoke-$1" && rm -rf "$dir"; }
  mkdir -p "$dir"
  echo "$dir"
}

# build_target TARGET SOURCE...: the libFuzzer target $out/TARGET from the sources (paths from
# the repository's root), compiled TILL_BUILD_JOBS (2) at a time.
build_target() {
  local target=$1 objects="$out/$1.objects"
  shift
  echo "fuzz/$name: building $out/$target"
  local flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
    -Wall -Wextra -Werror -Wold-style-cast -I"$root")
  local linked=()
  rm -rf "$objects"
  for source in "$@"; do
    mkdir -p "$objects/$(dirname "$source")"
    linked+=("$objects/$source.o")
  done
  if ! printf '%s\n' "$@" | xargs -P "${TILL_BUILD_JOBS:-2}" -I{} \
    clang++ "${flags[@]}" -c "$root/{}" -o "$objects/{}.o" ||
    ! clang++ "${flags[@]}" "${linked[@]}" -o "$out/$target"; then
    echo "fuzz/$name: the fuzz target does not build (is clang's libFuzzer runtime there?)" >&2
    exit 1
  fi
}

# finish LOG FINDINGS RC: the closing line "<name> fuzz: <N> executions, <F> findings" from the
# run's log and its findings folder, and the script's verdict: the run completed all RUNS
# executions (RC 0) without a finding.
finish() {
  local log=$1 findings_dir=$2 rc=$3 executions findings
  executions=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -1)
  [[ -n "$executions" ]] || executions=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -1)
  [[ -n "$executions" ]] || executions=0
  findings=$(find "$findings_dir" -type f | wc -l)
  # A run that stopped on a fault may have left no artifact (a sanitizer abort in the runtime):
  # it is a finding all the same.
  if ((rc != 0 && findings == 0)); then findings=1; fi
  tail -n 5 "$log"
  echo "$name fuzz: $executions executions, $findings findings"
  ((rc == 0 && findings == 0 && executions >= runs))
}
