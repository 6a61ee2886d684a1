#!/bin/sh
# check_floppy.sh IMAGE EXE WORK_DIR: fails unless the floppy image holds
# exactly KESTRA32.EXE, equal to EXE, and a README.TXT with CR LF line ends.
set -eu
image=$1
executable=$2
work=$3
fail() {
  echo "check_floppy: $*" >&2
  exit 1
}

[ "$(stat -c %s "$image")" -eq 1474560 ] || fail "$image is not a 1.44 MB floppy image"
names=$(mdir -b -i "$image" :: | sort | tr '\n' ' ')
[ "$names" = "::/KESTRA32.EXE ::/README.TXT " ] || fail "the image holds: $names"
rm -rf "$work"
mkdir -p "$work"
mcopy -n -i "$image" ::KESTRA32.EXE ::README.TXT "$work/"
cmp "$work/KESTRA32.EXE" "$executable" || fail "KESTRA32.EXE differs from $executable"
lines=$(wc -l <"$work/README.TXT")
crlf_lines=$(grep -c "$(printf '\r')\$" "$work/README.TXT")
[ "$lines" -gt 0 ] && [ "$lines" -eq "$crlf_lines" ] || fail "README.TXT is not CR LF text"
mdir -i "$image" ::
