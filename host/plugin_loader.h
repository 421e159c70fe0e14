// plugin_loader.h - opens a visualiser plug-in and drives its slots in the
// order the plug-in contract requires:
//
//   PluginLibrary lib(path);     load, find QueryInterface, check the descriptor
//   lib.BuildImage();            slot 0 (no GL needed)
//   ... make a GL context current ...
//   lib.CreateTexture();         slot 1
//   lib.Render(params);          slot 3, once per frame
//   lib.FreeImage();             slot 4, any time after slot 1
//
// The library is unloaded when the object is destroyed. Every failure throws a
// HostError naming the file and what is wrong.
#ifndef LUMAGROVE_PLUGIN_LOADER_H
#define LUMAGROVE_PLUGIN_LOADER_H

#include <string>

#include "plugin/plugin_interface.h"

// The plug-in beside the running program: "<folder of the executable>/lumagrove.so",
// or lumagrove.dll on Windows.
std::string DefaultPluginPath();

class PluginLibrary {
public:
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const PluginInfo& info() const { return *descriptor_->info; }
    const std::string& path() const { return path_; }

    void BuildImage();                        // slot 0
    void CreateTexture();                     // slot 1
    void Render(const RenderParams& params);  // slot 3
    void FreeImage();                         // slot 4

private:
    void Call(int slot, const char* what);

    // The platform's half (dlopen on POSIX, LoadLibrary on Windows).
    // LoadModule throws HostError (status 2) with the system's reason; FindEntry
    // returns null when the library has no QueryInterface.
    static void* LoadModule(const std::string& path);
    static QueryInterfaceFn FindEntry(void* handle);
    static void UnloadModule(void* handle);

    std::string path_;
    void* handle_ = nullptr;
    PluginDescriptor* descriptor_ = nullptr;
};

#endif
