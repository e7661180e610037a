// Small scenes made with lumo's own writers, for end-to-end tests.
//
// Every slab has its camera plane (UV, or QR for a photograph slab with a QR
// grid) at z = 2 and its image plane (ST) at z = 0, both 1.2 units square and
// centred on the z axis, so the viewer's start-up camera (on the z axis at
// z = 30) sees all of it with a margin. Camera (a, b) sits in column a and
// row b, counted from the corner at (-0.6, -0.6).
#pragma once

#include <array>
#include <functional>
#include <string>

#include "tests/support/temp_dir.h"

namespace lumo::testing {

using Rgb8 = std::array<int, 3>;

struct SlabFixture {
    int cols = 2;
    int rows = 2;
    int width = 16;  // pixels per image
    int height = 16;
    std::string base = "obj";
    // The colour of camera (a, b)'s whole image: for a BRDF slab, its colour
    // under the viewer's starting light (white, travelling along -z); for
    // photographs, the pixels themselves.
    std::function<Rgb8(int a, int b)> colour = [](int, int) {
        return Rgb8{200, 100, 50};
    };
    // Row-major by camera row, v = 0 first; empty: all enabled.
    std::string mask;
};

// Writes "<lid>" and one coefficient file per enabled camera: every pixel has
// only a band-0 coefficient per channel, chosen so that the starting light
// gives exactly `colour`. Returns the scene file's path.
std::string WriteBrdfSlab(const TempDir& dir, const SlabFixture& slab,
                          const std::string& lid = "scene.lid");

// Writes "<lid>" and one SGI image per enabled camera, uniformly `colour`;
// with `qr_grid` the cameras lie on a QR grid instead of the UV grid.
std::string WritePhotoSlab(const TempDir& dir, const SlabFixture& slab, bool qr_grid,
                           const std::string& lid = "scene.lid");

}  // namespace lumo::testing
