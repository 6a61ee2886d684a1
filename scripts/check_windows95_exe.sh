#!/bin/sh
# check_windows95_exe.sh OBJDUMP EXE: fails unless the 32-bit executable is
# one that Windows 95 runs on a Pentium, Pentium MMX or K6: a header asking for
# Windows 4.0, no TLS directory, a version resource, and no instruction that
# those processors lack, on any path.
set -eu
objdump_tool=$1
executable=$2
failed=0
fail() {
  echo "$executable: $*" >&2
  failed=1
}

header=$("$objdump_tool" -p "$executable")
for field in MajorOSystemVersion MajorSubsystemVersion; do
  printf '%s\n' "$header" | grep -qE "^$field[[:space:]]+4$" || fail "$field is not 4"
done
for field in MinorOSystemVersion MinorSubsystemVersion; do
  printf '%s\n' "$header" | grep -qE "^$field[[:space:]]+0$" || fail "$field is not 0"
done
printf '%s\n' "$header" | grep -qE '^Subsystem[[:space:]]+00000002' || fail "not a GUI program"
printf '%s\n' "$header" | grep -qE '^Entry 9 0+ 0+ ' || fail "it has a TLS directory"

# Each key of the version resource is followed by its value.
resource=$(strings -e l "$executable")
for pair in "FileDescription=Varnel PCI IDE Settings for Windows 95" "FileVersion=1.00" \
  "ProductName=KESTRA32" "ProductVersion=1.00" "OriginalFilename=KESTRA32.EXE"; do
  value=$(printf '%s\n' "$resource" | grep -xF -A1 "${pair%%=*}" | sed -n 2p)
  [ "$value" = "${pair#*=}" ] || fail "version resource: ${pair%%=*} is '$value', not '${pair#*=}'"
done

# Conditional moves, the P6 floating-point compares, long NOPs, and MMX, SSE
# and later instructions and registers.
later='cmov|fcmov|fu?comip?|nop[wl]|emms|[lms]fence|prefetch|movnt|clflush|fxsave|fxrstor|ldmxcsr|stmxcsr|sys(enter|exit|call|ret)|popcnt|lzcnt|tzcnt|movbe|crc32|fisttp|rdtscp|rdrand|rdseed'
found=$("$objdump_tool" -d --no-show-raw-insn "$executable" | awk -v later="^($later)" '
  /^ *[0-9a-f]+:\t/ {
    split($0, part, "\t")
    split(part[2], words, " ")
    if (words[1] ~ later || part[2] ~ /%[xy]?mm[0-9]/) print "  " part[1] " " part[2]
  }')
[ -z "$found" ] || fail "instructions that a Pentium lacks:
$found"

[ "$failed" -eq 0 ] || exit 1
echo "$executable: Windows 4.0 GUI program, no TLS, version resource, Pentium instructions only"
