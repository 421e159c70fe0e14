#include "hosts/preview/song_files.h"

#include <dlfcn.h>
#include <string.h>

namespace {

const SongFileCalls* Load() {
    const std::string plugin = lumagrove_desc_defaults(nullptr).plugin_path;
    const std::string path = plugin.substr(0, plugin.rfind('/') + 1) + "lumagrove-songs.so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = dlerror();
        throw HostError(Fault::kFailure, "cannot read song files: " + std::string(why ? why : path));
    }
    void* entry = dlsym(module, "LumagroveSongFiles");
    const SongFileCalls* (*get)() = nullptr;
    static_assert(sizeof get == sizeof entry, "function and data pointers differ in size");
    memcpy(&get, &entry, sizeof get);
    const SongFileCalls* found = get ? get() : nullptr;
    if (!found || found->version != kSongFileCallsVersion) {
        dlclose(module);
        throw HostError(Fault::kFailure, "cannot read song files: " + path + " is not this program's song reader");
    }
    return found;  // kept loaded for the life of the process
}

// The module's table, loaded at the first call (again at the next if it failed).
const SongFileCalls& Calls() {
    static const SongFileCalls* const calls = Load();
    return *calls;
}

}  // namespace

std::unique_ptr<AudioSource> OpenSongFile(const std::string& path) { return Calls().open(path); }

std::string SongFileTitle(const AudioSource& song, const std::string& path) { return Calls().title(song, path); }
