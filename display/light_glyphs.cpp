#include "display/light_glyphs.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "display/scoped_quadric.h"

namespace lumo {
namespace {

// Glyphs are drawn at distance 3.0 in a frame scaled by 1/3.0: at distance 1
// from the centre of the rotated frame.
constexpr float kGlyphDistance = 3.0f;
constexpr float kGlyphScale = 1.0f / kGlyphDistance;

// How many fixed-function lights this context offers (at least 8).
int GlLightCount() {
    GLint n = 8;
    glGetIntegerv(GL_MAX_LIGHTS, &n);
    return std::max(n, 8);
}

void SetGlLight(int index, const LightSrc& light) {
    const GLenum id = static_cast<GLenum>(GL_LIGHT0 + index);
    const float w = light.kind == Directional ? 0.0f : 1.0f;
    const float position[4] = {0.0f, 0.0f, 1.0f, w};
    glLightfv(id, GL_POSITION, position);
    glLightfv(id, GL_DIFFUSE, light.color);
}

// An environment light's frame around the probe: the horizon circle, the
// line to the zenith (where its glyph stands) in its tint, and the map's
// azimuth 0 as a red spoke ending in a small red ball. Drawn in the glyph's
// scaled frame, before it moves out to the glyph.
void DrawEnvFrame(const LightSrc& light) {
    constexpr int kSegments = 48;
    glBegin(GL_LINE_LOOP);
    glColor3f(0.6f, 0.6f, 0.6f);
    for (int k = 0; k < kSegments; ++k) {
        const float a = 6.2831853f * static_cast<float>(k) / kSegments;
        glVertex3f(kGlyphDistance * std::cos(a), kGlyphDistance * std::sin(a), 0.0f);
    }
    glEnd();
    glBegin(GL_LINES);
    glColor3f(light.color[0], light.color[1], light.color[2]);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, kGlyphDistance);
    glColor3f(1.0f, 0.25f, 0.2f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(kGlyphDistance, 0.0f, 0.0f);
    glEnd();
    glPushMatrix();
    glTranslatef(kGlyphDistance, 0.0f, 0.0f);
    DrawSphere(0.12, 8, 8);
    glPopMatrix();
}

void DrawGlyph(const LightSrc& light) {
    glScalef(kGlyphScale, kGlyphScale, kGlyphScale);
    if (light.kind == Environment) DrawEnvFrame(light);
    glTranslatef(0.0f, 0.0f, kGlyphDistance);
    glColor3f(light.color[0], light.color[1], light.color[2]);
    DrawSphere(0.2, 10, 10);
}

}  // namespace

void InitTeapot() {
    int argc = 1;
    char name[] = "lumo";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
}

void DrawSphere(double radius, int slices, int stacks) {
    const ScopedQuadric sphere(GLU_FILL);
    gluQuadricNormals(sphere.get(), GLU_SMOOTH);
    gluSphere(sphere.get(), radius, slices, stacks);
}

void DrawLightScene(Model& model) {
    // Without a light in use only the probe is drawn, unturned.
    const LightControl* control = CurrentControl(model.lights);
    Mat4 m;
    if (control != nullptr) {
        control->arcball.GetMatrix(m);
    } else {
        MatIdentity(m);
    }
    glPushMatrix();
    glMultMatrixf(m.data());
    glScalef(0.75f, 0.75f, 0.75f);
    DrawLightGlyphs(model.lights);
    glPopMatrix();
}

void DrawLightGlyphs(const LightTable& table) {
    const int32_t lights = LightsInUse(table);
    const int32_t cur = CurrentLightIndex(table);
    const bool has_current = cur >= 0;
    // Lights beyond what the GL offers still get their glyphs; the teapot is
    // lit by the first ones.
    const int gl_lights = std::min(lights, GlLightCount());

    static const float kSpecular[4] = {1, 1, 1, 1};
    static const float kAmbient[4] = {0, 0, 0, 1};
    for (int i = 0; i < gl_lights; ++i) {
        glLightfv(static_cast<GLenum>(GL_LIGHT0 + i), GL_SPECULAR, kSpecular);
        glLightfv(static_cast<GLenum>(GL_LIGHT0 + i), GL_AMBIENT, kAmbient);
    }

    glPushMatrix();
    if (has_current) {
        const LightSrc& current = table.table[static_cast<size_t>(cur)];
        if (cur < gl_lights) SetGlLight(cur, current);
        glPushMatrix();
        DrawGlyph(current);
        glPopMatrix();
    }
    glPushMatrix();
    for (int32_t i = 0; i < lights; ++i) {
        if (i == table.currlight) continue;
        const LightSrc& light = table.table[static_cast<size_t>(i)];
        glLoadMatrixf(table.controls[static_cast<size_t>(i)].placement.data());
        if (i < gl_lights) SetGlLight(i, light);
        DrawGlyph(light);
    }
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -kGlyphDistance);
    static const float kMatSpecular[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    static const float kMatAmbient[4] = {0.3f, 0.3f, 0.3f, 1.0f};
    static const float kMatDiffuse[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, kMatSpecular);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, kMatAmbient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, kMatDiffuse);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 10.0f);
    glEnable(GL_LIGHTING);
    for (int i = 0; i < gl_lights; ++i)
        glEnable(static_cast<GLenum>(GL_LIGHT0 + i));
    glutSolidTeapot(kGlyphScale * 0.75);
    glPopMatrix();
    glPopMatrix();
}

}  // namespace lumo
