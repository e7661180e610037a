#include "arcball/arcball.h"

#include <cmath>

namespace lumo {
namespace {

constexpr Quat kIdentityQuat{0, 0, 0, 1};
constexpr Vec4 kFixedAxis(-0.48f, 0.80f, 0.36f, 1.0f);

float Dot3(const Vec4& a, const Vec4& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// v / |v| in x, y, z. A zero vector has no direction; (1, 0, 0) stands in for
// it, so degenerate axes still give a point on the sphere.
Vec4 Unit(const Vec4& v) {
    const float n = std::sqrt(Dot3(v, v));
    if (n == 0.0f) return Vec4(1, 0, 0, 0);
    return Vec4(v.x / n, v.y / n, v.z / n, 0.0f);
}

}  // namespace

void ArcBall::Reset() {
    centre = Vec4(0, 0, 0, 1);
    radius = 1.0;
    rotation_now = rotation_down = kIdentityQuat;
    mouse_now = mouse_down = Vec4(0, 0, 0, 1);
    MatIdentity(matrix_now);
    MatIdentity(matrix_down);
    show_result = 0;
    is_dragging = 0;
    axis_counts[FreeRotation] = 0;
    axis_counts[ViewAxes] = 3;
    axis_counts[ObjectAxes] = 3;
    axis_counts[FixedAxis] = 1;
    axis_set = FreeRotation;
}

void ArcBall::SetSphere(const Vec4& new_centre, double new_radius) {
    centre = new_centre;
    radius = new_radius;
}

void ArcBall::SetMouse(const Vec4& v) {
    mouse_now = v;
}

void ArcBall::SelectAxes(int32_t set) {
    if (is_dragging == 0 && set >= FreeRotation && set <= FixedAxis) axis_set = set;
}

void ArcBall::StartDrag() {
    is_dragging = 1;
    mouse_down = mouse_now;
}

void ArcBall::FinishDrag() {
    is_dragging = 0;
    rotation_down = rotation_now;
    matrix_down = matrix_now;
}

void ArcBall::GetMatrix(Mat4& out) const {
    out = matrix_now;
}

Vec4 ArcBall::PointOnSphere(const Vec4& m) const {
    const float x = static_cast<float>((double{m.x} - centre.x) / radius);
    const float y = static_cast<float>((double{m.y} - centre.y) / radius);
    const float q = x * x + y * y;
    if (q > 1.0f) {
        const float s = 1.0f / std::sqrt(q);
        return Vec4(x * s, y * s, 0.0f, 0.0f);
    }
    return Vec4(x, y, std::sqrt(1.0f - q), 0.0f);
}

int ArcBall::Axes(int32_t set, Vec4 axes[3]) const {
    switch (set) {
        case ViewAxes:
            axes[0] = Vec4(1, 0, 0, 0);
            axes[1] = Vec4(0, 1, 0, 0);
            axes[2] = Vec4(0, 0, 1, 0);
            return 3;
        case ObjectAxes:
            for (int r = 0; r < 3; ++r) {
                axes[r] = Vec4(matrix_down[4 * r], matrix_down[4 * r + 1],
                               matrix_down[4 * r + 2], matrix_down[4 * r + 3]);
            }
            return 3;
        case FixedAxis:
            axes[0] = kFixedAxis;
            return 1;
        default:
            return 0;
    }
}

void ArcBall::Update() {
    Vec4 axes[3];
    const int count = Axes(axis_set, axes);
    arc_from = PointOnSphere(mouse_down);
    arc_to = PointOnSphere(mouse_now);
    if (is_dragging != 0) {
        if (axis_set != FreeRotation && count > 0) {
            // A set chosen while idle may have fewer axes than the index of
            // the previous set; the first axis stands in until the next idle
            // update picks the nearest.
            const Vec4& axis =
                axes[axis_index >= 0 && axis_index < count ? axis_index : 0];
            arc_from = ConstrainPoint(arc_from, axis);
            arc_to = ConstrainPoint(arc_to, axis);
        }
        rotation_drag = QuatFromArc(arc_from, arc_to);
        rotation_now = QuatMul(rotation_drag, rotation_down);
    } else if (axis_set != FreeRotation) {
        axis_index = NearestAxis(arc_to, axes, count);
    }
    const Arc result = ArcFromQuat(rotation_down);
    result_from = result.from;
    result_to = result.to;
    matrix_now = QuatToMatrix(QuatConj(rotation_now));
}

Quat QuatFromArc(const Vec4& a, const Vec4& b) {
    return Quat{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x,
                a.x * b.x + a.y * b.y + a.z * b.z};
}

Arc ArcFromQuat(const Quat& q) {
    const float s = std::sqrt(q.x * q.x + q.y * q.y);
    Vec4 from = s == 0.0f ? Vec4(0, 1, 0, 0) : Vec4(-q.y / s, q.x / s, 0, 0);
    const Vec4 to(q.w * from.x - q.z * from.y, q.w * from.y + q.z * from.x,
                  q.x * from.y - q.y * from.x, 0.0f);
    if (q.w < 0.0f) from = Vec4(-from.x, -from.y, 0.0f, 0.0f);
    return Arc{from, to};
}

Vec4 ConstrainPoint(const Vec4& p, const Vec4& axis) {
    const float d = Dot3(axis, p);
    Vec4 on(p.x - axis.x * d, p.y - axis.y * d, p.z - axis.z * d, 0.0f);
    const float n = Dot3(on, on);
    if (n > 0.0f) {
        if (on.z < 0.0f) on = Vec4(-on.x, -on.y, -on.z, 0.0f);
        const float s = 1.0f / std::sqrt(n);
        return Vec4(on.x * s, on.y * s, on.z * s, 0.0f);
    }
    if (axis.z == 1.0f) return Vec4(1, 0, 0, 0);
    return Unit(Vec4(-axis.y, axis.x, 0.0f, 0.0f));
}

int NearestAxis(const Vec4& p, const Vec4* axes, int count) {
    float best = -1.0f;
    int index = 0;
    for (int i = 0; i < count; ++i) {
        const float d = Dot3(ConstrainPoint(p, axes[i]), p);
        if (d > best) {
            best = d;
            index = i;
        }
    }
    return index;
}

Vec4 Bisect(const Vec4& a, const Vec4& b) {
    const Vec4 v(a.x + b.x, a.y + b.y, a.z + b.z, 0.0f);
    const float n = Dot3(v, v);
    if (n < 0.00001f) return Vec4(0, 0, 1, 0);
    const float s = 1.0f / std::sqrt(n);
    return Vec4(v.x * s, v.y * s, v.z * s, 0.0f);
}

Vec4 HalfCircleStart(const Vec4& n) {
    if (n.z == 1.0f) return Vec4(0, 1, 0, 0);
    return Unit(Vec4(n.y, -n.x, 0.0f, 0.0f));
}

}  // namespace lumo
