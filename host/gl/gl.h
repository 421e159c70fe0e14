// gl.h - the OpenGL declarations the host library uses (contexts, reading
// frames back, the background colour): OpenGL 1.1 and the extensions' names.
#ifndef LUMAGROVE_HOST_GL_H
#define LUMAGROVE_HOST_GL_H

#if defined(_WIN32)
#  include <windows.h>
#endif
#include <GL/gl.h>

#ifndef GL_BGRA_EXT
#  define GL_BGRA_EXT 0x80E1
#endif
#ifndef GL_PACK_INVERT_MESA
#  define GL_PACK_INVERT_MESA 0x8758
#endif

#endif
