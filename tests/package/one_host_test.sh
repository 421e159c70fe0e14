#!/bin/sh
# One host alone from source: `make deps HOSTS=vlc` asks for the library's
# and VLC's build dependencies and nothing of the other hosts, and a build
# configured as `make install HOSTS=vlc` configures it (LUMAGROVE_BUILD_*)
# looks for none of their libraries, builds the library, the plug-in and the
# VLC module, and would install those alone.
#   one_host_test.sh SOURCE_DIR SCRATCH_DIR
set -eu
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

flags=$(make -s -n -C "$source" "$scratch/build/CMakeCache.txt" HOSTS=vlc BUILD="$scratch/build" | grep '^cmake ')
echo "$flags"
(cd "$source" && eval "$flags") > "$scratch/configure.log" || { cat "$scratch/configure.log"; fail "the VLC-only build does not configure"; }
for other in FFMPEG LIBOBS GSTREAMER SDL2 PULSE GTest; do
  grep -q "^${other}_" "$scratch/build/CMakeCache.txt" && fail "the VLC-only build looked for $other"
done
cmake --build "$scratch/build" > "$scratch/build.log" 2>&1 || { tail -20 "$scratch/build.log"; fail "the VLC-only build fails"; }
built=$(cd "$scratch/build" && find . -name '*.so*' -newer CMakeCache.txt | grep -v CMakeFiles | sort | tr '\n' ' ')
echo "built: $built"
[ "$built" = "./liblumagrove.so ./liblumagrove.so.0 ./liblumagrove.so.0.1.0 ./lumagrove.so ./vlc/liblumagrove_vlc_plugin.so " ] ||
  fail "expected the library, the plug-in and the VLC module alone"
DESTDIR="$scratch/root" cmake --install "$scratch/build" --prefix /usr > /dev/null
installed=$(cd "$scratch/root" && find . -type f | sort | tr '\n' ' ')
echo "installed: $installed"
case "$installed" in *vlc/plugins/visualization/liblumagrove_vlc_plugin.so*) ;; *) fail "no VLC module installed" ;; esac
case "$installed" in *obs*|*kodi*|*gstreamer*|*bin/lumagrove-preview*) fail "another host installed" ;; esac
echo "ok"
