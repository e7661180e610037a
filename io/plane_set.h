// Plane sets: a reflectance-transformation picture as web viewers load it, a
// folder with "info.json" and pictures "plane_0.jpg", "plane_1.jpg", ... (or
// .png) that hold three coefficient planes each, as their R, G, B channels.
//
//   {"width": W, "height": H, "format": "jpg", "type": "ptm",
//    "colorspace": "rgb", "nplanes": 18,
//    "materials": [{"scale": [...], "bias": [...]}], "lights": [...]}
//
// Coefficient plane k is picture k / 3, channel k % 3; its value is
// (byte / 255 - bias_k) * scale_k; pictures are upright (top row first).
// Layouts read: type "ptm" with colorspace "rgb" (per PTM term in the order
// 1, u, v, u^2, u v, v^2, its R, G and B planes: 18 planes) or "lrgb" (R, G,
// B, then the six luminance terms in that order: 9 planes), and type "hsh"
// with colorspace "rgb" (per term H0..H8, or H0..H3, its R, G, B planes: 27
// or 12 planes). Other types keep their basis in the file and are refused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace lumo {

struct PlaneSetInfo {
    int32_t width = 0;
    int32_t height = 0;
    std::string format = "jpg";  // "jpg" or "png"
    std::string type = "ptm";
    std::string colorspace = "rgb";
    int32_t nplanes = 0;
    std::vector<float> scale;  // nplanes
    std::vector<float> bias;   // nplanes
};

struct PlaneSet {
    PlaneSetInfo info;
    // nplanes planes of width * height values (rows top first), each
    // (byte / 255 - bias) * scale.
    std::vector<float> planes;

    float Value(int k, int32_t x, int32_t row) const {
        return planes[(static_cast<size_t>(k) * static_cast<size_t>(info.height) +
                       static_cast<size_t>(row)) *
                          static_cast<size_t>(info.width) +
                      static_cast<size_t>(x)];
    }
};

// Parses the text of an info.json; `name` is used in messages. Failures:
// "[ReadPlaneSet]: %s: %s\n" with `name` and the fault (the JSON parser's
// words, a member missing or of the wrong type, "type %s with colorspace %s
// is not supported (ptm rgb, ptm lrgb and hsh rgb are)", "%d planes do not
// match type %s with colorspace %s", "%d scales and %d biases for %d
// planes", a size outside 1..65535).
Status ParsePlaneSetInfo(std::string_view text, const std::string& name,
                         PlaneSetInfo& info);

// Reads `info_path` and the pictures beside it (through the picture wrapper).
// Failures as ParsePlaneSetInfo, and "[ReadPlaneSet]: %s: cannot open",
// "[ReadPlaneSet]: %s: %d x %d, the set is %d x %d" (a picture's header,
// checked before it is decoded), "[ReadPlaneSet]: %s: %d channels, 3 are
// needed", or the picture wrapper's message.
Status ReadPlaneSet(const std::string& info_path, PlaneSet& set);

}  // namespace lumo
