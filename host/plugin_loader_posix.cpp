#include <dlfcn.h>

#include "host/host_error.h"
#include "host/plugin_loader.h"

namespace {

// A name's entry-point address, without a cast from data to function pointer.
QueryInterfaceFn FindEntry(void* handle) {
    void* symbol = dlsym(handle, "QueryInterface");
    QueryInterfaceFn entry = nullptr;
    static_assert(sizeof entry == sizeof symbol, "function and data pointers differ in size");
    __builtin_memcpy(&entry, &symbol, sizeof entry);
    return entry;
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        throw HostError(kExitBadInput, "cannot load plug-in " + path + ": " + (why ? why : "unknown error"));
    }
    QueryInterfaceFn entry = FindEntry(handle_);
    if (!entry) {
        dlclose(handle_);
        throw HostError(kExitBadInput, "plug-in " + path + " does not export QueryInterface");
    }
    descriptor_ = entry();
    const char* fault = !descriptor_ ? "a null descriptor" : !descriptor_->info ? "a descriptor with null info" : nullptr;
    if (fault) {
        dlclose(handle_);
        throw HostError(kExitBadInput, "plug-in " + path + ": QueryInterface returned " + fault);
    }
}

PluginLibrary::~PluginLibrary() {
    if (handle_) dlclose(handle_);
}
