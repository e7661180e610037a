// The demo scene as a capture to fit: per camera, K photographs ray-traced
// under K known directional lights (PNG), their light-position file, and one
// capture manifest per variant, as `lumotool bake --capture K` writes them.
//
// Two variants, the two kinds of capture users meet:
//   capture-sphere   lights spread over the whole sphere (a light stage)
//   capture-dome     lights over the upper hemisphere only, the side of the
//                    cameras (a reflectance-transformation dome)
// Files, for variant V and camera (A, B):
//   V.json                  the manifest (the demo slab's planes and grid)
//   V/A.B/lights.lp         the photographs and their directions towards
//                           the light, in the slab frame (x right, y up,
//                           z towards the cameras)
//   V/A.B/NNN.png           photograph NNN (three digits), top row first
#pragma once

#include <string>
#include <vector>

#include "bake/bake_camera.h"
#include "bake/raytracer.h"
#include "bake/view_render.h"
#include "base/status.h"

namespace lumo::tool {

struct CaptureVariant {
    const char* name;             // "capture-sphere"
    std::vector<Vec3d> to_light;  // unit directions towards the lights
};

// The two variants for K photographs per camera: K directions over the
// sphere, and the K of 2K sphere directions that lie above the image plane
// (z > 0).
std::vector<CaptureVariant> CaptureVariants(int k);

// Renders and writes camera (view.a, view.b)'s photographs and light-position
// file for every variant. Fails with the image writer's message or
// "[BakeDemo]: cannot create %s\n".
Status WriteViewCapture(const std::string& outdir, const Scene& scene,
                        const BakeSlab& slab, const ViewHits& view,
                        const std::vector<CaptureVariant>& variants);

// Writes the manifest of every variant.
Status WriteCaptureManifests(const std::string& outdir, const BakeSlab& slab,
                             const std::vector<CaptureVariant>& variants);

}  // namespace lumo::tool
