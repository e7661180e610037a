// Zfile: one depth map in the RenderMan depth-map format, and its reader.
//
// The file: a 4-byte magic (2F 08 67 AB for a file in big-endian order,
// AB 67 08 2F for one in little-endian order), width and height as int16,
// a camera matrix and a screen matrix of 16 float32 each, then width x
// height float32 depths, row by row; every field after the magic in the
// order the magic shows. A depth of 1e30 or more means no surface was hit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/message_sink.h"
#include "base/status.h"

namespace lumo {

// Depths of 1e30 or more mean that no surface was hit.
inline constexpr float kNoSurfaceDepth = 1e30f;

struct Zfile {
    int32_t width = 0;   // pixels per row (sign-extended from the file's 16 bits)
    int32_t height = 0;  // rows
    float cameraMatrix[16] = {};  // first header matrix, values in file order
    float screenMatrix[16] = {};  // second header matrix, values in file order
    float maxZ = -1.0f;           // largest depth below 1e30, at least -1
    float minZ = 0.0f;            // smallest depth of all values
    std::vector<float> depth;     // width * height depths, pixel (x, y) at y * width + x

    // Loads the depth-map file `filename` into this record, reporting its
    // byte order, size, matrices and depth range on standard error. Every
    // failure ends the program with its message and status 1.
    void ReadOrExit(const char* filename);

    // Loads the depth-map file `filename` into this record; the reports go
    // to `report`. Failures:
    //   "[Zfile::read]: Cannot open zfile\n"
    //   "[Zfile::read]: Corrupted zfile\n" (fewer than 136 header bytes, or a
    //     negative width or height)
    //   "[Zfile::read]: input file is not depthmap file\n"
    //   "[Zfile::read]: No memory for zbuf\n"
    //   "[Zfile::read]: Unexpected end of file of zfile\n" (fewer depths than
    //     width x height, found before they are allocated)
    Status Read(const char* filename, const MessageSink& report);
    // The same from an open stream positioned at the magic.
    Status ReadFrom(std::FILE* stream, const MessageSink& report);

    // An empty depth block: no depth map was loaded for this image.
    bool empty() const { return depth.empty(); }

    // The depth at pixel (x, y), or -1 where no surface was hit. The caller
    // keeps x in 0..width-1 and y in 0..height-1 of a record that holds
    // depths.
    float DepthAt(int x, int y) const {
        const float d = depth[static_cast<size_t>(y) * static_cast<size_t>(width) +
                              static_cast<size_t>(x)];
        return d >= kNoSurfaceDepth ? -1.0f : d;
    }
};

inline constexpr size_t ZFILE_HEADER_LEN = 136;

// Loads the depth maps "%s.%d.%d.z" (stem,
// column, row) of the present images of a slab with `columns` x `rows`
// images (`mask`: one byte per image at row * columns + column, nonzero when
// present; null: all present) into `zfile`, which becomes columns x rows
// records. Does nothing when `depth_loaded` is set; sets it after a complete
// load. A depth-map file that does not exist is reported ("[Zfile::read]:
// Cannot open zfile\n", then "[ReadZFile]: %s missing, the image plane is
// used\n" with its name) and its record stays without depths; other faults
// fail with Zfile::read's messages, or "[ReadZFile]: no memory for uv array
// of depth image\n" for counts that cannot be allocated. Reports go to
// `report`.
Status ReadZFile(const char* stem, int32_t columns, int32_t rows, const uint8_t* mask,
                 int32_t& depth_loaded, std::vector<Zfile>& zfile,
                 const MessageSink& report);
// As above, the maps' own reports to `report` and missing maps to `warnings`:
// the first missing map as above; when more are missing, once at the end
// "[Zfile::read]: Cannot open zfile (N times)\n" and "[ReadZFile]: N depth
// maps missing (FIRST ... LAST), the image plane is used for them\n".
Status ReadZFile(const char* stem, int32_t columns, int32_t rows, const uint8_t* mask,
                 int32_t& depth_loaded, std::vector<Zfile>& zfile,
                 const MessageSink& report, const MessageSink& warnings);

// ReadZFile with reports on standard error; failures end the program
// with their message and status 1.
void ReadZFileOrExit(const char* stem, int32_t columns, int32_t rows, const uint8_t* mask,
                     int32_t& depth_loaded, std::vector<Zfile>& zfile);

}  // namespace lumo
