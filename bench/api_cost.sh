#!/bin/sh
# bench/api_cost.sh [BASELINE_COMMIT] [RUNS]: the hosts' cost per frame on
# the C API (this build, build/) against the commit before the preview, the
# GStreamer, OBS and VLC modules moved onto it (default fcd54cc), built in
# build-baseline/ from its own sources; both measured alternately in one run
# by lumagrove-api-cost-bench. Run from the project's root, after `make bench`
# has built build/ with the benchmarks.
set -e
base=${1:-fcd54cc}
runs=${2:-5}
root=$(pwd)
if [ ! -f build-baseline/.commit ] || [ "$(cat build-baseline/.commit)" != "$(git rev-parse "$base")" ]; then
  rm -rf build-baseline && mkdir -p build-baseline/src
  git archive "$base" | tar -x -C build-baseline/src
  cmake -S build-baseline/src -B build-baseline -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
  git rev-parse "$base" > build-baseline/.commit
fi
cmake --build build-baseline -j "$(nproc)" --target lumagrove-preview gstlumagrove lumagrove_vlc_plugin lumagrove-obs lumagrove > /dev/null
echo "Before: $(cat build-baseline/.commit | cut -c1-7); C API: $(git rev-parse --short HEAD)"
"$root/build/lumagrove-api-cost-bench" --runs "$runs" "$root/build-baseline"
