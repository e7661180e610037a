// Polynomial texture maps (".ptm"): one picture whose every pixel holds a
// biquadratic in the direction towards the light.
//
//   text header   tokens separated by any white space: "PTM_1.2" (or
//                 "PTM_1.1"), the format, width, height, six scale floats,
//                 six integer biases; the binary part starts after the one
//                 white-space byte that ends the last bias
//   raw formats   PTM_FORMAT_RGB: three blocks R, G, B of width x height
//                 pixels of six coefficient bytes; PTM_FORMAT_LUM: one such
//                 block; PTM_FORMAT_LRGB: one such block, then width x height
//                 RGB byte triples (PTM_1.1: the nine bytes of a pixel
//                 together, six coefficients then R, G, B)
//   JPEG formats  PTM_FORMAT_JPEG_RGB (18 planes: the six coefficients of R,
//                 then of G, then of B) and PTM_FORMAT_JPEG_LRGB (9 planes:
//                 the six coefficients, then R, G, B): after the biases the
//                 JPEG quality, then n integers each of transform, motion x,
//                 motion y, order, reference plane, compressed size and
//                 side-information size; then per plane in index order a
//                 greyscale JPEG stream and its side information
//
// Pixels run row by row, the bottom row first, in the raw formats; the JPEG
// planes' rows are read the same way (their first row is the bottom row). A
// plane whose reference r is >= 0 holds a prediction residual: its value is
// decoded + ref' - 128 (modulo 256), ref' the final value of plane r,
// inverted (255 - value) where the plane's transform is 1. Side information
// is 5-byte records: a big-endian pixel index (into the plane as stored) and
// the byte that replaces that pixel's final value. Planes are decoded
// references first; a plane that refers to itself through its references is
// refused. Motion other than (0, 0) is refused.
//
// Coefficient a_i = (byte - bias_i) * scale_i; for the unit direction towards
// the light (u, v, w), x right, y up, z towards the viewer, the value is
//   L = a0 u^2 + a1 v^2 + a2 u v + a3 u + a4 v + a5       (0..255 scale);
// RGB and LUM formats show L per channel, LRGB formats RGB * L / 255.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/status.h"

namespace lumo {

enum class PtmFormat { kRgb, kLrgb, kLum, kJpegRgb, kJpegLrgb };

// The format's name in a header ("PTM_FORMAT_RGB", ...).
const char* PtmFormatName(PtmFormat format);

// A polynomial texture map, decoded: whatever its storage, the coefficient
// bytes per pixel and (LRGB) the colour bytes, rows bottom first.
struct PtmFile {
    std::string version = "PTM_1.2";  // or "PTM_1.1"
    PtmFormat format = PtmFormat::kRgb;
    int32_t width = 0;
    int32_t height = 0;
    float scale[6] = {1, 1, 1, 1, 1, 1};
    int32_t bias[6] = {};
    int32_t jpeg_quality = 0;  // JPEG formats: as the header gives it
    // Coefficient bytes: Blocks() blocks (R, G, B for RGB formats; one
    // luminance block otherwise) of width * height pixels of 6 bytes.
    std::vector<uint8_t> coeff;
    // LRGB formats: width * height RGB triples; empty otherwise.
    std::vector<uint8_t> rgb;

    int Blocks() const {
        return format == PtmFormat::kRgb || format == PtmFormat::kJpegRgb ? 3 : 1;
    }
    bool HasColour() const {
        return format == PtmFormat::kLrgb || format == PtmFormat::kJpegLrgb;
    }
    bool IsJpeg() const {
        return format == PtmFormat::kJpegRgb || format == PtmFormat::kJpegLrgb;
    }
    size_t Pixels() const {
        return static_cast<size_t>(width) * static_cast<size_t>(height);
    }
    // Coefficient a_i of pixel (x, y) (y from the bottom) in `block`.
    float Coefficient(int block, int32_t x, int32_t y, int i) const {
        const size_t p = static_cast<size_t>(block) * Pixels() +
                         static_cast<size_t>(y) * static_cast<size_t>(width) +
                         static_cast<size_t>(x);
        return static_cast<float>(static_cast<int32_t>(coeff[6 * p + i]) - bias[i]) *
               scale[i];
    }
};

// The largest width and height read (those of a JPEG picture).
inline constexpr int32_t kPtmMaxSide = 65535;

// Reads a PTM from `stream` (at its start); `name` is used in messages.
// Failures: "[ReadPtm]: %s: %s\n" with `name` and the fault: "not a PTM
// file", "unknown format %s", "bad header", "size %d x %d does not fit the
// file" (the header's sizes are checked against the bytes the file holds
// before anything is allocated), "truncated", "plane %d: ..." for a JPEG
// plane that cannot be decoded, has the wrong size, refers to a plane outside
// the set or to itself, or moves.
Status ReadPtm(std::FILE* stream, const std::string& name, PtmFile& ptm);

// Opens `path` (a regular file: "[ReadPtm]: %s: cannot open" otherwise) and
// reads it.
Status ReadPtmFile(const std::string& path, PtmFile& ptm);

}  // namespace lumo
