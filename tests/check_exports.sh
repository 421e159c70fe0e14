#!/bin/sh
# A library exports the names it means to and no other: check_exports.sh
# LIBRARY REGEX [SYMBOLS] (an extended regular expression every exported name
# must match, and at least one does). Symbol versions (name@@VERSION) count
# as the name; the version nodes themselves are no symbols. With SYMBOLS (a
# Debian symbols file, the library's ABI), the names are exactly those it
# lists: a name added or gone is an ABI change, to be listed there first.
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
if [ $# -ge 3 ]; then
  listed=$(sed -n 's/^ \([^@ ]*\)@[^ ]* .*/\1/p' "$3" | grep -Ev '^[A-Z0-9_]+$' | sort)
  if [ "$listed" != "$exported" ]; then
    echo "$library's exports differ from its ABI in $3 (< exported, > listed):"
    printf '%s\n' "$exported" > "${TMPDIR:-/tmp}/exported.$$"
    printf '%s\n' "$listed" | diff "${TMPDIR:-/tmp}/exported.$$" - | grep '^[<>]' || true
    rm -f "${TMPDIR:-/tmp}/exported.$$"
    exit 1
  fi
fi
echo "$library exports only $allowed: $(printf '%s\n' "$exported" | wc -l) names${3:+, those $3 lists}"
