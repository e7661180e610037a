#include "relight/brdf_file.h"

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "base/alloc.h"
#include "base/fatal.h"
#include "base/file_ptr.h"
#include "base/str_printf.h"
#include "io/checked_io.h"
#include "io/stream_bytes.h"
#include "io/text_line.h"
#include "relight/sh_basis.h"

namespace lumo {
namespace {

constexpr TextLineOptions kHeaderLine{.max_chars = 999, .drop_cr = false};

const char kHeaderMessage[] = "Cannot read brdf's header\n";
const char kCorrupted[] = "BRDF file possibly corrupted\n";

// Parses up to `n` whitespace-separated decimal ints as "%d %d ..." does;
// returns how many were parsed. A number outside the int32 range stops the
// parse (it cannot be a valid size).
int ScanInts(const std::string& line, int32_t* out, int n) {
    const char* p = line.c_str();
    for (int i = 0; i < n; ++i) {
        char* end = nullptr;
        errno = 0;
        const long long v = std::strtoll(p, &end, 10);
        if (end == p || errno == ERANGE || v < std::numeric_limits<int32_t>::min() ||
            v > std::numeric_limits<int32_t>::max())
            return i;
        out[i] = static_cast<int32_t>(v);
        p = end;
    }
    return n;
}

int CountBits(const std::vector<uint8_t>& bitmap, size_t pixels) {
    size_t bits = 0;
    const size_t whole = pixels / 8;
    for (size_t i = 0; i < whole; ++i)
        bits += static_cast<size_t>(std::popcount(bitmap[i]));
    if (pixels % 8 != 0) {
        const unsigned mask = 0xFFu << (8 - pixels % 8);
        bits += static_cast<size_t>(
            std::popcount(static_cast<uint8_t>(bitmap[whole] & mask)));
    }
    return bits > static_cast<size_t>(std::numeric_limits<int>::max())
               ? std::numeric_limits<int>::max()
               : static_cast<int>(bits);
}

}  // namespace

size_t BrdfFileData::BitmapBytes() const {
    size_t pixels = 0;
    if (width < 0 || height < 0 ||
        !CheckedMul(static_cast<size_t>(width), static_cast<size_t>(height), pixels))
        return 0;
    return pixels / 8 + 1;
}

Status ReadBrdfData(std::FILE* stream, BrdfFileData& data, const MessageSink& header) {
    std::string line;
    bool at_eof = false;
    if (!ReadTextLine(stream, kHeaderLine, line, at_eof))
        return Status::Error(kHeaderMessage);
    if (line.compare(0, 4, "BRDF") != 0) return Status::Error("Not a BRDF file\n");

    int32_t sizes[4] = {};
    if (!ReadTextLine(stream, kHeaderLine, line, at_eof) || ScanInts(line, sizes, 4) != 4)
        return Status::Error(kHeaderMessage);
    data.width = sizes[0];
    data.height = sizes[1];
    data.lcnt = sizes[2];
    data.harcnt = sizes[3];
    if (header)
        header(StrPrintf("%d x %d\nlcnt=%d, harcnt=%d\n", data.width, data.height,
                         data.lcnt, data.harcnt));

    if (!ReadTextLine(stream, kHeaderLine, line, at_eof) ||
        ScanInts(line, data.count, 3) != 3)
        return Status::Error(kHeaderMessage);
    if (header)
        header(StrPrintf("rcnt=%d, gcnt=%d, bcnt=%d\n", data.count[0], data.count[1],
                         data.count[2]));

    // Sizes the file cannot be right with are refused before anything is
    // allocated from them.
    if (data.lcnt < 1 || data.lcnt > kMaxShBands)
        return Status::Error("BRDF file has an unsupported band count\n");
    const size_t B = data.BitmapBytes();
    if (B == 0 || data.harcnt < 0) return Status::Error(kCorrupted);
    size_t floats[3] = {};
    size_t need = 0;
    if (!CheckedMul(B, 3, need)) return Status::Error(kCorrupted);
    for (int ch = 0; ch < 3; ++ch) {
        size_t bytes = 0;
        if (data.count[ch] < 0 ||
            !CheckedMul(static_cast<size_t>(data.harcnt),
                        static_cast<size_t>(data.count[ch]), floats[ch]) ||
            !CheckedMul(floats[ch], 4, bytes) ||
            __builtin_add_overflow(need, bytes, &need))
            return Status::Error(kCorrupted);
    }
    const long left = StreamBytesLeft(stream);
    if (left >= 0 && need > static_cast<size_t>(left)) return Status::Error(kCorrupted);

    for (int ch = 0; ch < 3; ++ch) {
        if (!TryAssign(data.bitmap[ch], B, uint8_t{0}))
            return Status::Error("No memory for bitmap\n");
    }
    for (int ch = 0; ch < 3; ++ch) {
        if (cp_fread(data.bitmap[ch].data(), 1, B, stream) != B)
            return Status::Error(kCorrupted);
    }
    for (int ch = 0; ch < 3; ++ch) {
        if (!TryAssign(data.CC[ch], floats[ch], 0.0f))
            return Status::Error("No memory for CC\n");
    }
    for (int ch = 0; ch < 3; ++ch) {
        if (floats[ch] > 0 &&
            cp_fread(data.CC[ch].data(), 4, floats[ch], stream) != floats[ch])
            return Status::Error(kCorrupted);
    }
    return Status::Ok();
}

Status AssembleBrdfImage(const BrdfFileData& data, BrdfImage& image) {
    const size_t B = data.BitmapBytes();
    if (B == 0 || data.harcnt < 0) return Status::Error(kCorrupted);
    const size_t pixels =
        static_cast<size_t>(data.width) * static_cast<size_t>(data.height);
    for (int ch = 0; ch < 3; ++ch) {
        // A channel may not point more pixels at its block than it holds.
        if (data.bitmap[ch].size() < B || data.count[ch] < 0 ||
            CountBits(data.bitmap[ch], pixels) > data.count[ch] ||
            data.CC[ch].size() <
                static_cast<size_t>(data.count[ch]) * static_cast<size_t>(data.harcnt))
            return Status::Error(kCorrupted);
    }

    if (Status s = InitCoeffArrCore(data.lcnt); !s.ok()) return s;

    image.lcnt = data.lcnt;
    image.width = data.width;
    image.height = data.height;
    image.harcnt = data.harcnt;

    // Pixels present in any channel, in pixel order, make the tiles.
    size_t present = 0;
    for (size_t e = 0; e < pixels; ++e) {
        if (data.Present(0, e) || data.Present(1, e) || data.Present(2, e)) ++present;
    }
    const size_t tiles = (present + kShLanes - 1) / kShLanes;
    // A file without coefficients (harcnt 0) still gets one zero term per
    // present pixel, so that every present pixel points into the block.
    const size_t room = static_cast<size_t>(std::max<int32_t>(data.harcnt, 1));
    size_t block = 0;
    if (tiles > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ||
        !CheckedMul(tiles, 3 * kShLanes, block) || !CheckedMul(block, room, block))
        return Status::Error("No memory for CC\n");
    try {
        image.coeff.assign(block, 0.0f);
    } catch (const std::exception&) {
        image.coeff.clear();
        return Status::Error("No memory for CC\n");
    }
    if (!TryAssign(image.tile_pixel, tiles * kShLanes, int32_t{-1}) ||
        !TryAssign(image.tile_mask, tiles * 3, uint8_t{0}))
        return Status::Error("No memory for CC\n");
    image.tile_count = static_cast<int32_t>(tiles);
    for (int ch = 0; ch < 3; ++ch) {
        if (!TryAssign(image.sh[ch], pixels, ShPixel{}))
            return Status::Error("No memory of sh[]\n");
    }

    image.xmin = data.width;
    image.xmax = -1;
    image.ymin = data.height;
    image.ymax = -1;
    const size_t harcnt = static_cast<size_t>(data.harcnt);
    size_t k[3] = {};
    size_t u = 0;  // index among the pixels present in any channel
    for (int32_t y = 0; y < data.height; ++y) {
        for (int32_t x = 0; x < data.width; ++x) {
            const size_t e = static_cast<size_t>(y) * static_cast<size_t>(data.width) +
                             static_cast<size_t>(x);
            bool any = false;
            const size_t tile = u / kShLanes;
            const size_t lane = u % kShLanes;
            for (int ch = 0; ch < 3; ++ch) {
                if (!data.Present(ch, e)) continue;
                any = true;
                float* dst = image.coeff.data() +
                             (tile * room * 3 + static_cast<size_t>(ch)) * kShLanes +
                             lane;
                const float* src = data.CC[ch].data() + k[ch] * harcnt;
                for (size_t i = 0; i < harcnt; ++i)
                    dst[i * kShTermStride] = src[i];
                image.sh[ch][e].coeff = dst;
                image.tile_mask[tile * 3 + ch] |= static_cast<uint8_t>(1u << lane);
                ++k[ch];
                InitHarmonicCounts(data.lcnt);
            }
            if (!any) continue;
            image.tile_pixel[u] = static_cast<int32_t>(e);
            ++u;
            if (x < image.xmin) image.xmin = x;
            if (x > image.xmax) image.xmax = x;
            if (y < image.ymin) image.ymin = y;
            if (y > image.ymax) image.ymax = y;
        }
    }
    return Status::Ok();
}

Status ReadBrdfPath(const char* path, BrdfImage& image, const BrdfReadOptions& options) {
    if (options.opening) options.opening(StrPrintf("Reading BRDF file %s ... \n", path));
    FilePtr file = OpenFile(path, "rb");
    if (!file) return Status::Error(std::string("Cannot read brdf file: ") + path + "\n");
    BrdfFileData data;
    Status s = ReadBrdfData(file.get(), data, options.header);
    if (!s.ok()) return s;
    file.reset();
    return AssembleBrdfImage(data, image);
}

void ReadBrdfFile(BrdfImage& image, const char* path, const BrdfReadOptions& options) {
    FatalIfError(ReadBrdfPath(path, image, options));
}

}  // namespace lumo
