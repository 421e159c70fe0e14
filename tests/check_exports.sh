#!/bin/sh
# A library exports the names it means to and no other: check_exports.sh
# LIBRARY REGEX (an extended regular expression every exported name must
# match, and at least one does). Symbol versions (name@@VERSION) count as
# the name; the version nodes themselves are no symbols.
set -eu
library="$1"
allowed="$2"
exported=$(nm -D --defined-only "$library" | awk '$2 != "A" {sub(/@.*/, "", $3); print $3}' | sort)
if [ -z "$exported" ]; then
  echo "$library exports nothing"
  exit 1
fi
others=$(printf '%s\n' "$exported" | grep -Ev "$allowed" || true)
if [ -n "$others" ]; then
  echo "$library exports names other than $allowed:"
  echo "$others"
  exit 1
fi
echo "$library exports only $allowed: $(printf '%s\n' "$exported" | wc -l) names"
