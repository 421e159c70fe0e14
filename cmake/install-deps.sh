#!/bin/sh
# Installs, with apt-get, exactly those of the named Debian packages that are
# missing. Prints nothing when all are present. A name may carry an
# architecture (wine32:i386); that architecture is enabled first if need be.
set -eu
missing=""
for pkg in "$@"; do
  # One line per installed architecture (libgl1-mesa-dri may be there for
  # amd64 and i386 alike): installed when any line says so.
  dpkg-query -W -f='${db:Status-Status}\n' "$pkg" 2>/dev/null | grep -qx installed || missing="$missing $pkg"
done
[ -z "$missing" ] && exit 0
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
        $SUDO dpkg --add-architecture "$arch"
      fi ;;
  esac
done
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing
