#include "model/light_control.h"

#include <cmath>

#include "relight/env_projection.h"

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

namespace {

Vec3 Unit(Vec4 v, const Mat4& m) {
    MatTransform(v, m);
    Vec3 out(v.x, v.y, v.z);
    if (VecLength(out) > 0.0f) VecNormalize(out);
    return out;
}

constexpr double kDegrees = 180.0 / 3.14159265358979323846;

}  // namespace

float FrameEnvSpin(const Mat4& frame, const Vec3& direction) {
    const Vec3 azimuth = Unit(Vec4(1.0f, 0.0f, 0.0f, 0.0f), frame);
    const EnvFrame unspun = MakeEnvFrame(direction, 0.0f);
    const double spin =
        std::atan2(double{VecDot(azimuth, unspun.y)}, double{VecDot(azimuth, unspun.x)}) *
        kDegrees;
    return static_cast<float>(spin);
}

void AimArcBallEnv(const Mat4& view_modelview, const Vec3& direction, float spin_degrees,
                   ArcBall& arcball) {
    AimArcBall(view_modelview, direction, arcball);
    if (VecLength(direction) == 0.0f) return;
    // The arcball now takes e_z to the zenith; turn about the zenith until it
    // takes e_x to the map's azimuth 0 too.
    const EnvFrame target = MakeEnvFrame(direction, spin_degrees);
    Mat4 inverse;
    MatInverse(view_modelview, inverse);
    const Vec3 zenith = Unit(Vec4(target.z.x, target.z.y, target.z.z, 0.0f), inverse);
    const Vec3 azimuth = Unit(Vec4(target.x.x, target.x.y, target.x.z, 0.0f), inverse);
    const Quat q1 = arcball.rotation_now;
    const Mat4 turned = QuatToMatrix(QuatConj(q1));  // rows: the axes turned by q1
    const Vec3 x1(turned[0], turned[1], turned[2]);
    Vec3 c;
    VecCross(x1, azimuth, c);
    const double angle =
        std::atan2(double{VecDot(c, zenith)}, double{VecDot(x1, azimuth)});
    const float h = static_cast<float>(std::sin(angle / 2.0));
    const Quat q2{zenith.x * h, zenith.y * h, zenith.z * h,
                  static_cast<float>(std::cos(angle / 2.0))};
    const Quat q = QuatMul(q2, q1);
    arcball.rotation_now = q;
    arcball.rotation_down = q;
    arcball.matrix_now = QuatToMatrix(QuatConj(q));
    arcball.matrix_down = arcball.matrix_now;
}

}  // namespace lumo
