#!/usr/bin/env python3
"""Checks the direction of every project #include, and of the links of the
hosts', the toolbox's and the examples' CMake targets, against the layers
below.

The layers, as the folders hold them: the plug-in; the core (host/): its
shared words (host/base/) under its stages, which meet only in the frame
driver, under its door (host/visualiser.h) and the C API over it
(include/lumagrove/lumagrove.h, host/api/); the toolbox (toolbox/), what
programs need, which reaches the core through the C API and the shared words
alone; and the hosts, each of which sees the C API (the preview the toolbox
too) and its own folder. A file may include the folders its layer lists (its
own always). Run from anywhere; prints each include or link that breaks the
rule and exits 1 if there is one.
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
    # The core's stages, from the bottom up; they meet only in the driver.
    "host/base/": [],
    "host/loader/": ["host/base/", "plugin/plugin_interface.h"],
    "host/gl/": ["host/base/"],
    "host/analysis/": ["host/base/", "plugin/plugin_interface.h"],
    "host/driver/": ["host/base/", "host/loader/", "host/gl/", "host/analysis/"],
    # The door, over every stage.
    "host/visualiser": ["host/", "plugin/plugin_interface.h"],
    # The C API: its header stands alone; its implementation sees the door.
    "include/": [],
    "host/api/": [DOOR, API],
    # The toolbox: what programs need, over the C API and the core's shared
    # words, from the bottom up; its door (toolbox.h) over all of it.
    "toolbox/base/": ["host/base/"],
    "toolbox/levels/": ["host/base/"],
    "toolbox/output/": ["host/base/", "toolbox/base/", "toolbox/levels/"],
    "toolbox/audio/": ["host/base/", "toolbox/base/", "toolbox/output/"],
    "toolbox/run/": [API, "host/base/", "toolbox/base/", "toolbox/levels/", "toolbox/output/", "toolbox/audio/"],
    "toolbox/toolbox.h": [API, "host/base/", "toolbox/"],
    # The hosts: the C API and their own world. The modules other programs
    # load are adapters of the C API alone.
    "hosts/": [API, "toolbox/toolbox.h"],
    "hosts/gst/": [API],
    "hosts/obs/": [API],
    "hosts/vlc/": [API],
    "hosts/kodi/": [API],
    # The page: the C API, and the replay of levels saved before.
    "hosts/web/": [API, "toolbox/levels/levels_csv.h"],
    "examples/": [API],
    # Benchmarks measure the library's stages, never a host's files.
    "bench/": ["host/", "toolbox/", API, "plugin/plugin_interface.h", "tests/support/"],
    # Tests reach whatever they test.
    "tests/": [""],
}
# Which of the project's libraries a folder's CMake targets may link (the
# longest key a CMakeLists.txt's folder starts with applies; a folder no key
# names links freely). The project's own are the add_library() targets of
# host/ (the C library, liblumagrove, and the core's archives inside it) and
# of toolbox/.
C_LIBRARY = "liblumagrove"
TOOLBOX = ["lumagrove_program_base", "lumagrove_levels", "lumagrove_output", "lumagrove_audio", "lumagrove_songs",
           "lumagrove_run", "lumagrove_toolbox"]
LINKS = {
    "toolbox/": [C_LIBRARY, "lumagrove_base"] + TOOLBOX,
    "hosts/gst/": [C_LIBRARY],
    "hosts/obs/": [C_LIBRARY],
    "hosts/vlc/": [C_LIBRARY],
    "hosts/kodi/": [C_LIBRARY],
    "hosts/web/": [C_LIBRARY, "lumagrove_levels"],
    "hosts/preview/": [C_LIBRARY, "lumagrove_toolbox"] + TOOLBOX,
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
    # A file's own folder: a host's (hosts/gst/), a stage's (host/analysis/),
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
    for under in ("host", "toolbox"):
        for path in cmake_files(root, under):
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
