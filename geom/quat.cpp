#include "geom/quat.h"

#include <algorithm>
#include <cmath>

namespace lumo {

Quat QuatMul(const Quat& a, const Quat& b) {
    return Quat{a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
                a.w * b.y + a.y * b.w + a.z * b.x - a.x * b.z,
                a.w * b.z + a.z * b.w + a.x * b.y - a.y * b.x,
                a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

Quat QuatConj(const Quat& q) {
    return Quat{-q.x, -q.y, -q.z, q.w};
}

Mat4 QuatToMatrix(const Quat& q) {
    const float n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    const float s = n > 0.0f ? 2.0f / n : 0.0f;
    const float xs = q.x * s, ys = q.y * s, zs = q.z * s;
    const float wx = q.w * xs, wy = q.w * ys, wz = q.w * zs;
    const float xx = q.x * xs, xy = q.x * ys, xz = q.x * zs;
    const float yy = q.y * ys, yz = q.y * zs, zz = q.z * zs;
    // Row r, column k at index 4r + k, as written.
    Mat4 m;
    const float rows[16] = {1.0f - (yy + zz),
                            xy - wz,
                            xz + wy,
                            0.0f,
                            xy + wz,
                            1.0f - (xx + zz),
                            yz - wx,
                            0.0f,
                            xz - wy,
                            yz + wx,
                            1.0f - (xx + yy),
                            0.0f,
                            0.0f,
                            0.0f,
                            0.0f,
                            1.0f};
    for (int i = 0; i < 16; ++i)
        m[i] = rows[i];
    return m;
}

Quat Slerp(const Quat& a, const Quat& b0, float u) {
    Quat b = b0;
    double dot =
        double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z + double(a.w) * b.w;
    if (dot < 0.0) {
        b = Quat{-b.x, -b.y, -b.z, -b.w};
        dot = -dot;
    }
    double wa = 1.0 - u, wb = u;
    if (dot < 0.9995) {
        const double theta = std::acos(std::min(dot, 1.0));
        wa = std::sin((1.0 - u) * theta) / std::sin(theta);
        wb = std::sin(u * theta) / std::sin(theta);
    }
    double q[4] = {wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z,
                   wa * a.w + wb * b.w};
    const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    return Quat{static_cast<float>(q[0] / n), static_cast<float>(q[1] / n),
                static_cast<float>(q[2] / n), static_cast<float>(q[3] / n)};
}

}  // namespace lumo
