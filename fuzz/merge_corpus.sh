#!/usr/bin/env bash
# Adds to fuzz/seeds the inputs of a fuzz run's corpus (in a build folder, as
# run_fuzzers.sh leaves it) that reach code the seeds do not, the smallest such
# inputs that libFuzzer's merge finds. Only new branches count, not new hit
# counts of known ones, so that the seeds stay few. Run after a long run and
# commit what it adds, so that the next run starts where this one ended.
set -euo pipefail
build=$1
seeds=$(cd "$(dirname "$0")" && pwd)/seeds

merge() {
  "$build/fuzz/$1" -merge=1 -use_counters=0 "$seeds/$2" "$build/corpus/$1" \
    >"$build/$1.merge.log" 2>&1 || {
    tail -n 20 "$build/$1.merge.log" >&2
    return 1
  }
  grep -o 'MERGE-OUTER: [0-9]* new files.*' "$build/$1.merge.log" | sed "s/^/$1: /"
}

for target in document_round_trip_fuzzer patch_{mshdcinf,machineinf,usbinf}_fuzzer; do
  merge "$target" inf
done
merge registry_deletion_fuzzer registry
merge creg_removal_fuzzer creg
