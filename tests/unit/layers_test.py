#!/usr/bin/env python3
"""tools/check_layers.py against trees made here: a host that reaches past
the door into a stage, and a stage that reaches into another beside it, are
each named with the rule they break; the door, a host's own folder and the
project itself pass."""
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
allowed = tree({
    "hosts/gst/element.cpp": '#include "host/visualiser.h"\n#include "hosts/gst/element.h"\n',
    "host/audio/reader.cpp": '#include "host/analysis/sample_store.h"\n#include "host/base/host_error.h"\n',
})
if layers.check(allowed):
    failures.append(f"allowed includes flagged: {layers.check(allowed)}")
broken = layers.check(tree({
    "hosts/obs/source.cpp": '#include "host/visualiser.h"\n#  include "host/driver/frame_driver.h"\n',
    "host/audio/reader.cpp": '#include "host/output/wav_writer.h"\n',
}))
for expected in ("hosts/obs/source.cpp: includes host/driver/frame_driver.h",
                 "host/audio/reader.cpp: includes host/output/wav_writer.h"):
    if not any(line.startswith(expected) for line in broken):
        failures.append(f"not flagged: {expected} (flagged: {broken})")
if len(broken) != 2:
    failures.append(f"expected two broken includes, got {broken}")
project = layers.check(os.path.join(HERE, "..", ".."))
if project:
    failures.append(f"the project breaks its layers: {project}")
for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
