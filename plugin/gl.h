// gl.h - the OpenGL 1.1 and GLU declarations the plug-in draws with.
#ifndef LUMAGROVE_GL_H
#define LUMAGROVE_GL_H

#if defined(_WIN32)
#  include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glu.h>

#ifndef GL_BGRA_EXT
#  define GL_BGRA_EXT 0x80E1
#endif
#ifndef GL_RGBA8
#  define GL_RGBA8 0x8058
#endif

#endif
