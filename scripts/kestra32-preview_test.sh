#!/bin/bash
# Runs kestra32-preview on copies of the sample tree, once with its names as
# shipped and once with them in lower case, and checks that it prints the
# expected diff byte for byte and leaves every file of the tree as it was.
#
#   kestra32-preview_test.sh PREVIEW KESTRA32 SAMPLE_WINDOWS EXPECTED_DIFF WORK_DIR
set -euo pipefail

readonly PREVIEW=$1 KESTRA32=$2 SAMPLE=$3 EXPECTED=$4 WORK_DIR=$5

fail() {
  echo "kestra32-preview_test: $*" >&2
  exit 1
}

# Names, sizes, modes and modification times of every file below a folder.
listing() {
  (cd "$1" && find . -printf '%p %s %m %T@\n' | LC_ALL=C sort)
}

# Runs the preview on a tree and checks its output and the tree afterwards.
check_tree() {
  local windir=$1 regfile=$2 before output
  before=$(listing "$windir")
  cp -a "$windir" "$WORK_DIR/pristine"
  output=$(PATH="$(dirname "$KESTRA32"):$PATH" "$PREVIEW" "$windir" "$regfile")
  diff -u "$EXPECTED" <(printf '%s\n' "$output") || fail "unexpected diff for $windir"
  [[ $output != *$'\r'* ]] || fail "carriage returns in the diff for $windir"
  diff -r "$WORK_DIR/pristine" "$windir" || fail "$windir changed"
  [ "$(listing "$windir")" = "$before" ] || fail "files of $windir were added or touched"
  rm -rf "$WORK_DIR/pristine"
}

rm -rf "$WORK_DIR"
mkdir -p "$WORK_DIR/shipped" "$WORK_DIR/lower/windows/inf"
cp -a "$SAMPLE" "$WORK_DIR/shipped/WINDOWS"
check_tree "$WORK_DIR/shipped/WINDOWS" "$WORK_DIR/shipped/WINDOWS/SYSTEM.REG"

for name in MSHDC.INF MACHINE.INF USB.INF; do
  cp -p "$SAMPLE/INF/$name" "$WORK_DIR/lower/windows/inf/${name,,}"
done
cp -p "$SAMPLE/SYSTEM.REG" "$WORK_DIR/lower/windows/system.reg"
check_tree "$WORK_DIR/lower/windows" "$WORK_DIR/lower/windows/system.reg"

# A tree that already holds every line: no diff, and a note saying so.
mkdir -p "$WORK_DIR/patched/WINDOWS"
cp -a "$SAMPLE/INF" "$WORK_DIR/patched/WINDOWS/INF"
env -u KESTRA32_REGISTRY WINDIR="$WORK_DIR/patched/WINDOWS" "$KESTRA32" </dev/null >/dev/null
output=$(PATH="$(dirname "$KESTRA32"):$PATH" "$PREVIEW" "$WORK_DIR/patched/WINDOWS" 2>"$WORK_DIR/note")
[ -z "$output" ] || fail "a patched tree still shows changes: $output"
grep -qx "kestra32-preview: nothing would change" "$WORK_DIR/note" || fail "no note for a patched tree"

# A FIFO in place of an INF file is passed over rather than read, which would
# block: the other files are still previewed.
mkfifo "$WORK_DIR/patched/WINDOWS/INF/fifo" && rm "$WORK_DIR/patched/WINDOWS/INF/MSHDC.INF"
mv "$WORK_DIR/patched/WINDOWS/INF/fifo" "$WORK_DIR/patched/WINDOWS/INF/MSHDC.INF"
PATH="$(dirname "$KESTRA32"):$PATH" timeout 10 "$PREVIEW" "$WORK_DIR/patched/WINDOWS" \
  2>"$WORK_DIR/note" ||
  fail "the preview of a tree with a FIFO failed or blocked"
grep -q "MSHDC.INF is not a regular file" "$WORK_DIR/note" || fail "no note for the FIFO"

# A Windows directory that does not exist is refused.
if "$PREVIEW" "$WORK_DIR/missing" 2>/dev/null; then
  fail "a missing Windows directory was accepted"
fi
echo "kestra32-preview: expected diffs, trees untouched"
