#!/usr/bin/env bash
# lint.sh SOURCE_DIR BUILD_DIR: fails when a C++ file is not formatted as
# .clang-format says, or when clang-tidy finds fault with the program's own
# sources (the POSIX build's, and the Win32 parts that need no system: the
# command-line tail and the replacement steps; the others need the MinGW
# headers).
set -euo pipefail
cd "$1"
files=$(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror $files
sources=$(git ls-files 'app/*.cpp' 'creg/*.cpp' 'fat/*.cpp' 'image/*.cpp' 'image_tree/*.cpp' \
  'inf/*.cpp' 'mbr/*.cpp' 'patches/*.cpp' 'platform/posix/*.cpp' 'vhd/*.cpp' \
  platform/win32/command_tail.cpp platform/win32/replace_steps.cpp | grep -v '_test\.cpp$')
clang-tidy -p "$2" --quiet --warnings-as-errors='*' $sources 2>/dev/null
echo "lint: formatting and clang-tidy clean"
