// The spherical-harmonic coefficient file ("%s.%d.%d.urdf.sh") and its reader.
//
// One file holds one reference image's coefficients:
//
//   line 1   text beginning with "BRDF" (the rest of the line is ignored)
//   line 2   "%d %d %d %d": width, height, lcnt (SH bands), harcnt (floats per pixel)
//   line 3   "%d %d %d": rcnt, gcnt, bcnt (present pixels per channel)
//   bitmaps  red, green, blue; B = width * height / 8 + 1 bytes each; pixel
//            e = y * width + x is bit 0x80 >> (e % 8) of byte e / 8
//   floats   harcnt * rcnt red, then green, then blue big-endian IEEE floats:
//            one vector per present pixel, in pixel order
//
// Text lines are read as lines of at most 999 characters; the binary part
// starts after the line feed that ends line 3.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "base/message_sink.h"
#include "base/status.h"
#include "scene/brdf_image.h"

namespace lumo {

// A coefficient file's contents as stored, in file order.
struct BrdfFileData {
    int32_t width = 0;
    int32_t height = 0;
    int32_t lcnt = 0;
    int32_t harcnt = 0;
    int32_t count[3] = {};           // rcnt, gcnt, bcnt
    std::vector<uint8_t> bitmap[3];  // BitmapBytes() each
    std::vector<float> CC[3];        // harcnt * count[ch] floats each

    // B = width * height / 8 + 1 (0 when the size is negative or overflows).
    size_t BitmapBytes() const;
    // Bit e of a channel's bitmap.
    bool Present(int ch, size_t e) const {
        return (bitmap[ch][e / 8] & (0x80u >> (e % 8))) != 0;
    }
};

// Where the reader reports while it goes on.
struct BrdfReadOptions {
    // "%d x %d\nlcnt=%d, harcnt=%d\n" and "rcnt=%d, gcnt=%d, bcnt=%d\n" as the
    // header lines are read.
    MessageSink header = WriteToStdout;
    // "Reading BRDF file %s ... \n" before a file is opened.
    MessageSink opening = WriteToStderr;
    // Keep the coefficients as half floats (BrdfImage::half), each rounded to
    // the nearest half.
    bool half = false;
};

// Reads a coefficient file from `stream` (at its start) into `data`. Reports
// the header lines to `header` as they are read. Failures: "Cannot read brdf's header\n"
// (a header line missing or lines 2 and 3 without all their numbers), "Not a
// BRDF file\n", "BRDF file possibly corrupted\n" (negative sizes or counts,
// sizes that overflow or that the rest of the file cannot hold, short reads),
// "BRDF file has an unsupported band count\n" (lcnt outside 1..18),
// "No memory for bitmap\n", "No memory for CC\n".
Status ReadBrdfData(std::FILE* stream, BrdfFileData& data, const MessageSink& header);

// Turns file contents into a BrdfImage as the reader does after reading:
// rebuilds the basis tables for data.lcnt (InitCoeffArr), points every present
// pixel of every channel at its coefficients, derives the window (the bounding
// box of the pixels present in any channel; the empty window xmin = width,
// xmax = -1, ymin = height, ymax = -1 when none is). A
// channel whose bitmap has more set bits than its count fails with "BRDF file
// possibly corrupted\n"; allocation failures give "No memory for CC\n".
// `image` must be freshly constructed or reset. This is the reference the
// direct reader (ReadBrdfImage) gives the same image as. With `half` the
// coefficients are kept as half floats.
Status AssembleBrdfImage(const BrdfFileData& data, BrdfImage& image, bool half = false);

// Reads a coefficient file from `stream` (at its start) straight into the
// tiled layout of `image` (freshly constructed or reset), with the messages
// of ReadBrdfData and AssembleBrdfImage, but without the process-wide effects
// (FinishBrdfImage applies them), so that several files may be read at once
// on different threads. A stream that can seek is read in large blocks from
// each channel's place in the file, with no copy of the file's blocks; a pipe
// is read as ReadBrdfData does. With `half` the coefficients are kept as half
// floats.
Status ReadBrdfImage(std::FILE* stream, BrdfImage& image, const MessageSink& header,
                     bool half = false);

// The process-wide effect of having read `image`: rebuilds the basis tables
// for image.lcnt. Fails only when the tables cannot be allocated.
Status FinishBrdfImage(const BrdfImage& image);

// Reports "Reading BRDF file %s ... \n" to options.opening, opens `path`
// ("Cannot read brdf file: %s\n" when it cannot be opened) and reads it
// (ReadBrdfImage), without the process-wide effects.
Status LoadBrdfPath(const char* path, BrdfImage& image,
                    const BrdfReadOptions& options = {});

// LoadBrdfPath, then FinishBrdfImage.
Status ReadBrdfPath(const char* path, BrdfImage& image,
                    const BrdfReadOptions& options = {});

// The coefficients a set of images offers: lcnt * lcnt of the first image
// with a present pixel, 0 when none has one. Model set-up takes its harmonic
// counts from the same image (model/model.h, RelightSettings).
int32_t AvailableTerms(std::span<const BrdfImage> images);

}  // namespace lumo
