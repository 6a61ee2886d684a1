#!/usr/bin/env bash
# Runs every fuzz target of a build folder for KESTRA32_FUZZ_SECONDS seconds
# (default 30), from the seeds in fuzz/seeds and the sample Windows tree, and
# prints how many inputs each one ran. Fails when a target finds a fault.
set -euo pipefail
build=$1
seconds=${KESTRA32_FUZZ_SECONDS:-30}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
export TMPDIR=${TMPDIR:-$([ -d /dev/shm ] && echo /dev/shm || echo /tmp)}

run() {
  local target=$1
  shift
  local corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -max_len=16384 -print_final_stats=1 "$corpus" "$@" >"$build/$target.log" 2>&1 || {
    tail -n 40 "$build/$target.log" >&2
    echo "$target: fault found (log: $build/$target.log)" >&2
    return 1
  }
  local executed
  executed=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/$target.log" |
    grep -o '[0-9]*$')
  echo "$target: $executed executions in $seconds s, $((executed / seconds)) per second"
}

inf_seeds=("$source_dir/fuzz/seeds/inf" "$source_dir/examples/WINDOWS/INF")
for target in document_round_trip_fuzzer patch_{mshdcinf,machineinf,usbinf}_fuzzer \
  inf_files_fuzzer; do
  run "$target" -dict="$source_dir/fuzz/inf.dict" "${inf_seeds[@]}"
done
run registry_deletion_fuzzer "$source_dir/fuzz/seeds/registry"
run creg_removal_fuzzer -dict="$source_dir/fuzz/creg.dict" "$source_dir/fuzz/seeds/creg"
run fat_image_fuzzer "$source_dir/fuzz/seeds/fat"
run vhd_fuzzer "$source_dir/fuzz/seeds/vhd"
