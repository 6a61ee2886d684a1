#!/usr/bin/env bash
# Adds to fuzz/seeds the inputs of a fuzz run's corpus (in a build folder, as
# run_fuzzers.sh leaves it) that reach code the seeds do not, the smallest such
# inputs that libFuzzer's merge finds. Run after a long run and commit what it
# adds, so that the seeds stay small and the next run starts where it ended.
set -euo pipefail
build=$1
seeds=$(cd "$(dirname "$0")" && pwd)/seeds

merge() {
  "$build/fuzz/$1" -merge=1 "$seeds/$2" "$build/corpus/$1" >"$build/$1.merge.log" 2>&1 || {
    tail -n 20 "$build/$1.merge.log" >&2
    return 1
  }
  grep -o 'MERGE-OUTER: [0-9]* new files.*' "$build/$1.merge.log" | sed "s/^/$1: /"
}

for target in document_round_trip_fuzzer patch_{mshdcinf,machineinf,usbinf}_fuzzer; do
  merge "$target" inf
done
merge registry_deletion_fuzzer registry
