// Small captures made at test time: a picture whose every pixel responds to
// the direction towards the light as 0.5 + a . L (a per pixel and channel,
// so the response lies in the span of two bands and the fit can reproduce
// it), photographed under known lights and written with the project's image
// writer, with its light-position file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/image_file.h"

namespace lumo::testing {

struct SyntheticCapture {
    int width = 12;
    int height = 8;
    int photos = 40;
    int seed = 0;  // varies the picture (cameras of a slab differ)
    // The response 0.25 + 0.6 (d . L)^2 (d a unit vector per pixel and
    // channel): degree 2, which three bands reproduce and two cannot.
    bool quadratic = false;
    ImageBits bits = ImageBits::k8;
    std::string extension = "png";
};

// The picture's value at pixel (x, row) (row 0 the top), channel ch, under a
// light towards unit direction L: 0 in the black top-right corner (x = W - 1,
// rows 0..2), else 0.5 + a . L, within 0.05..0.95 (or the quadratic
// response, within 0.25..0.85).
float SyntheticValue(const SyntheticCapture& c, int x, int row, int ch,
                     const double L[3]);

// The light directions of the capture: `photos` directions over the sphere.
std::vector<std::vector<double>> SyntheticDirections(const SyntheticCapture& c);

// Writes the photographs "p<k>.<extension>" and "lights.lp" into `folder`
// (created if missing); returns the .lp path.
std::string WriteSyntheticCapture(const SyntheticCapture& c, const std::string& folder);

// The picture under a light towards L as 8-bit values, rows top first, RGB.
std::vector<uint8_t> SyntheticBytes(const SyntheticCapture& c, const double L[3]);

}  // namespace lumo::testing
