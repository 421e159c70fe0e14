// plugin_loader.h - opens a visualiser plug-in and drives its slots in the
// order the plug-in contract requires. Every host starts it the same way:
//
//   PluginLibrary lib(path);     load, call QueryInterface, check the descriptor
//   lib.Start(makeCurrent);      slot 0 (no GL needed); makeCurrent() makes the
//                                frames' GL context current (and sets the host's
//                                background); slot 1 (the texture lives in that
//                                context); slot 4 (the texture is all frames need)
//   lib.Render(params);          slot 3, once per frame, same context current
//
// Hosts start it through StartPlugin() (host/driver/frame_target.h), which
// makes the frame target inside makeCurrent. The library is unloaded when the
// object is destroyed. Every failure throws a
// HostError naming the file and what is wrong.
#ifndef LUMAGROVE_PLUGIN_LOADER_H
#define LUMAGROVE_PLUGIN_LOADER_H

#include <functional>
#include <string>

#include "plugin/plugin_interface.h"

// The plug-in beside the running program: "<folder of the executable>/lumagrove.so",
// or lumagrove.dll on Windows; where there is none there, the one installed
// with the program (bin/../lib/lumagrove/lumagrove.so).
std::string DefaultPluginPath();
// The plug-in beside the shared module that holds `address` (a function of a
// host loaded as a module: a GStreamer element, an OBS source), or
// "lumagrove.so" when that module cannot be found. POSIX only.
std::string PluginBesideModule(const void* address);

class PluginLibrary {
public:
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const PluginInfo& info() const { return *descriptor_->info; }
    const std::string& path() const { return path_; }

    // The whole start-up; frames can follow. What `makeCurrent` throws
    // passes through; the image of slot 0 then stays with the plug-in, since
    // slot 4 may only follow slot 1.
    void Start(const std::function<void()>& makeCurrent);
    void Render(const RenderParams& params);  // slot 3

private:
    void Call(int slot, const char* what);

    // The platform's half (dlopen on POSIX, LoadLibrary on Windows).
    // LoadModule throws HostError (bad input) with the system's reason; FindEntry
    // returns null when the library has no QueryInterface.
    static void* LoadModule(const std::string& path);
    static QueryInterfaceFn FindEntry(void* handle);
    static void UnloadModule(void* handle);

    std::string path_;
    void* handle_ = nullptr;
    PluginDescriptor* descriptor_ = nullptr;
};

#endif
