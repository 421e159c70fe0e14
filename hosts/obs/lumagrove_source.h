// lumagrove_source.h - "Lumagrove", an OBS Studio video source that hosts the
// Lumagrove plug-in, driven by any audio source of the scene.
//
// Its settings: "audio_source", the name of the OBS source whose sound it
// shows (followed through renames; while it is gone the picture is the
// outline alone); "width" and "height" (1280x720, 16..8192); "plugin", the
// plug-in library (empty, by default: the one installed with liblumagrove).
//
// Each frame is drawn in OBS's video tick, at most once per OBS frame and
// only while the source is shown, by a visualiser of liblumagrove (lumagrove.h)
// of its own on the library's one shared offscreen context of the process
// (shared with every Lumagrove source, which each keep their own analysis),
// fed live sound by the audio tap: OBS's renderer is an
// OpenGL core profile, where the plug-in's immediate mode does not run. When
// OBS renders with EGL, that context is made on OBS's display sharing its
// textures, and the plug-in draws straight into the source's texture; else
// the picture is read back and uploaded to it. OBS then draws the texture.
// Its time for the plug-in is OBS's video time since the source was made; its
// levels are the live analysis of the window that ends at the newest sound
// (as lumagrove-preview --capture --window draws them), at OBS's rate and
// speaker layout.
//
// What goes wrong (a plug-in library that cannot be loaded, no GL context, the
// audio source gone) is logged once and shown in the source's properties;
// the source then draws nothing (or the outline alone, without sound) and
// OBS runs on. The last Lumagrove source destroyed unloads the plug-in.
#ifndef LUMAGROVE_OBS_SOURCE_H
#define LUMAGROVE_OBS_SOURCE_H

#include <obs-module.h>

// The source's registration record (id "lumagrove_source").
extern struct obs_source_info lumagroveSourceInfo;

#endif
