// libgstlumagrove: the GStreamer plug-in that registers the lumagrove element.
#include <gst/gst.h>

#include "hosts/gst/gst_lumagrove.h"

static gboolean PluginInit(GstPlugin* plugin) {
    return gst_element_register(plugin, "lumagrove", GST_RANK_NONE, GST_TYPE_LUMAGROVE);
}

#define PACKAGE "lumagrove"
// The project's licence (LICENSE at its root), package and origin, as the
// plug-in names itself in its PluginInfo.
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, lumagrove, "The Lumagrove music visualiser", PluginInit, "0.1",
                  "MIT/X11", "Lumagrove", "https://lumagrove.org/")
