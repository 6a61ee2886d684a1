#!/bin/bash
# Runs kestra32-preview on copies of the sample tree, with its names as shipped
# and in lower case, with the registry file it finds (SYSTEM.DAT) and with the
# REGEDIT4 export given, and checks that it prints the expected diff byte for
# byte and leaves every file of the tree as it was. Then on FAT16 images holding
# the sample tree (mkfs.fat and mtools; a dynamic VHD made by qemu-img), once and
# twice, with another process locking the image, and without it: the same diff
# and an untouched image, or status 1 and what it found.
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

for tool in cregexport mkfs.fat mcopy python3 qemu-img; do
  command -v "$tool" >/dev/null || fail "$tool is needed"
done

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

# Images: runs the preview on IMAGE[/CHOICE], checks its status, its output
# (against a file), its notes (a line to grep) and that the image stays as it was;
# with a sixth argument, while this script holds a read lock on a byte of the
# image as QEMU does (an OFD lock, F_OFD_SETLK).
check_image() {
  local status=0 image=$1 choice=$2 want_status=$3 want_output=$4 want_note=$5 holder=()
  [ -z "${6:-}" ] || holder=(python3 -c '
import fcntl, os, struct, subprocess, sys
fd = os.open(sys.argv[1], os.O_RDONLY)
fcntl.fcntl(fd, 37, struct.pack("hhxxxxqqixxxx", fcntl.F_RDLCK, 0, 201, 1, 0))
sys.exit(subprocess.run(sys.argv[2:]).returncode)' "$image")
  cp --sparse=always "$image" "$WORK_DIR/pristine.img"
  PATH="$(dirname "$KESTRA32"):$PATH" ${holder[@]+"${holder[@]}"} "$PREVIEW" "$image$choice" \
    >"$WORK_DIR/output" 2>"$WORK_DIR/note" || status=$?
  [ "$status" -eq "$want_status" ] || fail "status $status for $image$choice: $(cat "$WORK_DIR/note")"
  diff -u "$want_output" "$WORK_DIR/output" || fail "unexpected diff for $image$choice"
  [ -z "$want_note" ] || grep -qxF -- "$want_note" "$WORK_DIR/note" ||
    fail "no note '$want_note' for $image$choice: $(cat "$WORK_DIR/note")"
  cmp "$WORK_DIR/pristine.img" "$image" || fail "$image changed"
}
export MTOOLS_SKIP_CHECK=1
image=$WORK_DIR/sample.img
truncate -s 16M "$image"
mkfs.fat -F 16 "$image" >/dev/null
check_image "$image" "" 1 /dev/null \
  "kestra32-preview: $image holds no Windows folder (a folder at a volume's root with INF and SYSTEM.DAT): kestra32 would change nothing"
grep -qxF "  volume 1: offset 0, 16777216 bytes, FAT16, Windows folders: none" "$WORK_DIR/note" ||
  fail "no volume listed for an image without Windows"
mcopy -s -i "$image" "$SAMPLE" ::WINDOWS
check_image "$image" "" 0 "$dat_part" ""
check_image "$image" /1/windows 0 "$dat_part" ""
qemu-img convert -f raw -O vpc "$image" "$WORK_DIR/sample.vhd"
check_image "$WORK_DIR/sample.vhd" "" 0 "$dat_part" ""
check_image "$image" "" 1 /dev/null \
  "kestra32-preview: $image is locked by another process (an emulator running on it?): kestra32 would change nothing" \
  locked
mcopy -s -i "$image" "$SAMPLE" ::WIN95
check_image "$image" "" 1 /dev/null \
  "kestra32-preview: $image holds 2 Windows folders: kestra32 would change nothing unless WINDIR names one"
grep -qxF "  volume 1: offset 0, 16777216 bytes, FAT16, Windows folders: WINDOWS, WIN95" \
  "$WORK_DIR/note" || fail "no Windows folders listed for an image with two"
check_image "$image" /WIN95 0 "$dat_part" ""
check_image "$image" /WIN98 1 /dev/null "kestra32-preview: $image/WIN98 names no folder: kestra32 would change nothing"

# A Windows directory that does not exist is refused.
if "$PREVIEW" "$WORK_DIR/missing" 2>/dev/null; then
  fail "a missing Windows directory was accepted"
fi
echo "kestra32-preview: expected diffs, trees untouched"
