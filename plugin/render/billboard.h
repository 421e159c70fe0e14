// billboard.h - flat textured squares that always face the viewer.
//
// Once per frame, with the frame's camera in the projection and model-view
// matrices, ComputeBillboardAxes() derives two world-space offsets for a sprite
// of edge 1: cornerA to the corner up and to the left on screen, cornerB to the
// corner up and to the right (x, y, z used; w computed and ignored).
// DrawBillboard() then emits one square of any size at any point from them.
#ifndef LUMAGROVE_BILLBOARD_H
#define LUMAGROVE_BILLBOARD_H

#include "plugin/render/vecmath.h"

struct BillboardAxes {
    Vec4 cornerA;  // centre to the upper-left corner, for size 1
    Vec4 cornerB;  // centre to the upper-right corner, for size 1
};

// Written only by ComputeBillboardAxes; read by DrawBillboard.
extern BillboardAxes billboardAxes;

// Reads the current projection and model-view matrices (uses one free entry of
// the projection stack). Leaves GL_TEXTURE_2D enabled, the projection exactly
// as found and GL_MODELVIEW current.
void ComputeBillboardAxes();

// One GL_QUADS square of edge `size` centred on (x, y, z), facing the viewer.
// The caller sets the colour and binds the texture. The texture is mirrored
// left to right (s = 1 on the screen-left side).
void DrawBillboard(float x, float y, float z, float size);

#endif
