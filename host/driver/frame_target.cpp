#include "host/driver/frame_target.h"

#include "host/gl/gl.h"

void StartPlugin(PluginLibrary& plugin, const std::function<FrameTarget*()>& make) {
    FrameTarget* target = nullptr;
    plugin.Start([&] {
        target = make();
        // The frame's background: the plug-in clears to the host's colour.
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    });
    target->DrawWith(plugin);
}
