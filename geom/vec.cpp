#include "geom/vec.h"

#include <cmath>

namespace lumo {

void VecSub(const Vec3& a, const Vec3& b, Vec3& out) {
    out.x = static_cast<float>(double{a.x} - b.x);
    out.y = static_cast<float>(double{a.y} - b.y);
    out.z = static_cast<float>(double{a.z} - b.z);
}

void VecAdd(const Vec3& a, const Vec3& b, Vec3& out) {
    out.x = static_cast<float>(double{a.x} + b.x);
    out.y = static_cast<float>(double{a.y} + b.y);
    out.z = static_cast<float>(double{a.z} + b.z);
}

void VecCopy(const Vec3& src, Vec3& dst) {
    dst.x = src.x;
    dst.y = src.y;
    dst.z = src.z;
}

void VecCross(const Vec3& a, const Vec3& b, Vec3& out) {
    const Vec3 r(static_cast<float>(double{a.y} * b.z - double{a.z} * b.y),
                 static_cast<float>(double{a.z} * b.x - double{a.x} * b.z),
                 static_cast<float>(double{a.x} * b.y - double{a.y} * b.x));
    VecCopy(r, out);
}

float VecLength(const Vec3& a) {
    const double q = double{a.x} * a.x + double{a.y} * a.y + double{a.z} * a.z;
    return static_cast<float>(std::sqrt(q));
}

Vec3& VecScale(Vec3& v, float s) {
    v.x = static_cast<float>(double{s} * v.x);
    v.y = static_cast<float>(double{s} * v.y);
    v.z = static_cast<float>(double{s} * v.z);
    return v;
}

void VecAddScaled(const Vec3& a, float s, Vec3& out) {
    out.x = static_cast<float>(double{out.x} + double{s} * a.x);
    out.y = static_cast<float>(double{out.y} + double{s} * a.y);
    out.z = static_cast<float>(double{out.z} + double{s} * a.z);
}

void VecNormalize(Vec3& v) {
    const double inv = 1.0 / double{VecLength(v)};
    v.x = static_cast<float>(v.x * inv);
    v.y = static_cast<float>(v.y * inv);
    v.z = static_cast<float>(v.z * inv);
}

float VecDot(const Vec3& a, const Vec3& b) {
    return static_cast<float>(double{a.x} * b.x + double{a.y} * b.y + double{a.z} * b.z);
}

void VecLerp(const Vec3& a, const Vec3& b, float t, Vec3& out) {
    const double u = 1.0 - t;
    out.x = static_cast<float>(double{t} * a.x + u * b.x);
    out.y = static_cast<float>(double{t} * a.y + u * b.y);
    out.z = static_cast<float>(double{t} * a.z + u * b.z);
}

}  // namespace lumo
