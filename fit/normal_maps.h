// `lumotool normals`: normal and albedo maps from a relightable slab's
// coefficients.
//
// A surface that scatters light evenly (Lambertian, albedo rho, normal N)
// responds to the direction L towards a light as rho max(0, N . L), whose
// first band (l = 1) of the engine's basis is rho (2 pi / 3) Y_1m(N): the
// three coefficients point along the normal and their length is
// rho (2 pi / 3) sqrt(3 / (4 pi)). With the engine's signs (Y(1, -1) =
// -k t, Y(1, 0) = k n, Y(1, 1) = -k s, k = sqrt(3 / (4 pi))) the normal in
// the slab frame (s, t, n) is (-c[3], -c[1], c[2]), taken from the luminance
// of the three channels' coefficients (Rec. 709 weights); each channel's
// albedo is the length of its own first band over rho's factor. For a
// single-camera slab (`fit` of one .lp, `import`) the frame is x to the
// picture's right, y up, z towards the viewer.
#pragma once

#include <string>

#include "base/message_sink.h"
#include "base/status.h"

namespace lumo {

struct NormalMapOptions {
    bool exr = false;  // OpenEXR floats (normals -1..1 as they are) instead of PNG
};

// For every enabled camera (A, B) of the scene's first relightable slab,
// writes OUTDIR/normals.A.B.png (16-bit RGB: x, y, z in -1..1 mapped to
// 0..65535; pixels without coefficients or without a first band give 0, 0, 0,
// that is 32768) and OUTDIR/albedo.A.B.png (16-bit RGB, 0..1 to 0..65535),
// upright; `.exr` with `exr`. Coefficient files are found relative to the
// current folder, as the viewer finds them. Every file is written under a
// temporary name and renamed when complete; on a failure none of this run's
// files is left. Failures: the scene reader's and coefficient reader's
// messages, "[NormalMaps]: %s has no relightable slab\n", "[NormalMaps]: %s
// has fewer than 2 bands\n", "[NormalMaps]: cannot write into %s\n", the
// picture writer's. `progress` gets one line per camera; `written` the
// number of cameras written.
Status WriteNormalMaps(const std::string& scene, const std::string& outdir,
                       const NormalMapOptions& options, const MessageSink& progress,
                       int& written);

}  // namespace lumo
