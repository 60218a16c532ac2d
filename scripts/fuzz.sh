#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and runs each
# for a bounded time: scripts/fuzz.sh [seconds per target, default 30] [target ...].
# Each starts from the seed corpus in fuzz/corpus/<target>; what it finds is kept in
# build/fuzz/corpus/<target> for the next run. A crash stops the script; its input is saved as
# build/fuzz/crashes/<target>-crash-... (replay it with the target and the file as argument, and
# turn it into a unit test).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(ini_round_trip_fuzz link_receive_fuzz sim_command_fuzz settings_read_fuzz)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"

# The targets write their files into a temporary directory: memory is quicker than the disk.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
mkdir -p build/fuzz/crashes
for target in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  log=build/fuzz/$target.log
  echo "fuzz: $target for ${seconds} s" >&2
  if ! "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="build/fuzz/crashes/$target-" \
    "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz: $target FAILED (log: $log)" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz: $target passed: ${runs:-?} runs, corpus $(ls "$corpus" | wc -l) files" >&2
done
