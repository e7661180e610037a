// Writer of SGI image files (.rgb), verbatim or run-length encoded.
//
// The writer stores row 0 of its input first, which is the row the SGI reader
// loads as row 0: WriteSGIRGB followed by ReadSGIRGB gives back the same
// pixels. Demo scenes, lumotool and tests make their SGI files with it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/status.h"
#include "io/photo.h"

namespace lumo {

// An image as channel planes: zsize planes of xsize x ysize bytes, plane c
// holding channel c, each row by row from row 0 (the row stored first).
struct SgiImage {
    int32_t xsize = 0;
    int32_t ysize = 0;
    int32_t zsize = 0;
    std::vector<uint8_t> planes;  // zsize * ysize * xsize bytes

    uint8_t& at(int32_t c, int32_t x, int32_t y) {
        return planes[(static_cast<size_t>(c) * ysize + y) * xsize + x];
    }
    uint8_t at(int32_t c, int32_t x, int32_t y) const {
        return planes[(static_cast<size_t>(c) * ysize + y) * xsize + x];
    }
};

enum class SgiStorage {
    kVerbatim,   // channel by channel, row by row, xsize bytes per row
    kRunLength,  // start and length tables, then packed scanlines
};

// The order in which run-length scanlines are laid out in the file (the
// tables always list them channel by channel; the reader finds each by its
// start, whatever the order).
enum class SgiScanlineOrder {
    kRowByRow,          // row 0's channels, then row 1's, ...: starts only grow
    kChannelByChannel,  // all rows of channel 0, then channel 1, ...
    kBackwards,         // the last row's last channel first
};

struct SgiWriteOptions {
    SgiStorage storage = SgiStorage::kRunLength;
    SgiScanlineOrder order = SgiScanlineOrder::kRowByRow;
};

// Writes `image` as an SGI file starting at the stream's current position;
// run-length starts are relative to that position (the reader's offset).
// Fails with "[WriteSGI]: image size does not fit an SGI file\n" for sizes
// outside 0..65535 or planes of the wrong size, and "[WriteSGI]: write
// failed\n" when the stream refuses the bytes.
Status WriteSGI(std::FILE* stream, const SgiImage& image,
                const SgiWriteOptions& options = {});

// WriteSGI into the file `path`, written whole or not at all; a size it
// refuses fails as WriteSGI does, the file as WriteNamedFile
// (io/named_file_write.h) words it: "[WriteSGI]: cannot open PATH for
// writing\n" or "[WriteSGI]: cannot write PATH: REASON\n".
Status WriteSGIFile(const char* path, const SgiImage& image,
                    const SgiWriteOptions& options = {});

// The three channel planes of `photo` (row 0 first).
SgiImage SgiFromPhoto(const Photo& photo);

// Writes `photo` as a three-channel SGI file; ReadSGIRGB(photo2, path, ...)
// then
// loads the same width, height and pixels.
Status WriteSGIRGB(const char* path, const Photo& photo,
                   const SgiWriteOptions& options = {});

// One scanline packed with the SGI run-length scheme: runs of three or more
// equal bytes as a count byte (1..127) and the byte, other bytes as literal
// packets (0x80 | count, then the bytes), ending with a 0 byte.
std::vector<uint8_t> PackRLERow(const uint8_t* row, size_t length);

}  // namespace lumo
