#!/usr/bin/env bash
# Usage: make_sample_image.sh IMAGE
# Makes a small sparse disk image holding the sample Windows tree: a 32 MiB MBR
# disk with one FAT16 partition (type 06) at sector 63, the sample tree at its
# root as WINDOWS. Made without root: truncate, sfdisk, mkfs.fat, mcopy.
#   WINDIR=IMAGE kestra32 patches it; kestra32-preview IMAGE shows how.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 IMAGE" >&2; exit 2; }
IMAGE=$1 SAMPLE=$(dirname "$0")/../examples/WINDOWS
readonly IMAGE SAMPLE
readonly DISK_SECTORS=65536 START=63

rm -f "$IMAGE"
truncate -s $((DISK_SECTORS * 512)) "$IMAGE"
printf 'label: dos\nunit: sectors\n%d,%d,6\n' $START $((DISK_SECTORS - START)) | sfdisk -q "$IMAGE"
# mkfs.fat counts 1 KiB blocks: the partition's last odd sector stays unused.
mkfs.fat -F 16 -n KESTRA32 --offset $START "$IMAGE" $(((DISK_SECTORS - START) / 2)) >/dev/null
MTOOLS_SKIP_CHECK=1 mcopy -s -m -i "$IMAGE@@$((START * 512))" "$SAMPLE" ::WINDOWS
