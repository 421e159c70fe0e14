// PluginLibrary's half for a host with the plug-in linked in (a web page's
// WebAssembly): the "library" is the plug-in linked into the program, its
// entry point the QueryInterface linked with it; the path only names it.
#include "host/loader/plugin_loader.h"

extern "C" PluginDescriptor* QueryInterface(void);

namespace {
int linkedIn;  // the handle: any address but null
}

void* PluginLibrary::LoadModule(const std::string&) { return &linkedIn; }

QueryInterfaceFn PluginLibrary::FindEntry(void*) { return &QueryInterface; }

void PluginLibrary::UnloadModule(void*) {}

std::string DefaultPluginPath() { return "lumagrove (linked in)"; }
