// Where the baker's cameras stand and which ray each pixel is: the slab
// geometry of the demo scene and the conventions every baked file follows.
//
// Conventions (the baked files, the relighting engine and the viewer agree on
// all of them; change one and relighting no longer reproduces the renders):
//
// - Slab. Camera plane (UV) corners c0..c3 and image plane (ST) corners
//   S0..S3 run around their rectangles; the first grid direction goes from
//   c0 towards c1, the second from c0 towards c3. The demo frames both planes
//   1.2 units across, centred on the z axis: the image plane at z = 0, the
//   camera plane at z = 2, between the image plane and the viewer's start-up
//   eye at (0, 0, 30), whose 3-degree field spans about 1.57 units at the
//   origin. The objects stand around the image plane.
// - Slab frame. The normal n points from the image plane towards the camera
//   plane; s = normalise(S1 - S0), t = normalise(S3 - S0). For the demo
//   n = (0, 0, 1), s = (1, 0, 0), t = (0, 1, 0). Spherical-harmonic
//   coefficients are functions of the light direction measured in this frame:
//   theta from n, phi from s towards t, exactly as the reconstruction measures
//   a light's direction.
// - Light direction. A light's `direction` is the way its light travels; the
//   direction towards the light, L, is its negative. The coefficients of a
//   pixel describe its response as a function of L.
// - Cameras. Reference camera (column a, row b) of an n x m grid stands at
//   the sample position of its cell, the cell centre u = (a + 0.5) / n,
//   v = (b + 0.5) / m, bilinear over the corners:
//   (1-u)(1-v) c0 + u(1-v) c1 + u v c2 + (1-u) v c3.
//   Its files are numbered with column a and row b.
// - Pixels. Pixel (x, y) of a W x H image is the ray from its camera E
//   through the image-plane point
//   P(x, y) = S0 + (x + 0.5)(S1 - S0)/W + (y + 0.5)(S3 - S0)/H,
//   stored at row y of the image (row 0 first). In an SGI file row 0 is the
//   first stored row, the bottom row; in a coefficient file it is the first
//   row, pixel index y * W + x.
// - Depth maps. The depth of pixel (x, y) is the distance from E to the first
//   surface along the unit ray direction normalise(P - E), so that the
//   surface point is E + depth * normalise(P - E); 1e30 where nothing is hit.
//   Depth-map rows run the other way: pixel y is stored in row H - 1 - y (the
//   reconstruction reads DepthAt(x, H - 1 - y)).
#pragma once

#include "bake/raytracer.h"
#include "bake/vec3d.h"
#include "scene/lid_writer.h"

namespace lumo::tool {

struct SlabPlanes {
    Vec3d corner[4];  // c0..c3 around the rectangle
};

struct BakeSlab {
    int columns = 8;    // cameras along the first grid direction
    int rows = 8;       // cameras along the second grid direction
    int width = 128;    // pixels along s
    int height = 128;   // pixels along t
    SlabPlanes camera;  // camera plane (UV, or a QR grid's plane)
    SlabPlanes image;   // image plane (ST)
};

// The demo's slab: `grid` x `grid` cameras of `size` x `size` pixels, framed
// for the viewer's start-up camera as described above.
BakeSlab DemoSlab(int grid, int size);

// The slab as the scene-description writer takes it (corners as floats).
LidSlab ToLidSlab(const BakeSlab& slab);

// The slab frame (n, s, t) described above.
struct BakeFrame {
    Vec3d normal;
    Vec3d s;
    Vec3d t;
};
BakeFrame FrameOf(const BakeSlab& slab);

// The position of camera (a, b): the centre of its grid cell.
Vec3d CameraPosition(const BakeSlab& slab, int a, int b);

// P(x, y): the point of pixel (x, y) on the image plane.
Vec3d PixelPoint(const BakeSlab& slab, int x, int y);

// The primary ray of pixel (x, y) of camera (a, b): from the camera through
// P(x, y), with a unit direction, so hit distances are depths.
Ray PixelRay(const BakeSlab& slab, const Vec3d& camera, int x, int y);

}  // namespace lumo::tool
