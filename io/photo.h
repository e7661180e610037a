// Photo: lumo's 8-bit interleaved RGB image.
//
// Reference photographs, slide images and frame-buffer copies are all held in
// a Photo. It has no fixed orientation: row 0 is whatever the source stores
// first (SGI files store the bottom row first and are loaded without flipping,
// which matches the bottom-left origin of OpenGL textures).
#pragma once

#include <cstdint>
#include <vector>

#include "base/status.h"

namespace lumo {

struct Photo {
    int32_t width = 0;   // pixels per row
    int32_t height = 0;  // rows
    float x0 = 0.0f;     // window start in x: 0 after a load, normalised by model set-up
    float x1 = 0.0f;     // window end in x: width - 1 after a load
    float y0 = 0.0f;     // window start in y
    float y1 = 0.0f;     // window end in y: height - 1 after a load
    // width * height * 3 bytes, R, G, B per pixel, rows one after another from
    // row 0. Empty means no image is held.
    std::vector<uint8_t> pixels;

    bool has_pixels() const { return !pixels.empty(); }

    // Sets width and height and gives the photo width * height * 3 zero bytes.
    // The window is left to the caller. Fails with
    // "[ReadSGIRGB]: no enough memory for buf\n" when the size is negative,
    // overflows, or cannot be allocated.
    Status Alloc(int32_t w, int32_t h);

    // As Alloc, without building a message: false (the photo unchanged) when
    // the pixels cannot be had. Allocates nothing else, so it is safe to call
    // when memory is short (image loaders allocating on several threads).
    bool AllocPixels(int32_t w, int32_t h);

    // Sets every pixel byte to 0.
    void Clear();

    // Flips the image vertically in place: row r and row height - 1 - r are
    // exchanged.
    void Invert();

    // Back to the empty record: no pixels, every field 0.
    void Reset() { *this = Photo(); }
};

}  // namespace lumo
