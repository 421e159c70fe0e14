#!/bin/sh
# One host alone from source: `make deps HOSTS=vlc` asks for the library's
# and VLC's build dependencies and nothing of the other hosts', and `make
# install HOSTS=vlc` (into a home of the test's) configures a build that
# looks for none of their libraries, builds the library, the plug-in and the
# VLC module alone, and installs those alone.
#   one_host_test.sh SOURCE_DIR SCRATCH_DIR
set -eu
# Not the make that runs the tests': its options and variables are not this one's.
unset MAKEFLAGS MFLAGS MAKELEVEL
source=$1 scratch=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$scratch" && mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT

deps=$(make -s -n -C "$source" deps HOSTS=vlc | grep install-deps.sh)
echo "make deps HOSTS=vlc: $deps"
for pkg in libvlccore-dev libgl-dev cmake; do
  echo " $deps " | grep -q " $pkg " || fail "make deps HOSTS=vlc does not install $pkg"
done
for pkg in libobs-dev kodi-addons-dev libgstreamer1.0-dev libavformat-dev libsdl2-dev libgtest-dev obs-studio kodi; do
  echo " $deps " | grep -q " $pkg " && fail "make deps HOSTS=vlc installs $pkg, another host's"
done

# The user's own command, into a home of the test's.
build=$scratch/build home=$scratch/home
mkdir -p "$home"
make -s -C "$source" install HOSTS=vlc BUILD="$build" HOME="$home" XDG_CONFIG_HOME= > "$scratch/install.log" 2>&1 ||
  { tail -20 "$scratch/install.log"; fail "make install HOSTS=vlc fails"; }
grep -q "^LUMAGROVE_BUILD_OBS:BOOL=OFF" "$build/CMakeCache.txt" || fail "the VLC-only build has OBS on"
for other in FFMPEG LIBOBS GSTREAMER SDL2 PULSE GTest KODI_INCLUDE; do
  grep -q "^${other}_" "$build/CMakeCache.txt" && fail "the VLC-only build looked for $other"
done
built=$(cd "$build" && find . -name '*.so*' | grep -v CMakeFiles | sort | tr '\n' ' ')
echo "built: $built"
[ "$built" = "./liblumagrove.so ./liblumagrove.so.0 ./liblumagrove.so.0.1.0 ./lumagrove.so ./vlc/liblumagrove_vlc_plugin.so " ] ||
  fail "expected the library, the plug-in and the VLC module alone"
installed=$(cd "$home" && find . -type f | sort | tr '\n' ' ')
echo "installed: $installed"
case "$installed" in *.local/lib/vlc/plugins/visualization/liblumagrove_vlc_plugin.so*) ;; *) fail "no VLC module installed" ;; esac
case "$installed" in *.local/lib/liblumagrove.so.0*) ;; *) fail "no library installed" ;; esac
case "$installed" in *obs*|*kodi*|*gstreamer*|*bin/lumagrove-preview*) fail "another host installed" ;; esac
echo "ok"
