// PluginLibrary's platform half on POSIX systems: dlopen and dlsym.
#include <dlfcn.h>
#include <string.h>
#include <unistd.h>

#include "host/base/host_error.h"
#include "host/loader/plugin_loader.h"

void* PluginLibrary::LoadModule(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        throw HostError(Fault::kBadInput, "cannot load plug-in " + path + ": " + (why ? why : "unknown error"),
                        FailedPart::kPlugin);
    }
    return handle;
}

// The entry point's address, without a cast from data to function pointer.
QueryInterfaceFn PluginLibrary::FindEntry(void* handle) {
    void* symbol = dlsym(handle, "QueryInterface");
    QueryInterfaceFn entry = nullptr;
    static_assert(sizeof entry == sizeof symbol, "function and data pointers differ in size");
    memcpy(&entry, &symbol, sizeof entry);
    return entry;
}

void PluginLibrary::UnloadModule(void* handle) { dlclose(handle); }

std::string DefaultPluginPath() {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return "lumagrove.so";
    exe[n] = '\0';
    const std::string path(exe), folder = path.substr(0, path.rfind('/') + 1);
    // Beside the program (a build folder), else where an install puts it.
    const std::string installed = folder + LUMAGROVE_INSTALLED_PLUGIN;
    if (access((folder + "lumagrove.so").c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0) return installed;
    return folder + "lumagrove.so";
}

std::string PluginBesideModule(const void* address) {
    Dl_info info;
    if (!dladdr(address, &info) || !info.dli_fname) return "lumagrove.so";
    const std::string module = info.dli_fname;
    return module.substr(0, module.rfind('/') + 1) + "lumagrove.so";
}
