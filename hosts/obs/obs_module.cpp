// obs_module.cpp - lumagrove-obs.so, the OBS Studio module: registers the
// "Lumagrove" source (hosts/obs/lumagrove_source.h).
#include <obs-module.h>

#include "hosts/obs/lumagrove_source.h"

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("lumagrove", "en-US")

MODULE_EXPORT const char* obs_module_description(void) {
    return "Lumagrove: a four-pointed star with glows that follow the music of any audio source";
}

bool obs_module_load(void) {
    obs_register_source(&lumagroveSourceInfo);
    return true;
}
