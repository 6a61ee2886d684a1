#!/bin/sh
# Prints the import table of a PE executable, one "DLL function" per line,
# as objdump lists it.
set -eu
objdump_tool=$1
executable=$2
"$objdump_tool" -p "$executable" | awk '
  /^[ \t]*DLL Name:/ { dll = $3; next }
  /^[ \t]*$/ { dll = "" }
  dll != "" && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ && NF >= 3 { print dll, $3 }
'
