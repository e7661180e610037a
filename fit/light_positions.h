// Light-position files (".lp"), the plain listing that light-dome and
// turntable captures come with: which photograph was taken under which light.
//
//   line 1   N, the number of photographs
//   then     N lines "IMAGE X Y Z": IMAGE a picture's path relative to the
//            .lp file's folder (it may hold spaces: the last three fields are
//            the numbers), (X, Y, Z) the direction from the object towards
//            the light, x to the picture's right, y to its top, z out of the
//            picture towards the camera
//
// A path that names nothing here (a listing written on another machine, with
// its absolute or Windows paths) stands for the picture of its file name
// (after the last '/' or '\') in the .lp file's folder, when there is one.
//
// Blank lines may follow the last photograph line. The reader lives with the
// fitter rather than in io/: the listing describes a capture to fit, not a
// file the viewer reads.
#pragma once

#include <string>
#include <vector>

#include "base/status.h"

namespace lumo {

struct LightPhoto {
    std::string path;       // resolved against the .lp file's folder
    double direction[3]{};  // unit vector towards the light
    int line = 0;           // the line of the .lp file that names it
};

// Reads `path` into `photos`. Failures name the file and the line:
// "[ReadLightPositions]: %s:%d: %s\n" with the reason: "cannot open",
// "expected the number of photographs", "expected IMAGE X Y Z",
// "malformed number '%s'", "zero direction", "the count says %d photographs
// but %d lines follow", "not a regular file", "larger than the limit of %zu
// bytes" (line 0 for the last two and "cannot open").
Status ReadLightPositions(const std::string& path, std::vector<LightPhoto>& photos);

// As ReadLightPositions, from the file's text; `path` names it in messages and
// the photographs are resolved against its folder (which is looked into for
// the pictures that paths written elsewhere stand for).
Status ParseLightPositions(const std::string& text, const std::string& path,
                           std::vector<LightPhoto>& photos);

}  // namespace lumo
