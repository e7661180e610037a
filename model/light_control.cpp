#include "model/light_control.h"

namespace lumo {

Mat4 LightFrame(const Mat4& view_modelview, const ArcBall& arcball) {
    Mat4 frame;
    MatMultiplyFloat(view_modelview, arcball.matrix_now, frame);
    MatScaleColumns(frame, 0.75f, 0.75f, 0.75f);
    return frame;
}

void AimArcBall(const Mat4& view_modelview, const Vec3& direction, ArcBall& arcball) {
    // FrameDirection is -(V R e_z) normalised: R must take e_z to -V^-1 d.
    Mat4 inverse;
    MatInverse(view_modelview, inverse);
    Vec4 w(-direction.x, -direction.y, -direction.z, 0.0f);
    MatTransform(w, inverse);
    Vec3 axis(w.x, w.y, w.z);
    if (VecLength(axis) == 0.0f) return;
    VecNormalize(axis);
    const Vec4 ez(0.0f, 0.0f, 1.0f, 0.0f);
    const Vec4 to(axis.x, axis.y, axis.z, 0.0f);
    // Half a turn about x when the light must point straight back.
    const Quat q = axis.z < -0.9999f ? Quat{1.0f, 0.0f, 0.0f, 0.0f}
                                     : QuatFromArc(ez, Bisect(ez, to));
    arcball.rotation_now = q;
    arcball.rotation_down = q;
    arcball.rotation_drag = Quat{0.0f, 0.0f, 0.0f, 1.0f};
    arcball.matrix_now = QuatToMatrix(QuatConj(q));
    arcball.matrix_down = arcball.matrix_now;
}

Vec3 FrameDirection(const Mat4& frame) {
    Vec4 p0(0, 0, 0, 1), p1(0, 0, 1, 1);
    MatTransform(p0, frame);
    MatTransform(p1, frame);
    Vec3 d;
    VecSub(p0, p1, d);
    VecNormalize(d);
    return d;
}

}  // namespace lumo
