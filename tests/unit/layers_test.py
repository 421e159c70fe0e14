#!/usr/bin/env python3
"""tools/check_layers.py against trees made here: a host that reaches past
the C API into the core, the toolbox reaching into the core, a stage that
reaches into another beside it, and a module that links one of the
library's archives are each named with the rule they break; the C API, the
toolbox for the preview, a host's own folder, a module that links
liblumagrove, and the project itself pass."""
import importlib.util
import os
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = os.path.join(HERE, "..", "..", "tools", "check_layers.py")
spec = importlib.util.spec_from_file_location("check_layers", TOOL)
layers = importlib.util.module_from_spec(spec)
spec.loader.exec_module(layers)


def tree(files):
    root = tempfile.mkdtemp(prefix="lumagrove-layers-")
    for path, text in files.items():
        os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
        with open(os.path.join(root, path), "w") as f:
            f.write(text)
    return root


failures = []
LIBRARIES = "add_library(lumagrove_host STATIC visualiser.cpp)\n"
allowed = tree({
    "hosts/gst/element.cpp": '#include "lumagrove/lumagrove.h"\n#include "hosts/gst/element.h"\n',
    "hosts/preview/main.cpp": '#include "lumagrove/lumagrove.h"\n#include "toolbox/toolbox.h"\n',
    "toolbox/run/frame_run.cpp": '#include "lumagrove/lumagrove.h"\n#include "toolbox/output/frame_queue.h"\n',
    "host/analysis/reader.cpp": '#include "host/analysis/sample_store.h"\n#include "host/base/host_error.h"\n',
    "host/CMakeLists.txt": LIBRARIES,
    "hosts/gst/CMakeLists.txt": "add_library(gstlumagrove MODULE element.cpp)\n"
                                "target_link_libraries(gstlumagrove PRIVATE PkgConfig::GSTREAMER)\n"
                                "lumagrove_api_module(gstlumagrove gst lib)  # links liblumagrove\n",
})
if layers.check(allowed) + layers.check_links(allowed):
    failures.append(f"allowed includes or links flagged: {layers.check(allowed) + layers.check_links(allowed)}")
broken_tree = tree({
    "hosts/obs/source.cpp": '#include "lumagrove/lumagrove.h"\n#  include "host/visualiser.h"\n',
    "hosts/preview/main.cpp": '#include "host/visualiser.h"\n',
    "toolbox/run/frame_run.cpp": '#include "host/driver/frame_driver.h"\n',
    "host/analysis/reader.cpp": '#include "host/driver/frame_driver.h"\n',
    "host/CMakeLists.txt": LIBRARIES,
    "hosts/vlc/CMakeLists.txt": "target_link_libraries(vlc_plugin PRIVATE\n  lumagrove_host PkgConfig::VLC)\n",
})
broken = layers.check(broken_tree) + layers.check_links(broken_tree)
for expected in ("hosts/obs/source.cpp: includes host/visualiser.h",
                 "hosts/preview/main.cpp: includes host/visualiser.h",
                 "toolbox/run/frame_run.cpp: includes host/driver/frame_driver.h",
                 "host/analysis/reader.cpp: includes host/driver/frame_driver.h",
                 "hosts/vlc/CMakeLists.txt: vlc_plugin links lumagrove_host"):
    if not any(line.startswith(expected) for line in broken):
        failures.append(f"not flagged: {expected} (flagged: {broken})")
if len(broken) != 5:
    failures.append(f"expected five broken includes and links, got {broken}")
root = os.path.join(HERE, "..", "..")
project = layers.check(root) + layers.check_links(root)
if project:
    failures.append(f"the project breaks its layers: {project}")
for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
