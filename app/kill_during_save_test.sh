#!/usr/bin/env bash
# Kills kestra32 with SIGKILL at random moments of runs over INF files of
# several MiB, and checks that each file then holds its old or its new bytes.
# Usage: kill_during_save_test.sh KESTRA32 SAMPLE_WINDOWS_DIR WORK_DIR [TRIALS]
set -euo pipefail
kestra32=$1 samples=$2 work=$3 trials=${4:-40}
rm -rf "$work" && mkdir -p "$work/old/INF" "$work/new/INF"

# The samples with a long comment block in their last section: 8 MiB and 4 MiB.
for sized in MACHINE.INF:100000 USB.INF:50000; do
  name=${sized%:*}
  { cat "$samples/INF/$name"; seq "${sized#*:}" | xargs printf '; %076d\r\n'; } >"$work/old/INF/$name"
done
cp "$work/old/INF/"* "$work/new/INF/"
start=$(date +%s%N)
WINDIR="$work/new" "$kestra32"
duration_ns=$(($(date +%s%N) - start))
for name in MACHINE.INF USB.INF; do
  cmp -s "$work/old/INF/$name" "$work/new/INF/$name" && { echo "$name was not patched" >&2; exit 1; }
done

old=0 new=0 leftovers=0
for trial in $(seq "$trials"); do
  rm -rf "$work/run" && mkdir -p "$work/run" && cp -r "$work/old/INF" "$work/run/"
  delay=$(awk -v ns="$duration_ns" -v r="$RANDOM" 'BEGIN { printf "%.4f", ns * r / 32768 / 1e9 }')
  WINDIR="$work/run" "$kestra32" &
  sleep "$delay"
  kill -KILL $! 2>/dev/null || true
  wait $! 2>/dev/null || true
  for name in MACHINE.INF USB.INF; do
    if cmp -s "$work/run/INF/$name" "$work/old/INF/$name"; then old=$((old + 1))
    elif cmp -s "$work/run/INF/$name" "$work/new/INF/$name"; then new=$((new + 1))
    else echo "trial $trial: $name holds neither its old nor its new bytes" >&2; exit 1; fi
  done
  leftovers=$((leftovers + $(find "$work/run/INF" -name '.kestra32-*' | wc -l)))
done
echo "$trials kills within $((duration_ns / 1000000)) ms runs: files old $old, new $new, never mixed;" \
  "temporary files left $leftovers"
rm -rf "$work"
