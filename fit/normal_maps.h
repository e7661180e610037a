// `lumotool normals`: normal and albedo maps from a relightable slab's
// coefficients.
//
// A surface that scatters light evenly (Lambertian, albedo rho, normal N)
// responds to the direction L towards a light as rho max(0, N . L). Over the
// whole sphere the first band (l = 1) of that response is rho (2 pi / 3)
// Y_1m(N): its three coefficients point along the normal. A capture under a
// dome, or an imported picture (projected over the upper hemisphere only),
// determines the response only above the horizon, and there the first band
// leans: on a fitted dome capture with normals tilted by 35 degrees it was
// 12 degrees off. So the normal is found as photometric stereo finds it, on
// the model itself: the response (of the luminance of the three channels,
// Rec. 709 weights) is evaluated at 256 directions spread over the upper
// hemisphere, and rho N is the least-squares solution of f(L) = rho N . L
// over the directions lit at least 30% of the brightest one, where the
// clamp at the terminator and the truncation's ringing do not reach. Each
// channel's albedo is the least-squares rho_c of f_c(L) = rho_c N . L over
// the same directions. A pixel with fewer than 8 such directions (nearly
// dark) falls back to the first band's direction. Directions are in the slab
// frame (s, t, n); for a single-camera slab (`fit` of one .lp, `import`)
// that is x to the picture's right, y up, z towards the viewer.
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
