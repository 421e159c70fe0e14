#!/usr/bin/env python3
"""Checks the direction of every project #include, and of the links of the
hosts' and examples' CMake targets, against the layers below.

The layers, as the folders hold them: the plug-in; the host library's stages,
which meet only in the frame driver; the library's door, host/visualiser.h,
and the C API over it (include/lumagrove/lumagrove.h, host/api/); and the
hosts, each of which sees a door and its own folder alone. A file
may include the folders its layer lists (its own always). Run from anywhere;
prints each include that breaks the rule and exits 1 if there is one.
"""
import os
import re
import sys

# Who may include whom. Keys and values are path prefixes, the longest key
# that a file's path starts with applies. "host/visualiser.h" is the door;
# "lumagrove/lumagrove.h" (include/) the C API of liblumagrove over it.
DOOR = "host/visualiser.h"
API = "lumagrove/lumagrove.h"
ALLOWED = {
    # The plug-in: its entry (plugin/) over its renderer and its glow sprite,
    # which both draw with plugin/gl.h and read the records of the boundary.
    "plugin/": ["plugin/"],
    "plugin/render/": ["plugin/sprite/", "plugin/gl.h", "plugin/plugin_interface.h"],
    "plugin/sprite/": ["plugin/gl.h", "plugin/plugin_interface.h"],
    # The host library's stages, from the bottom up; they meet only in the driver.
    "host/base/": [],
    "host/loader/": ["host/base/", "plugin/plugin_interface.h"],
    "host/gl/": ["host/base/"],
    "host/analysis/": ["host/base/", "plugin/plugin_interface.h"],
    "host/audio/": ["host/base/", "host/analysis/"],
    "host/output/": ["host/base/"],
    "host/driver/": ["host/base/", "host/loader/", "host/gl/", "host/analysis/", "host/output/"],
    # The door, over every stage.
    "host/visualiser": ["host/", "plugin/plugin_interface.h"],
    # The C API: its header stands alone; its implementation sees the door.
    "include/": [],
    "host/api/": [DOOR, API],
    # The toolbox: what programs need, over the C API and the file outputs.
    "toolbox/run/": [API, "host/base/", "host/output/", "host/analysis/", "host/audio/"],
    "toolbox/toolbox.h": [API, "toolbox/run/", "host/base/", "host/output/", "host/analysis/levels_csv.h",
                          "host/audio/"],
    # The hosts: a door and their own world. The modules other programs
    # load are adapters of the C API alone.
    "hosts/": [API, "toolbox/"],
    "hosts/gst/": [API],
    "hosts/obs/": [API],
    "hosts/vlc/": [API],
    # The page: the C API, and the reader of the levels CSV it replays.
    "hosts/web/": [API, "host/analysis/levels_csv.h"],
    "examples/": [DOOR, API],
    # Benchmarks measure the library's stages, never a host's files.
    "bench/": ["host/", "toolbox/", API, "plugin/plugin_interface.h", "tests/support/"],
    # Tests reach whatever they test.
    "tests/": [""],
}
# Which of the project's libraries a folder's CMake targets may link (the
# longest key a CMakeLists.txt's folder starts with applies; a folder no key
# names links freely). The library's own are host/'s add_library() targets:
# the C library, liblumagrove, and the internal archives it holds inside.
C_LIBRARY = "liblumagrove"
LINKS = {
    "hosts/gst/": [C_LIBRARY],
    "hosts/obs/": [C_LIBRARY],
    "hosts/vlc/": [C_LIBRARY],
    "examples/": [C_LIBRARY],
}
ADD_LIBRARY = re.compile(r"add_library\(\s*([A-Za-z0-9_.-]+)")
LINK_CALL = re.compile(r"target_link_libraries\(([^)]*)\)", re.S)
API_MODULE = re.compile(r"lumagrove_api_module\(\s*([A-Za-z0-9_.-]+)")
SOURCE = re.compile(r"\.(h|hpp|c|cc|cpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer(path):
    keys = [k for k in ALLOWED if path.startswith(k)]
    return max(keys, key=len) if keys else None


def own_folder(path):
    # A file's own folder: a host's (hosts/gst/), a stage's (host/audio/),
    # the plug-in's part (plugin/render/); the door's is the whole library.
    return path.rsplit("/", 1)[0] + "/"


def check(root):
    broken = []
    for folder, _, files in os.walk(root):
        rel_folder = os.path.relpath(folder, root)
        if rel_folder.split(os.sep)[0] in (".git", "build", "node_modules") or rel_folder.startswith("build"):
            continue
        if "node_modules" in rel_folder.split(os.sep):
            continue
        for name in files:
            if not SOURCE.search(name):
                continue
            path = os.path.normpath(os.path.join(rel_folder, name)).replace(os.sep, "/")
            key = layer(path)
            if key is None:
                continue
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                text = f.read()
            for included in INCLUDE.findall(text):
                if "/" not in included:
                    continue  # a file beside it, or a system-style name in quotes
                if included.startswith(own_folder(path)):
                    continue
                if any(included.startswith(allowed) for allowed in ALLOWED[key]):
                    continue
                broken.append(f"{path}: includes {included} ({key} may include: "
                              f"{', '.join(ALLOWED[key]) or 'only itself'})")
    return broken


def cmake_files(root, under):
    for folder, _, files in os.walk(os.path.join(root, under)):
        if "CMakeLists.txt" in files:
            yield os.path.join(folder, "CMakeLists.txt")


def check_links(root):
    """Each link a folder's targets make to one of the library's own
    libraries, against LINKS."""
    own = set()
    for path in cmake_files(root, "host"):
        with open(path, encoding="utf-8") as f:
            own.update(ADD_LIBRARY.findall(f.read()))
    broken = []
    for key, allowed in LINKS.items():
        for path in cmake_files(root, key):
            with open(path, encoding="utf-8") as f:
                text = re.sub(r"#.*", "", f.read())
            rel = os.path.relpath(path, root).replace(os.sep, "/")
            for call in LINK_CALL.findall(text):
                words = call.split()
                for library in words[1:]:
                    if library in own and library not in allowed:
                        broken.append(f"{rel}: {words[0]} links {library} ({key} may link: {', '.join(allowed)})")
            # lumagrove_api_module() links the C library, and nothing else of ours.
            if API_MODULE.search(text) and C_LIBRARY not in allowed:
                broken.append(f"{rel}: links {C_LIBRARY} ({key} may link: {', '.join(allowed)})")
    return broken


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    broken = check(root) + check_links(root)
    for line in broken:
        print(line)
    if broken:
        print(f"{len(broken)} include(s) or link(s) against the layers (tools/check_layers.py)", file=sys.stderr)
        return 1
    print("layers: every #include and every link goes the way the layers allow")
    return 0


if __name__ == "__main__":
    sys.exit(main())
