#!/bin/bash
# Renders a manual page and fails on any warning or on a missing section.
#
#   check_man_page.sh PAGE
set -euo pipefail

readonly PAGE=$1
readonly SECTIONS=(NAME SYNOPSIS DESCRIPTION ENVIRONMENT FILES "EXIT STATUS" EXAMPLES)

warnings=$(mktemp)
trap 'rm -f "$warnings"' EXIT
text=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$PAGE" 2>"$warnings")
if [ -s "$warnings" ]; then
  echo "check_man_page: warnings from $PAGE:" >&2
  cat "$warnings" >&2
  exit 1
fi
for section in "${SECTIONS[@]}"; do
  grep -qx "$section" <<<"$text" || {
    echo "check_man_page: $PAGE has no $section section" >&2
    exit 1
  }
done
echo "$PAGE renders without warnings"
