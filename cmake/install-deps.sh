#!/bin/sh
# Installs, with apt-get, exactly those of the named Debian packages that are
# missing. Prints nothing when all are present. A name may carry an
# architecture (wine32:i386); that architecture is enabled first if need be.
#
# The package lists are refreshed with a few tries; an index that still
# fails to download is passed over (apt-get goes on with the lists it has),
# so one mirror in the middle of a sync stops nothing that the other lists
# can install. Only the install itself failing is a failure: one line naming
# the packages and apt-get's own reason, status 1.
#
# With LUMAGROVE_UNAVAILABLE=FILE the packages are optional: when they cannot
# be installed, that line is written to FILE and the status is 0 (the tests
# that need them then report themselves as not run, giving it as the reason);
# FILE is removed once they are installed.
set -u
missing=""
for pkg in "$@"; do
  # One line per installed architecture (libgl1-mesa-dri may be there for
  # amd64 and i386 alike): installed when any line says so.
  dpkg-query -W -f='${db:Status-Status}\n' "$pkg" 2>/dev/null | grep -qx installed || missing="$missing $pkg"
done
record=${LUMAGROVE_UNAVAILABLE:-}
if [ -z "$missing" ]; then
  [ -z "$record" ] || rm -f "$record"
  exit 0
fi
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# A package of another architecture (name:i386) needs that architecture enabled.
for pkg in $missing; do
  case "$pkg" in
    *:*)
      arch=${pkg#*:}
      if [ "$arch" != "$(dpkg --print-architecture)" ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
        $SUDO dpkg --add-architecture "$arch" || exit 1
      fi ;;
  esac
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
tries=0
stale=""
until $SUDO apt-get update -qq > "$log" 2>&1; do
  tries=$((tries + 1))
  if [ "$tries" -ge 3 ]; then
    echo "install-deps: the package lists did not all refresh; going on with those there are:"
    grep -E '^(E|W):' "$log" | head -3 | sed 's/^/  /'
    stale=$(grep -E '^E:' "$log" | head -n 1 | sed 's/^E: *//; s/  */ /g')
    break
  fi
  sleep 5
done
if $SUDO apt-get install -y -qq --no-install-recommends $missing > "$log" 2>&1; then
  [ -z "$record" ] || rm -f "$record"
  exit 0
fi
reason=$(grep -E '^E:' "$log" | tail -n 1 | sed 's/^E: *//')
[ -n "$reason" ] || reason=$(tail -n 1 "$log")
line="cannot install$missing: $reason${stale:+ (after: $stale)}"
if [ -n "$record" ]; then
  mkdir -p "$(dirname "$record")"
  printf '%s\n' "$line" > "$record"
  echo "install-deps: $line (the tests that need them will not run)"
  exit 0
fi
echo "install-deps: $line" >&2
exit 1
