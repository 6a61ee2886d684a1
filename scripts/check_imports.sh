#!/bin/sh
# Fails when the executable imports a function that the expected list does
# not hold. Lines of the list are "DLL function"; "#" starts a comment.
set -eu
objdump_tool=$1
executable=$2
expected_list=$3
script_dir=$(dirname "$0")
expected=$(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$expected_list" | awk '{ print $1, $2 }' | sort -u)
actual=$("$script_dir/list_imports.sh" "$objdump_tool" "$executable" | sort -u)
[ -n "$actual" ] || { echo "no imports found in $executable" >&2; exit 1; }
unexpected=$(printf '%s\n' "$actual" | while read -r line; do
  printf '%s\n' "$expected" | grep -qxF "$line" || printf '%s\n' "$line"
done)
if [ -n "$unexpected" ]; then
  echo "$executable imports functions not on $expected_list:" >&2
  printf '%s\n' "$unexpected" >&2
  exit 1
fi
echo "$(printf '%s\n' "$actual" | wc -l) imports, all on the list"
