// gl_lines.h - included before each of the plug-in's sources in the web build
// only: routes the plug-in's line drawing to the page's own smooth, wide lines
// (hosts/web/line_web.cpp). Emscripten's emulation of OpenGL 1.1 draws every line
// one pixel wide and unsmoothed (it drops GL_LINE_SMOOTH and the width), so
// the star's outline would lose its glow. What else the plug-in draws goes to
// the emulation as it is.
#ifndef LUMAGROVE_WEB_GL_LINES_H
#define LUMAGROVE_WEB_GL_LINES_H

#include <GL/gl.h>

#ifdef __cplusplus
extern "C" {
#endif
void LumagroveWebBegin(GLenum mode);
void LumagroveWebEnd(void);
void LumagroveWebVertex3f(GLfloat x, GLfloat y, GLfloat z);
void LumagroveWebColor3f(GLfloat r, GLfloat g, GLfloat b);
void LumagroveWebLineWidth(GLfloat width);
void LumagroveWebEnable(GLenum cap);
void LumagroveWebDisable(GLenum cap);
#ifdef __cplusplus
}
#endif

#define glBegin LumagroveWebBegin
#define glEnd LumagroveWebEnd
#define glVertex3f LumagroveWebVertex3f
#define glColor3f LumagroveWebColor3f
#define glLineWidth LumagroveWebLineWidth
#define glEnable LumagroveWebEnable
#define glDisable LumagroveWebDisable

#endif
