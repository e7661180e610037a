// Three- and four-component float vectors.
//
// Every geometric computation of lumo goes through these free functions: the
// slab corner geometry, the light glyphs, the slide-projector frame and the
// per-pixel light directions of the relighting engine. They hold no state,
// allocate nothing and report no errors.
//
// Precision: intermediate sums and products are formed in double precision and
// every stored component is rounded to float once. The relighting engine's fast
// paths reproduce exactly this rounding, so keep it when changing anything here.
#pragma once

namespace lumo {

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vec3() = default;
    constexpr Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    const float* data() const { return &x; }
    float* data() { return &x; }
};

// A homogeneous point (w = 1 for positions) or a direction/colour record that
// reserves four floats. A Vec4 is a Vec3, so every Vec3 operation applies to its
// x, y, z and leaves w untouched.
struct Vec4 : Vec3 {
    float w = 0.0f;

    constexpr Vec4() = default;
    constexpr Vec4(float x_, float y_, float z_, float w_) : Vec3(x_, y_, z_), w(w_) {}
    constexpr Vec4(const Vec3& v, float w_) : Vec3(v), w(w_) {}
};

static_assert(sizeof(Vec3) == 3 * sizeof(float));
static_assert(sizeof(Vec4) == 4 * sizeof(float));

// out = a - b, component by component; out may be a or b.
void VecSub(const Vec3& a, const Vec3& b, Vec3& out);
// out = a + b, component by component; out may be a or b.
void VecAdd(const Vec3& a, const Vec3& b, Vec3& out);
// dst.x, dst.y, dst.z = src.x, src.y, src.z (a fourth float of dst is kept).
void VecCopy(const Vec3& src, Vec3& dst);
// out = a x b, computed from the values a and b hold on entry, so out may be
// either input.
void VecCross(const Vec3& a, const Vec3& b, Vec3& out);
// sqrt(x^2 + y^2 + z^2).
float VecLength(const Vec3& a);
// v = s * v in place; returns v.
Vec3& VecScale(Vec3& v, float s);
// out = out + s * a: out is accumulated, not overwritten.
void VecAddScaled(const Vec3& a, float s, Vec3& out);
// v = v * (1 / VecLength(v)) in place. A zero vector gives non-finite
// components; callers that can meet one (degenerate slide frames) test for it.
void VecNormalize(Vec3& v);
// a.x*b.x + a.y*b.y + a.z*b.z.
float VecDot(const Vec3& a, const Vec3& b);
// out = t*a + (1 - t)*b. The weight t belongs to the FIRST argument: t = 1
// gives a, t = 0 gives b. out may be a or b.
void VecLerp(const Vec3& a, const Vec3& b, float t, Vec3& out);

}  // namespace lumo
