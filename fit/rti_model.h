// A reflectance-transformation picture (PTM, HSH or plane set) as one model:
// per pixel and colour channel, coefficients of K functions of the direction
// towards the light. The conversion to the engine's basis (fit/rti_import.h)
// needs nothing else.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"

namespace lumo {

struct RtiModel {
    std::string kind;  // for reports: "PTM_FORMAT_LRGB", "HSH 9 terms", ...
    int32_t width = 0;
    int32_t height = 0;
    int terms = 0;  // K
    // The K functions at the unit direction (x, y, z) towards the light, x
    // to the picture's right, y up, z towards the viewer; a pixel's value
    // (0..1 of the picture's scale) is the sum of its coefficients times them.
    std::function<void(const double direction[3], double* values)> basis;
    // ((y * width + x) * 3 + channel) * K: y counted from the picture's
    // bottom row, as the coefficient rows of a slab run.
    std::vector<float> coeff;

    size_t Offset(int32_t x, int32_t y, int channel) const {
        return ((static_cast<size_t>(y) * static_cast<size_t>(width) +
                 static_cast<size_t>(x)) *
                    3 +
                static_cast<size_t>(channel)) *
               static_cast<size_t>(terms);
    }
    const float* At(int32_t x, int32_t y, int channel) const {
        return coeff.data() + Offset(x, y, channel);
    }
    float* At(int32_t x, int32_t y, int channel) {
        return coeff.data() + Offset(x, y, channel);
    }
    // The model's value at pixel (x, y) and channel for a direction.
    double Value(int32_t x, int32_t y, int channel, const double direction[3]) const;
};

// Reads `source` by its name: "*.ptm" a PTM, "*.rti" an HSH file, "*.json" a
// plane set's info.json (with the readers' messages). Anything else fails
// with "[ImportRti]: %s: expected a .ptm, an .rti or a plane set's
// info.json\n".
Status LoadRtiModel(const std::string& source, RtiModel& model);

}  // namespace lumo
