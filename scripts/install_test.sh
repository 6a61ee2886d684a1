#!/bin/bash
# Installs a build into a fresh prefix and checks what is there: both
# programs, the manual page, and the installed program's help.
#
#   install_test.sh BUILD_DIR PREFIX
set -euo pipefail

readonly BUILD_DIR=$1 PREFIX=$2
readonly CAPTION="Varnel PCI IDE Settings for Windows 95"

fail() {
  echo "install_test: $*" >&2
  exit 1
}

rm -rf "$PREFIX"
cmake --install "$BUILD_DIR" --prefix "$PREFIX" >/dev/null

for program in kestra32 kestra32-preview; do
  [ -x "$PREFIX/bin/$program" ] || fail "no executable bin/$program"
done
[ -f "$PREFIX/share/man/man1/kestra32.1" ] || fail "no share/man/man1/kestra32.1"

help=$("$PREFIX/bin/kestra32" '/?' </dev/null) || fail "help ended with status $?"
grep -qxF "$CAPTION" <<<"$help" || fail "help lacks its caption: $help"
grep -qF "KESTRA32 Program, Version 1.00" <<<"$help" || fail "help lacks its version: $help"
grep -qF "Usage:" <<<"$help" || fail "help lacks its usage: $help"

# The installed preview finds the installed program beside it.
tree="$PREFIX/tree/WINDOWS/INF"
mkdir -p "$tree"
printf '[VIATECH_HDC]\r\n[INTEL_HDC]\r\n[ControlFlags]\r\n[Strings]\r\n' >"$tree/MSHDC.INF"
preview=$(PATH=/usr/bin:/bin "$PREFIX/bin/kestra32-preview" "$PREFIX/tree/WINDOWS")
grep -qF '+CopyFilesOnly=PCI\VEN_1106&DEV_0571' <<<"$preview" || fail "preview: $preview"
echo "installed into $PREFIX: programs, manual page, help and preview work"
