// vlc_cost.h - the VLC visualisation's cost per frame inside VLC: cvlc (as
// `nobody`: VLC refuses root) plays `song` with the module of `vlcDir`
// (its VLC_PLUGIN_PATH), its pictures to the yuv output (into /dev/null)
// and its sound to a file in `folder`; the module logs the time each frame
// took to draw (the analysis, the plug-in's frame and the read-back into
// VLC's picture), averaged here.
#ifndef LUMAGROVE_BENCH_VLC_COST_H
#define LUMAGROVE_BENCH_VLC_COST_H

#include <string>

// The built-in demo as a WAV in `folder`, both opened to `nobody`, as
// cvlc runs; its path.
std::string WriteDemoForVlc(const std::string& folder);

// Mean milliseconds a frame took inside VLC, and how many were drawn.
// Throws HostError when cvlc fails or the module draws nothing.
double VlcFrameCost(const std::string& folder, const std::string& song, int width, int height,
                    const std::string& vlcDir, int* frames);

#endif
