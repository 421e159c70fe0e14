// line_web.cpp - smooth, wide line strips for the plug-in's outline on a
// page (see hosts/web/gl_lines.h): each segment drawn as triangles in window space,
// a full-strength core of the line's width less a pixel, and a pixel's fringe
// on either side and at either end fading to nothing, as Mesa's rasteriser
// smooths a line. Everything else passes through to the emulation.
#include <GL/gl.h>
#include <math.h>

#include <vector>

namespace {

struct LineState {
    bool smooth = false;
    float width = 1.0f;
    float colour[3] = {1.0f, 1.0f, 1.0f};
    GLenum mode = 0;
    bool collecting = false;
    std::vector<float> points;  // x, y, z of the strip's vertices
} state;

// A point in window pixels from object coordinates.
struct Pixel {
    double x, y;
};

Pixel ToWindow(const float model[16], const float projection[16], const GLint viewport[4], const float* v) {
    double eye[4], clip[4];
    for (int r = 0; r < 4; ++r) eye[r] = model[r] * v[0] + model[4 + r] * v[1] + model[8 + r] * v[2] + model[12 + r];
    for (int r = 0; r < 4; ++r)
        clip[r] = projection[r] * eye[0] + projection[4 + r] * eye[1] + projection[8 + r] * eye[2] +
                  projection[12 + r] * eye[3];
    const double w = clip[3] != 0 ? clip[3] : 1e-9;
    return Pixel{viewport[0] + (clip[0] / w + 1) * 0.5 * viewport[2],
                 viewport[1] + (clip[1] / w + 1) * 0.5 * viewport[3]};
}

void Corner(const GLint viewport[4], double x, double y, float alpha) {
    glColor4f(state.colour[0], state.colour[1], state.colour[2], alpha);
    glVertex2f(static_cast<float>((x - viewport[0]) / viewport[2] * 2 - 1),
               static_cast<float>((y - viewport[1]) / viewport[3] * 2 - 1));
}

// A quad from a to b across (-across..across along n), alpha from
// `inner` at the first edge to `outer` at the second.
void Band(const GLint viewport[4], Pixel a, Pixel b, double nx, double ny, double from, double to, float alphaFrom,
          float alphaTo) {
    Corner(viewport, a.x + nx * from, a.y + ny * from, alphaFrom);
    Corner(viewport, b.x + nx * from, b.y + ny * from, alphaFrom);
    Corner(viewport, b.x + nx * to, b.y + ny * to, alphaTo);
    Corner(viewport, a.x + nx * from, a.y + ny * from, alphaFrom);
    Corner(viewport, b.x + nx * to, b.y + ny * to, alphaTo);
    Corner(viewport, a.x + nx * to, a.y + ny * to, alphaTo);
}

void DrawStrip() {
    float model[16], projection[16];
    GLint viewport[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, model);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (viewport[2] <= 0 || viewport[3] <= 0) return;
    std::vector<Pixel> at;
    for (size_t i = 0; i + 2 < state.points.size(); i += 3)
        at.push_back(ToWindow(model, projection, viewport, &state.points[i]));

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glBegin(GL_TRIANGLES);
    const double half = state.width / 2;
    const double core = half > 0.5 ? half - 0.5 : 0.0;  // full strength out to here
    const double edge = half + 0.5;                     // nothing beyond here
    const float coreAlpha = half >= 0.5 ? 1.0f : static_cast<float>(2 * half);
    const bool strip = state.mode == GL_LINE_STRIP || state.mode == GL_LINE_LOOP;
    const size_t step = strip ? 1 : 2;
    for (size_t i = 0; i + 1 < at.size(); i += step) {
        Pixel a = at[i], b = at[i + 1];
        double dx = b.x - a.x, dy = b.y - a.y;
        const double length = sqrt(dx * dx + dy * dy);
        if (length == 0) continue;
        dx /= length, dy /= length;
        // Half a pixel past either end, fading there too.
        a = Pixel{a.x - dx * 0.5, a.y - dy * 0.5};
        b = Pixel{b.x + dx * 0.5, b.y + dy * 0.5};
        const double nx = -dy, ny = dx;
        if (core > 0) Band(viewport, a, b, nx, ny, -core, core, coreAlpha, coreAlpha);
        Band(viewport, a, b, nx, ny, core, edge, coreAlpha, 0.0f);
        Band(viewport, a, b, nx, ny, -core, -edge, coreAlpha, 0.0f);
    }
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glColor3f(state.colour[0], state.colour[1], state.colour[2]);
}

}  // namespace

extern "C" {

void LumagroveWebBegin(GLenum mode) {
    state.mode = mode;
    state.collecting = mode == GL_LINES || mode == GL_LINE_STRIP || mode == GL_LINE_LOOP;
    state.points.clear();
    if (!state.collecting) glBegin(mode);
}

void LumagroveWebEnd(void) {
    if (!state.collecting) {
        glEnd();
        return;
    }
    if (state.mode == GL_LINE_LOOP && state.points.size() >= 3)
        state.points.insert(state.points.end(), state.points.begin(), state.points.begin() + 3);
    DrawStrip();
    state.collecting = false;
}

void LumagroveWebVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    if (!state.collecting) {
        glVertex3f(x, y, z);
        return;
    }
    state.points.insert(state.points.end(), {x, y, z});
}

void LumagroveWebColor3f(GLfloat r, GLfloat g, GLfloat b) {
    state.colour[0] = r, state.colour[1] = g, state.colour[2] = b;
    glColor3f(r, g, b);
}

void LumagroveWebLineWidth(GLfloat width) { state.width = width; }

// Line smoothing and stippling are the page's to do: not passed on (the
// emulation would refuse them).
void LumagroveWebEnable(GLenum cap) {
    if (cap == GL_LINE_SMOOTH) state.smooth = true;
    else if (cap != GL_LINE_STIPPLE) glEnable(cap);
}

void LumagroveWebDisable(GLenum cap) {
    if (cap == GL_LINE_SMOOTH) state.smooth = false;
    else if (cap != GL_LINE_STIPPLE) glDisable(cap);
}

}  // extern "C"
