#include "io/depth_map.h"

#include <sys/stat.h>
#include <cerrno>
#include <cfloat>
#include <cstring>

#include "base/alloc.h"
#include "base/fatal.h"
#include "base/file_ptr.h"
#include "base/repeated_messages.h"
#include "base/str_printf.h"
#include "io/checked_io.h"
#include "io/stream_bytes.h"

namespace lumo {
namespace {

constexpr const char* kCannotOpen = "[Zfile::read]: Cannot open zfile\n";
constexpr uint8_t kBigEndianMagic[4] = {0x2F, 0x08, 0x67, 0xAB};
constexpr uint8_t kLittleEndianMagic[4] = {0xAB, 0x67, 0x08, 0x2F};

void ReportMatrix(const MessageSink& report, const float m[16]) {
    for (int r = 0; r < 4; ++r)
        Emit(report, StrPrintf("%f %f %f %f \n", m[r], m[r + 4], m[r + 8], m[r + 12]));
}

}  // namespace

Status Zfile::ReadFrom(std::FILE* stream, const MessageSink& report) {
    uint8_t header[ZFILE_HEADER_LEN];
    if (std::fread(header, 1, sizeof header, stream) != sizeof header)
        return Status::Error("[Zfile::read]: Corrupted zfile\n");
    bool swap;
    if (std::memcmp(header, kBigEndianMagic, 4) == 0) {
        Emit(report, "Photorealistic RenderMan depth map file. Byte order OK\n");
        swap = true;
    } else if (std::memcmp(header, kLittleEndianMagic, 4) == 0) {
        Emit(report, "Photorealistic RenderMan depth map file. Byte order inversed\n");
        swap = false;
    } else {
        return Status::Error("[Zfile::read]: input file is not depthmap file\n");
    }
    int16_t size[2];
    std::memcpy(size, header + 4, 4);
    if (swap) cp_byteswap(size, 2, 2);
    width = size[0];
    height = size[1];
    Emit(report, StrPrintf("Depth map:\n%d x %d\n", width, height));
    float matrices[32];
    std::memcpy(matrices, header + 8, sizeof matrices);
    if (swap) cp_byteswap(matrices, 4, 32);
    std::memcpy(cameraMatrix, matrices, sizeof cameraMatrix);
    std::memcpy(screenMatrix, matrices + 16, sizeof screenMatrix);
    ReportMatrix(report, cameraMatrix);
    ReportMatrix(report, screenMatrix);

    if (width < 0 || height < 0) return Status::Error("[Zfile::read]: Corrupted zfile\n");
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    // The depths must be in the file before they are allocated.
    const long left = StreamBytesLeft(stream);
    if (left >= 0 && static_cast<uint64_t>(left) < 4 * static_cast<uint64_t>(count))
        return Status::Error("[Zfile::read]: Unexpected end of file of zfile\n");
    if (!TryAssign(depth, count))
        return Status::Error("[Zfile::read]: No memory for zbuf\n");
    if (std::fread(depth.data(), 4, count, stream) != count)
        return Status::Error("[Zfile::read]: Unexpected end of file of zfile\n");
    maxZ = -1.0f;
    minZ = FLT_MAX;
    for (float& d : depth) {
        if (swap) cp_byteswap(&d, 4, 1);
        if (d > maxZ && d < kNoSurfaceDepth) maxZ = d;
        if (d < minZ) minZ = d;
    }
    Emit(report, StrPrintf("Max. z value: %f\n", maxZ));
    Emit(report, StrPrintf("Min. z value: %f\n", minZ));
    return Status::Ok();
}

Status Zfile::Read(const char* filename, const MessageSink& report) {
    FilePtr f = OpenFile(filename, "rb");
    if (!f) return Status::Error(kCannotOpen);
    return ReadFrom(f.get(), report);
}

void Zfile::ReadOrExit(const char* filename) {
    FatalIfError(Read(filename, WriteToStderr));
}

Status ReadZFile(const char* stem, int32_t columns, int32_t rows, const uint8_t* mask,
                 int32_t& depth_loaded, std::vector<Zfile>& zfile,
                 const MessageSink& report) {
    return ReadZFile(stem, columns, rows, mask, depth_loaded, zfile, report, report);
}

Status ReadZFile(const char* stem, int32_t columns, int32_t rows, const uint8_t* mask,
                 int32_t& depth_loaded, std::vector<Zfile>& zfile,
                 const MessageSink& report, const MessageSink& warnings) {
    if (depth_loaded) return Status::Ok();
    const Status no_memory =
        Status::Error("[ReadZFile]: no memory for uv array of depth image\n");
    if (columns < 0 || rows < 0) return no_memory;
    std::vector<Zfile> records;
    if (!TryAssign(records, static_cast<size_t>(columns) * static_cast<size_t>(rows)))
        return no_memory;
    // A slab without depth maps misses every one: the first is reported as
    // such, the others are counted and summed up at the end.
    RepeatedMessages said(warnings);
    std::string first_missing, last_missing;
    size_t missing = 0;
    for (int32_t j = 0; j < rows; ++j) {
        for (int32_t k = 0; k < columns; ++k) {
            const size_t i = static_cast<size_t>(j) * columns + k;
            if (mask != nullptr && mask[i] == 0) continue;
            const std::string name = StrPrintf("%s.%d.%d.z", stem, k, j);
            Status s = records[i].Read(name.c_str(), report);
            if (s.ok()) continue;
            struct stat info;
            if (s.message() == kCannotOpen && stat(name.c_str(), &info) != 0 &&
                errno == ENOENT) {
                // No depth map for this image: it uses the image plane.
                said.Say(kCannotOpen);
                if (missing++ == 0) {
                    first_missing = name;
                    Emit(warnings,
                         StrPrintf("[ReadZFile]: %s missing, the image plane is used\n",
                                   name.c_str()));
                }
                last_missing = name;
                records[i] = Zfile();
                continue;
            }
            said.Finish();
            return s;
        }
    }
    said.Finish();
    if (missing > 1) {
        Emit(warnings, StrPrintf("[ReadZFile]: %zu depth maps missing (%s ... %s), the "
                                 "image plane is used for them\n",
                                 missing, first_missing.c_str(), last_missing.c_str()));
    }
    zfile = std::move(records);
    depth_loaded = 1;
    return Status::Ok();
}

void ReadZFileOrExit(const char* stem, int32_t columns, int32_t rows, const uint8_t* mask,
                     int32_t& depth_loaded, std::vector<Zfile>& zfile) {
    FatalIfError(
        ReadZFile(stem, columns, rows, mask, depth_loaded, zfile, WriteToStderr));
}

}  // namespace lumo
