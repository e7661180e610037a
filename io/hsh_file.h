// Hemispherical-harmonics reflectance files (".rti" of type 3, HSH): one
// picture whose every pixel and colour holds the coefficients of a
// hemispherical-harmonic expansion in the direction towards the light.
//
//   comment lines   starting with '#' (the first "#HSH1.2")
//   "3"             the file type (3: HSH)
//   "W H C"         width, height, colours (3)
//   "T B E"         terms (4 or 9), basis type, element size (1 byte)
//   T float32 scales and T float32 biases, little-endian
//   pixels          top row first; per pixel the R, G and B terms' bytes
//
// Term k of a channel is byte / 255 * scale_k + bias_k. The basis (theta the
// angle of the light from the normal, c = cos theta, phi = atan2(y, x) with x
// right and y up, s = sqrt(c - c^2)):
//   H0 = 1/sqrt(2 pi)                 H1 = sqrt(6/pi) cos(phi) s
//   H2 = sqrt(3/(2 pi)) (2c - 1)      H3 = sqrt(6/pi) sin(phi) s
//   H4 = sqrt(30/pi) cos(2 phi) (c^2 - c)
//   H5 = sqrt(30/pi) cos(phi) (2c - 1) s
//   H6 = sqrt(5/(2 pi)) (1 - 6c + 6c^2)
//   H7 = sqrt(30/pi) sin(phi) (2c - 1) s
//   H8 = sqrt(30/pi) sin(2 phi) (c^2 - c)
// The value is sum_k term_k H_k, in 0..1 of the picture's scale.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/status.h"

namespace lumo {

struct HshFile {
    int32_t width = 0;
    int32_t height = 0;
    int32_t terms = 9;         // 4 or 9
    int32_t basis_type = 2;    // as the header gives it
    std::vector<float> scale;  // terms
    std::vector<float> bias;   // terms
    // width * height * 3 * terms bytes: rows top first, per pixel R's terms,
    // then G's, then B's.
    std::vector<uint8_t> bytes;

    // Term k of channel c at pixel (x, row), row 0 the top.
    float Term(int32_t x, int32_t row, int c, int k) const {
        const size_t at = ((static_cast<size_t>(row) * static_cast<size_t>(width) +
                            static_cast<size_t>(x)) *
                               3 +
                           static_cast<size_t>(c)) *
                              static_cast<size_t>(terms) +
                          static_cast<size_t>(k);
        return static_cast<float>(bytes[at]) / 255.0f * scale[static_cast<size_t>(k)] +
               bias[static_cast<size_t>(k)];
    }
};

// The first `terms` (at most 9) basis values at the unit direction (x, y, z)
// towards the light; directions below the horizon count as on it.
void HshBasis(const double direction[3], int terms, double* out);

// Reads an HSH file from `stream` (at its start); `name` is used in messages.
// Failures: "[ReadHsh]: %s: %s\n" with `name` and the fault: "not an HSH
// file", "bad header", "type %d is not HSH", "%d colours: only 3 are
// supported", "%d terms: only 4 and 9 are supported", "element size %d: only
// 1 is supported", "size %d x %d does not fit the file" (checked before
// anything is allocated), "truncated".
Status ReadHsh(std::FILE* stream, const std::string& name, HshFile& hsh);

// Opens `path` (a regular file: "[ReadHsh]: %s: cannot open" otherwise) and
// reads it.
Status ReadHshFile(const std::string& path, HshFile& hsh);

}  // namespace lumo
