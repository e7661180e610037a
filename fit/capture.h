// A capture to fit: the light slab its photographs belong to and, per camera,
// the light-position file that lists its photographs.
//
// One `.lp` file is a capture of one camera: a 1 x 1 slab whose image plane
// spans the picture (the longer side 1.2 units across, centred on the z axis
// at z = 0) and whose camera stands on the z axis at z = 2, so that the slab
// frame is s = x (picture right), t = y (picture up), n = z (towards the
// camera): the frame the `.lp` directions are given in.
//
// A capture manifest (JSON) describes a slab of several cameras:
//
//   {
//     "grid": [COLUMNS, ROWS],
//     "camera_plane": [[x, y, z], [x, y, z], [x, y, z], [x, y, z]],
//     "image_plane":  [[x, y, z], [x, y, z], [x, y, z], [x, y, z]],
//     "cameras": [ {"column": A, "row": B, "lp": "PATH.lp"}, ... ]
//   }
//
// The corners run around their rectangles as in a scene description (the
// first grid direction from corner 0 towards corner 1, the second from 0
// towards 3); every grid cell has exactly one camera; "lp" paths are relative
// to the manifest's folder. A camera's `.lp` directions are read in the slab
// frame: x along the image plane's first edge, y along its second, z along
// the normal towards the cameras (for planes parallel to the world axes, as
// in the examples, that is the world frame). The reader lives with the
// fitter: the manifest describes input to fit, not a file the viewer reads.
#pragma once

#include <string>
#include <vector>

#include "bake/bake_camera.h"
#include "base/status.h"

namespace lumo {

struct CaptureCamera {
    int column = 0;
    int row = 0;
    std::string lp;  // the light-position file, resolved
};

struct Capture {
    std::string source;  // the .lp or manifest file
    // The geometry; width and height are the photographs' size once known.
    tool::BakeSlab slab;
    // One per grid cell, row-major: camera (a, b) at index b * columns + a.
    std::vector<CaptureCamera> cameras;
    bool single = false;  // from one .lp file: planes follow the picture's size
};

// A one-camera capture of the `.lp` file `path` (not read here).
Capture SingleCameraCapture(const std::string& path);

// Sets the photographs' size; a single-camera capture's planes are framed to
// the picture's aspect.
void SetPhotoSize(Capture& capture, int width, int height);

// Reads a capture manifest. Failures: "[ReadCaptureManifest]: %s: %s\n" with
// the file and the reason (the JSON parser's, with its line and column, or
// what contradicts itself: a grid that is not two positive numbers, corners
// that are not four points, a degenerate plane, a camera outside the grid,
// listed twice or missing), or "not a regular file", "larger than the limit
// of %zu bytes", "cannot open".
Status ReadCaptureManifest(const std::string& path, Capture& capture);

// As ReadCaptureManifest, from the manifest's text; `path` names it in
// messages and the light-position files are resolved against its folder.
Status ParseCaptureManifest(const std::string& text, const std::string& path,
                            Capture& capture);

}  // namespace lumo
