#!/bin/bash
# Runs kestra32-preview on copies of the sample tree, with its names as shipped
# and in lower case, with the registry file it finds (SYSTEM.DAT) and with the
# REGEDIT4 export given, and checks that it prints the expected diff byte for
# byte and leaves every file of the tree as it was.
#
#   kestra32-preview_test.sh PREVIEW KESTRA32 SAMPLE_WINDOWS EXPECTED_DIFF WORK_DIR
#
# EXPECTED_DIFF is the preview of the sample tree followed by the SYSTEM.REG part
# of its preview with SYSTEM.REG given; from the source folder, with kestra32 on
# the path:
#   { scripts/kestra32-preview examples/WINDOWS
#     scripts/kestra32-preview examples/WINDOWS examples/WINDOWS/SYSTEM.REG |
#       sed -n '/^--- a\/SYSTEM\.REG$/,$p'; } >scripts/kestra32-preview_expected.diff
set -euo pipefail

readonly PREVIEW=$1 KESTRA32=$2 SAMPLE=$3 EXPECTED=$4 WORK_DIR=$5

fail() {
  echo "kestra32-preview_test: $*" >&2
  exit 1
}

command -v cregexport >/dev/null || fail "cregexport (libcreg-utils) is needed"

# Names, sizes, modes and modification times of every file below a folder.
listing() {
  (cd "$1" && find . -printf '%p %s %m %T@\n' | LC_ALL=C sort)
}

# Runs the preview on a tree and checks its output and the tree afterwards.
check_tree() {
  local windir=$1 regfile=$2 expected=$3 before output
  before=$(listing "$windir")
  cp -a "$windir" "$WORK_DIR/pristine"
  output=$(PATH="$(dirname "$KESTRA32"):$PATH" "$PREVIEW" "$windir" "$regfile")
  diff -u "$expected" <(printf '%s\n' "$output") || fail "unexpected diff for $windir $regfile"
  [[ $output != *$'\r'* ]] || fail "carriage returns in the diff for $windir"
  diff -r "$WORK_DIR/pristine" "$windir" || fail "$windir changed"
  [ "$(listing "$windir")" = "$before" ] || fail "files of $windir were added or touched"
  rm -rf "$WORK_DIR/pristine"
}

rm -rf "$WORK_DIR"
mkdir -p "$WORK_DIR/shipped" "$WORK_DIR/lower/windows/inf" "$WORK_DIR/patched/WINDOWS"
inf_part=$WORK_DIR/expected-inf dat_part=$WORK_DIR/expected-dat reg_part=$WORK_DIR/expected-reg
sed '/^--- a\/SYSTEM\.DAT (keys)$/,$d' "$EXPECTED" >"$inf_part"
sed '/^--- a\/SYSTEM\.REG$/,$d' "$EXPECTED" >"$dat_part"
{ cat "$inf_part"; sed -n '/^--- a\/SYSTEM\.REG$/,$p' "$EXPECTED"; } >"$reg_part"

cp -a "$SAMPLE" "$WORK_DIR/shipped/WINDOWS"
check_tree "$WORK_DIR/shipped/WINDOWS" "" "$dat_part"
check_tree "$WORK_DIR/shipped/WINDOWS" "$WORK_DIR/shipped/WINDOWS/SYSTEM.REG" "$reg_part"

# A tree that already holds every line and lacks the three keys.
cp -a "$SAMPLE/INF" "$SAMPLE/SYSTEM.DAT" "$WORK_DIR/patched/WINDOWS"
env -u KESTRA32_REGISTRY WINDIR="$WORK_DIR/patched/WINDOWS" "$KESTRA32" </dev/null >/dev/null

# The lower-case tree also holds a backup of the registry file, system.da0, here
# the patched one: the preview must take system.dat, not it.
for name in MSHDC.INF MACHINE.INF USB.INF; do
  cp -p "$SAMPLE/INF/$name" "$WORK_DIR/lower/windows/inf/${name,,}"
done
cp -p "$SAMPLE/SYSTEM.REG" "$WORK_DIR/lower/windows/system.reg"
cp -p "$SAMPLE/SYSTEM.DAT" "$WORK_DIR/lower/windows/system.dat"
cp -p "$WORK_DIR/patched/WINDOWS/SYSTEM.DAT" "$WORK_DIR/lower/windows/system.da0"
check_tree "$WORK_DIR/lower/windows" "" "$dat_part"

# Without cregexport the INF files are still shown, and SYSTEM.DAT said to change.
mkdir "$WORK_DIR/bin"
ln -s /usr/bin/* "$WORK_DIR/bin/"
rm -f "$WORK_DIR/bin/cregexport"
PATH="$(dirname "$KESTRA32"):$WORK_DIR/bin" "$PREVIEW" "$WORK_DIR/shipped/WINDOWS" \
  >"$WORK_DIR/output" 2>"$WORK_DIR/note" || fail "the preview failed without cregexport"
diff -u "$inf_part" "$WORK_DIR/output" || fail "unexpected diff without cregexport"
grep -qx "kestra32-preview: SYSTEM.DAT would change (install libcreg-utils to see which keys)" \
  "$WORK_DIR/note" || fail "no note for SYSTEM.DAT without cregexport"

# The patched tree: no diff, and a note saying so.
output=$(PATH="$(dirname "$KESTRA32"):$PATH" "$PREVIEW" "$WORK_DIR/patched/WINDOWS" 2>"$WORK_DIR/note")
[ -z "$output" ] || fail "a patched tree still shows changes: $output"
grep -qx "kestra32-preview: nothing would change" "$WORK_DIR/note" || fail "no note for a patched tree"

# FIFOs in place of an INF file and of SYSTEM.DAT are passed over rather than
# read, which would block: the other files are still previewed.
for name in INF/MSHDC.INF SYSTEM.DAT; do
  rm "$WORK_DIR/patched/WINDOWS/$name" && mkfifo "$WORK_DIR/patched/WINDOWS/$name"
done
PATH="$(dirname "$KESTRA32"):$PATH" timeout 300 "$PREVIEW" "$WORK_DIR/patched/WINDOWS" \
  2>"$WORK_DIR/note" ||
  fail "the preview of a tree with FIFOs failed or blocked"
grep -q "MSHDC.INF is not a regular file" "$WORK_DIR/note" || fail "no note for the INF FIFO"
grep -q "SYSTEM.DAT is not a regular file" "$WORK_DIR/note" || fail "no note for the SYSTEM.DAT FIFO"

# A Windows directory that does not exist is refused.
if "$PREVIEW" "$WORK_DIR/missing" 2>/dev/null; then
  fail "a missing Windows directory was accepted"
fi
echo "kestra32-preview: expected diffs, trees untouched"
