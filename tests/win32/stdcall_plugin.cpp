// A plug-in built wrong on purpose, for the tests to catch: its render slot
// uses the stdcall convention (the callee pops its argument) where hosts call
// with the platform's default, cdecl. Everything else is as the real one.
#include "plugin/plugin_interface.h"

#include <string.h>

namespace {

bool Nothing() { return true; }
bool __stdcall RenderPoppingItsArgument(const RenderParams*) { return false; }

PluginInfo pluginInfo = {"test",       "stdcall render slot", "0.1",
                         "0000-00-00", "test@example.org",    "https://example.org/"};
PluginDescriptor pluginDescriptor;

}  // namespace

extern "C" LUMAGROVE_EXPORT PluginDescriptor* QueryInterface(void) {
    pluginDescriptor.info = &pluginInfo;
    for (PluginSlot& slot : pluginDescriptor.callbacks) slot.call = Nothing;
    bool(__stdcall * render)(const RenderParams*) = RenderPoppingItsArgument;
    memcpy(&pluginDescriptor.callbacks[kSlotRender], &render, sizeof render);
    return &pluginDescriptor;
}
