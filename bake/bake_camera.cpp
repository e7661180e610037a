#include "bake/bake_camera.h"

namespace lumo::tool {
namespace {

// Half the side of both planes, and the camera plane's height above the
// image plane.
constexpr double kHalfSide = 0.6;
constexpr double kCameraPlaneZ = 2.0;

SlabPlanes Square(double z) {
    SlabPlanes p;
    p.corner[0] = {-kHalfSide, -kHalfSide, z};
    p.corner[1] = {kHalfSide, -kHalfSide, z};
    p.corner[2] = {kHalfSide, kHalfSide, z};
    p.corner[3] = {-kHalfSide, kHalfSide, z};
    return p;
}

}  // namespace

BakeSlab DemoSlab(int grid, int size) {
    BakeSlab slab;
    slab.columns = grid;
    slab.rows = grid;
    slab.width = size;
    slab.height = size;
    slab.camera = Square(kCameraPlaneZ);
    slab.image = Square(0.0);
    return slab;
}

LidSlab ToLidSlab(const BakeSlab& slab) {
    LidSlab out;
    out.columns = slab.columns;
    out.rows = slab.rows;
    out.width = slab.width;
    out.height = slab.height;
    for (int i = 0; i < 4; ++i) {
        const Vec3d& c = slab.camera.corner[i];
        const Vec3d& s = slab.image.corner[i];
        out.camera[i] = Vec3(float(c.x), float(c.y), float(c.z));
        out.image[i] = Vec3(float(s.x), float(s.y), float(s.z));
    }
    return out;
}

BakeFrame FrameOf(const BakeSlab& slab) {
    const Vec3d* c = slab.camera.corner;
    const Vec3d* st = slab.image.corner;
    BakeFrame f;
    f.normal = Cross(c[0] - c[1], c[2] - c[1]);
    if (Dot(c[0] - st[0], f.normal) < 0.0) f.normal = -f.normal;
    f.normal = Normalize(f.normal);
    f.s = Normalize(st[1] - st[0]);
    f.t = Normalize(st[3] - st[0]);
    return f;
}

Vec3d CameraPosition(const BakeSlab& slab, int a, int b) {
    const double u = (a + 0.5) / slab.columns;
    const double v = (b + 0.5) / slab.rows;
    const Vec3d* c = slab.camera.corner;
    return c[0] * ((1 - u) * (1 - v)) + c[1] * (u * (1 - v)) + c[2] * (u * v) +
           c[3] * ((1 - u) * v);
}

Vec3d PixelPoint(const BakeSlab& slab, int x, int y) {
    const Vec3d* s = slab.image.corner;
    return s[0] + (s[1] - s[0]) * ((x + 0.5) / slab.width) +
           (s[3] - s[0]) * ((y + 0.5) / slab.height);
}

Ray PixelRay(const BakeSlab& slab, const Vec3d& camera, int x, int y) {
    return Ray{camera, Normalize(PixelPoint(slab, x, y) - camera)};
}

}  // namespace lumo::tool
