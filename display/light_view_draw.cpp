#include "display/light_view_draw.h"

#include <GL/gl.h>

#include "display/arcball_overlay.h"
#include "display/light_glyphs.h"

namespace lumo {

void SetUpLightView(Model& model) {
    glPushAttrib(GL_TRANSFORM_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, 0.001, 100000.0);
    glGetFloatv(GL_PROJECTION_MATRIX, model.lightview.projection.data());
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0.0f, 0.0f, -3.0f);
    glGetFloatv(GL_MODELVIEW_MATRIX, model.lightview.modelview.data());
    for (LightControl& control : model.lights.controls)
        control.placement = model.lightview.modelview;
    glPopAttrib();
    model.lightview.width = model.lightview.height = 300;
    ArcBall prepared;
    prepared.Reset();
    prepared.SetSphere(Vec4(0, 0, 0, 1), 0.75);
    for (LightControl& control : model.lights.controls)
        control.arcball = prepared;
    model.lightview.created = 1;
}

void DrawLightView(Model& model) {
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_VIEWPORT_BIT | GL_TRANSFORM_BIT |
                 GL_ENABLE_BIT);
    glViewport(0, 0, model.lightview.width, model.lightview.height);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(model.lightview.projection.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(model.lightview.modelview.data());
    glEnable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawLightScene(model);
    if (const LightControl* control = CurrentControl(model.lights)) {
        BeginBallOverlay();
        control->arcball.Draw();
        EndBallOverlay();
    }
    glPopAttrib();
}

}  // namespace lumo
