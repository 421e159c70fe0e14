#include "plugin/render/frame_renderer.h"

#include <math.h>

#include "plugin/render/billboard.h"
#include "plugin/gl.h"
#include "plugin/sprite/glow_sprite.h"

namespace {

// Camera motion, per unit of host time.
const double kRadiusRate = 0.13;
const float kRadiusAmplitude = 0.18f;
const float kRadiusBase = 0.8f;
const double kRollRates[3] = {0.01, 0.02, 0.012};
const double kOrbitRate = 0.05;
const double kHeightRate = 0.15;
const float kHeightAmplitude = 0.05f;

// Projection.
const double kFieldOfViewDegrees = 90.0;
const float kNearPlane = 0.01f;
const double kFarPlane = 120.0;

// Flare edge length per unit of summed level.
const float kBlueGreenSizeFactor = 0.8f;
const float kRedSizeFactor = 0.5f;

// An up direction closer than this (as the sine of the angle) to the line of
// sight leaves the look-at without a usable roll.
const double kMinUpSine = 1e-6;

const float FlareCorners[4][2] = {{-0.229f, -0.188f}, {0.229f, 0.188f}, {-0.229f, 0.188f}, {0.229f, -0.188f}};

const float StarOutline[13][2] = {
    {-0.229f, -0.188f}, {-0.086f, 0.0f}, {-0.229f, 0.188f}, {-0.074f, 0.188f}, {0.0f, 0.086f},
    {0.074f, 0.188f},   {0.229f, 0.188f}, {0.086f, 0.0f},   {0.229f, -0.188f}, {0.074f, -0.188f},
    {0.0f, -0.086f},    {-0.074f, -0.188f}, {-0.229f, -0.188f}};

struct OutlinePass {
    float grey;
    float width;
};
const OutlinePass kOutlinePasses[3] = {{1.0f, 1.0f}, {0.7f, 2.0f}, {0.3f, 5.0f}};

Mat4 lookAtMatrix;

// True when `up` is finite and far enough from the line of sight through `eye`.
bool UpIsUsable(const double* eye, const float* up) {
    if (!isfinite(up[0]) || !isfinite(up[1]) || !isfinite(up[2])) return false;
    const double cx = eye[1] * up[2] - eye[2] * up[1];
    const double cy = eye[2] * up[0] - eye[0] * up[2];
    const double cz = eye[0] * up[1] - eye[1] * up[0];
    const double eyeSq = eye[0] * eye[0] + eye[1] * eye[1] + eye[2] * eye[2];
    const double upSq = static_cast<double>(up[0]) * up[0] + static_cast<double>(up[1]) * up[1] +
                        static_cast<double>(up[2]) * up[2];
    return cx * cx + cy * cy + cz * cz > kMinUpSine * kMinUpSine * eyeSq * upSq;
}

// Edge length of one colour's flares: the two channels' levels summed and scaled.
float FlareSize(const float* levels, int k, float factor) {
    return static_cast<float>((static_cast<double>(levels[8 + k]) + levels[k]) * factor);
}

void DrawFlares(float size) {
    for (const auto& corner : FlareCorners) DrawBillboard(corner[0], corner[1], 0.0f, size);
}

}  // namespace

Camera FrameCamera(double time) {
    const double t = static_cast<float>(time);
    Camera camera;
    const float r = static_cast<float>(sin(kRadiusRate * t) * kRadiusAmplitude + kRadiusBase);
    const double a = kOrbitRate * t;
    camera.eye[0] = r * sin(a);
    camera.eye[1] = kHeightAmplitude * sin(kHeightRate * t);
    camera.eye[2] = r * cos(a);
    for (int k = 0; k < 3; ++k) camera.up[k] = static_cast<float>(sin(kRollRates[k] * t));
    Normalize3(camera.up);
    // At t = 0 the up direction is zero, and it may line up with the line of
    // sight: fall back to the world's y axis so every frame has a finite camera.
    if (!UpIsUsable(camera.eye, camera.up)) {
        camera.up[0] = 0.0f;
        camera.up[1] = 1.0f;
        camera.up[2] = 0.0f;
    }
    return camera;
}

bool RenderFrame(const RenderParams* params) {
    if (!params) return false;
    static const float kSilence[16] = {};
    const float* levels = params->audio ? params->audio->levels : kSilence;

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);

    // Projection = perspective x look-at; the look-at is kept for the sprites.
    const Camera camera = FrameCamera(params->time);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluLookAt(camera.eye[0], camera.eye[1], camera.eye[2], 0.0, 0.0, 0.0, camera.up[0], camera.up[1],
              camera.up[2]);
    glGetFloatv(GL_PROJECTION_MATRIX, lookAtMatrix);
    glViewport(0, 0, params->width, params->height);
    glLoadIdentity();
    gluPerspective(kFieldOfViewDegrees, 1.0, kNearPlane, kFarPlane);
    glMultMatrixf(lookAtMatrix);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    // Additive, textured glows: each colour adds its light weighted by the glow's alpha.
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBindTexture(GL_TEXTURE_2D, glowTexture);
    glLoadIdentity();
    ComputeBillboardAxes();

    const float blueSize = FlareSize(levels, 0, kBlueGreenSizeFactor);
    const float greenSize = FlareSize(levels, 3, kBlueGreenSizeFactor);
    const float redSize = FlareSize(levels, 7, kRedSizeFactor);
    glColor3f(0.0f, 0.0f, 1.0f);
    DrawFlares(blueSize);
    glColor3f(0.0f, 1.0f, 0.0f);
    DrawFlares(greenSize);
    glColor3f(1.0f, 0.0f, 0.0f);
    DrawFlares(redSize);

    // The outline: untextured smooth lines, a thin bright core inside wider, dimmer strokes.
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_LINE_SMOOTH);
    glDisable(GL_LINE_STIPPLE);
    for (const auto& pass : kOutlinePasses) {
        glColor3f(pass.grey, pass.grey, pass.grey);
        glLineWidth(pass.width);
        glBegin(GL_LINE_STRIP);
        for (const auto& v : StarOutline) glVertex3f(v[0], v[1], 0.0f);
        glEnd();
    }

    glDisable(GL_BLEND);
    return true;
}
