#include "display/view_camera.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "model/view_inspection.h"
#include "slab/slab_geometry.h"

namespace lumo {

void SetViewRotation(const MainView& view) {
    if (view.view_rotation_set != 0) {
        const Quat& q = view.view_rotation;
        const float s = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
        if (s > 0.0f) {
            const float degrees = 2.0f * std::atan2(s, q.w) * 57.29577951308232f;
            glRotatef(degrees, q.x / s, q.y / s, q.z / s);
        }
        return;
    }
    glRotatef(view.view_turn_y * 90.0f, 0.0f, 1.0f, 0.0f);
    glRotatef(view.view_turn_x * 90.0f, 1.0f, 0.0f, 0.0f);
}

void SetQRCamera(const SlabRecord& slab, const Mat4& M, const Mat4& screen) {
    GLint mode = GL_MODELVIEW;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();

    Vec4 p[4];
    Vec4 n;
    ProjectSTCornersOntoQR(slab, M, p, n);
    Vec3 m01, m23, centre;
    VecLerp(p[0], p[1], 0.5f, m01);
    VecLerp(p[2], p[3], 0.5f, m23);
    VecLerp(m01, m23, 0.5f, centre);
    Vec3 normal = n;
    VecNormalize(normal);
    Vec3 eye;
    VecAdd(centre, normal, eye);
    Vec3 side, up_side;
    VecSub(p[0], p[1], side);
    VecSub(p[0], p[3], up_side);
    const float width = VecLength(side);
    const float height = VecLength(up_side);
    const float aspect = width / height;
    const float fovy = 2.0f * std::atan(0.5f * height / 1.0f) * 57.29578f;

    glLoadMatrixf(screen.data());
    gluPerspective(fovy, aspect, 0.5, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, centre.x, centre.y, centre.z, 0.0, 1.0, 0.0);
    glMatrixMode(static_cast<GLenum>(mode));
}

void RestoreQRCamera() {
    GLint mode = GL_MODELVIEW;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(static_cast<GLenum>(mode));
}

Status DrawLightPass(Model& model, SlabTextures& textures, int32_t light, int32_t slab,
                     uint8_t keep_textures, const SlabDrawOptions& options) {
    if (!model.scene.info || light < 0 || light >= MAX_LIGHTS || slab < 0 ||
        slab >= model.scene.info->slab_count) {
        return Status::Ok();
    }
    const LightSrc& L = model.lights.table[static_cast<size_t>(light)];
    SlabRecord& record = model.scene.info->slabs[static_cast<size_t>(slab)];
    Mat4 eye;
    MatInverse(model.lights.controls[static_cast<size_t>(light)].arcball.matrix_now, eye);
    Mat4 shift;
    MatIdentity(shift);
    shift[14] = L.radius;
    MatMultiply(eye, shift, eye);
    MatMultiply(model.view.base_modelview, eye, eye);
    SetQRCamera(record, eye, InspectionMatrix(model.view));
    const float colour[4] = {L.color[0], L.color[1], L.color[2], 1.0f};
    const Status drawn =
        DrawSlabCenter(textures, record, eye, keep_textures, 1, colour, options);
    RestoreQRCamera();
    return drawn;
}

}  // namespace lumo
