// Double-precision 3-vectors for the baker's ray tracer.
//
// The viewer's Vec3 rounds every stored component to float and lives out of
// line; the ray tracer shoots millions of rays per bake, so it keeps its
// geometry in doubles with inline operations. Results leave the ray tracer as
// floats (colours, depths, coefficients).
#pragma once

#include <cmath>

namespace lumo::tool {

struct Vec3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;

    constexpr Vec3d() = default;
    constexpr Vec3d(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
};

inline constexpr Vec3d operator+(const Vec3d& a, const Vec3d& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline constexpr Vec3d operator-(const Vec3d& a, const Vec3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline constexpr Vec3d operator-(const Vec3d& a) {
    return {-a.x, -a.y, -a.z};
}
inline constexpr Vec3d operator*(const Vec3d& a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline constexpr Vec3d operator*(double s, const Vec3d& a) {
    return a * s;
}
// Component-wise product (colours).
inline constexpr Vec3d Mul(const Vec3d& a, const Vec3d& b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
inline constexpr double Dot(const Vec3d& a, const Vec3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline constexpr Vec3d Cross(const Vec3d& a, const Vec3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3d& a) {
    return std::sqrt(Dot(a, a));
}
// a / |a|; a zero vector stays zero.
inline Vec3d Normalize(const Vec3d& a) {
    const double len = Length(a);
    return len > 0.0 ? a * (1.0 / len) : a;
}

}  // namespace lumo::tool
