#include "display/light_view_draw.h"

#include <GL/gl.h>

#include "display/arcball_overlay.h"
#include "display/light_glyphs.h"

namespace lumo {
namespace {

ArcBall* CurrentArcBall(Model& model) {
    if (model.currlight < 0 || model.currlight >= MAX_LIGHTS) return nullptr;
    return &model.lights[static_cast<size_t>(model.currlight)].arcball;
}

}  // namespace

void SetUpLightView(Model& model) {
    glPushAttrib(GL_TRANSFORM_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, 0.001, 100000.0);
    glGetFloatv(GL_PROJECTION_MATRIX, model.lightview_projection.data());
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0.0f, 0.0f, -3.0f);
    glGetFloatv(GL_MODELVIEW_MATRIX, model.lightview_modelview.data());
    for (LightSrc& light : model.lights)
        light.placement = model.lightview_modelview;
    glPopAttrib();
    model.lightview_width = model.lightview_height = 300;
    ArcBall prepared;
    prepared.Reset();
    prepared.SetSphere(Vec4(0, 0, 0, 1), 0.75);
    for (LightSrc& light : model.lights)
        light.arcball = prepared;
}

void DrawLightView(Model& model) {
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_VIEWPORT_BIT | GL_TRANSFORM_BIT |
                 GL_ENABLE_BIT);
    glViewport(0, 0, model.lightview_width, model.lightview_height);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(model.lightview_projection.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(model.lightview_modelview.data());
    glEnable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (ArcBall* ball = CurrentArcBall(model)) {
        ball->Update();
        DrawLightScene(model, *ball);
        BeginBallOverlay();
        ball->Draw();
        EndBallOverlay();
    }
    glPopAttrib();
}

}  // namespace lumo
