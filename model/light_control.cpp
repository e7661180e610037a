#include "model/light_control.h"

namespace lumo {

Mat4 LightFrame(const Mat4& view_modelview, const ArcBall& arcball) {
    Mat4 frame;
    MatMultiplyFloat(view_modelview, arcball.matrix_now, frame);
    MatScaleColumns(frame, 0.75f, 0.75f, 0.75f);
    return frame;
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
