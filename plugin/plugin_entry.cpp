// The library's whole boundary: QueryInterface and the table it returns.
#include "plugin/plugin_interface.h"
#include "plugin/render/frame_renderer.h"
#include "plugin/sprite/glow_sprite.h"

namespace {

PluginInfo pluginInfo;
PluginDescriptor pluginDescriptor;

// Fills the slots for which the plug-in has no work.
bool ReturnTrue() { return true; }

}  // namespace

// Rewrites every field on each call, so a field the host overwrote is restored.
extern "C" LUMAGROVE_EXPORT PluginDescriptor* QueryInterface(void) {
    pluginInfo.author = "Ferk / Druvin";
    pluginInfo.name = "Quillfen::Lumagrove";
    pluginInfo.version = "0.1";
    pluginInfo.date = "0000-00-00";
    pluginInfo.email = "ferk.druvin@lumagrove.org";
    pluginInfo.url = "https://lumagrove.org/";

    pluginDescriptor.info = &pluginInfo;
    pluginDescriptor.callbacks[0].call = BuildGlowImage;
    pluginDescriptor.callbacks[1].call = CreateGlowTexture;
    pluginDescriptor.callbacks[2].call = ReturnTrue;
    pluginDescriptor.callbacks[3].render = RenderFrame;
    pluginDescriptor.callbacks[4].call = FreeGlowImage;
    pluginDescriptor.callbacks[5].call = ReturnTrue;
    pluginDescriptor.callbacks[6].call = ReturnTrue;
    pluginDescriptor.callbacks[7].call = ReturnTrue;
    return &pluginDescriptor;
}
