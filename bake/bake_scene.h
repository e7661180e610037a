// `lumotool bake`: renders the demo scene and writes a complete, consistent
// set of scene files into one folder.
//
// Files, all named from the base name "scene" (see bake_camera.h for the
// conventions they follow):
//
//   scene.lid            BRDF slab: grid x grid cameras of size x size pixels
//   scene.A.B.urdf.sh    coefficients of camera (A, B) (column, row)
//   scene.A.B.z          its depth map
//   scene.AA.BB.rgb      its photograph under the photo light (two digits)
//   scene-rgb.lid        RGB slab of those photographs
//   scene.dat            the same photographs as one compressed image set
//   scene-dat.lid        RGB slab of the image set
//   scene-qr.lid         RGB slab whose cameras lie on a QR grid (the same
//                        photographs: the QR plane is the camera plane)
//   slide.rgb            a test card for slide projectors
//   capture-*.json, capture-*/   with `capture` > 0: the scene as captures
//                        to fit (see capture_writer.h)
//
// The .lid files name their data files without a folder, so the viewer and
// lumotool open them from inside the output folder.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "bake/vec3d.h"
#include "base/message_sink.h"
#include "base/status.h"

namespace lumo::tool {

struct BakeOptions {
    int grid = 8;           // cameras along each side of the camera plane
    int size = 128;         // pixels along each side of every image
    int bands = 4;          // spherical-harmonic bands of the coefficients
    int directions = 1024;  // light directions each pixel's response is measured in
    int threads = 0;        // worker threads; 0 = every core
    float dct_rate = 3.0f;  // bits per DCT coefficient of the image set
    int capture = 0;        // photographs per camera and capture variant; 0: none
};

// The light of the photographs: a white directional light travelling along
// this direction (coming from the upper left, in front of the scene).
inline constexpr Vec3d kPhotoLightDirection{0.45, -0.35, -0.82};

// Bakes the demo into `outdir` (created if missing; existing files of the
// same names are replaced), reporting progress lines (each ending with a line
// feed) to `progress`. Returns the first failure with its message:
// "[BakeDemo]: options out of range\n" (grid 1..99, size 1..4096, bands
// 1..18, directions from bands^2 to 1000000, capture 0..999), "[BakeDemo]: cannot create
// folder %s\n", the basis tables' or a writer's message. The files
// depend only on the options (not on the thread count or the machine).
Status BakeDemo(const std::string& outdir, const BakeOptions& options,
                const MessageSink& progress);

}  // namespace lumo::tool
