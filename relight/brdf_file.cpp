#include "relight/brdf_file.h"

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "base/alloc.h"
#include "base/file_ptr.h"
#include "base/str_printf.h"
#include "io/checked_io.h"
#include "io/stream_bytes.h"
#include "io/text_line.h"
#include "relight/brdf_tiles.h"
#include "relight/sh_basis.h"

namespace lumo {
namespace {

constexpr TextLineOptions kHeaderLine{.max_chars = 999, .drop_cr = false};

const char kHeaderMessage[] = "Cannot read brdf's header\n";
const char kCorrupted[] = "BRDF file possibly corrupted\n";

// Floats of coefficients a channel's staging block holds when the file is
// read straight into the tiles (64 KiB): large reads, the three blocks stay in
// the cache while their vectors are spread over the tiles, and they come from
// the allocator's heap (below its 128 KiB threshold for mapping blocks of
// their own, whose unmapping would interrupt the other threads of the
// process at every file).
constexpr size_t kStagingFloats = size_t{1} << 14;

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

// Reads the three header lines and the bitmaps into `data` and checks the
// sizes against what the stream still holds; floats[ch] receives the number
// of floats of channel ch's block, `seekable` whether the stream could tell
// its size.
Status ReadHeaderAndBitmaps(std::FILE* stream, BrdfFileData& data,
                            const MessageSink& header, size_t floats[3], bool& seekable) {
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
    seekable = left >= 0;
    if (seekable && need > static_cast<size_t>(left)) return Status::Error(kCorrupted);

    for (int ch = 0; ch < 3; ++ch) {
        if (!TryAssign(data.bitmap[ch], B, uint8_t{0}))
            return Status::Error("No memory for bitmap\n");
    }
    for (int ch = 0; ch < 3; ++ch) {
        if (std::fread(data.bitmap[ch].data(), 1, B, stream) != B)
            return Status::Error(kCorrupted);
    }
    return Status::Ok();
}

// Reads the three coefficient blocks in file order into data.CC.
Status ReadBlocks(std::FILE* stream, BrdfFileData& data, const size_t floats[3]) {
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

// The checks of the assembly: a channel may not point more pixels at its
// block than it holds.
Status CheckChannels(const BrdfFileData& data, bool blocks_read) {
    const size_t B = data.BitmapBytes();
    if (B == 0 || data.harcnt < 0) return Status::Error(kCorrupted);
    const size_t pixels =
        static_cast<size_t>(data.width) * static_cast<size_t>(data.height);
    for (int ch = 0; ch < 3; ++ch) {
        if (data.bitmap[ch].size() < B || data.count[ch] < 0 ||
            CountBits(data.bitmap[ch], pixels) > data.count[ch] ||
            (blocks_read && data.CC[ch].size() < static_cast<size_t>(data.count[ch]) *
                                                     static_cast<size_t>(data.harcnt)))
            return Status::Error(kCorrupted);
    }
    return Status::Ok();
}

BrdfTilePlanInput PlanInput(const BrdfFileData& data, bool half) {
    BrdfTilePlanInput in;
    in.half = half;
    in.width = data.width;
    in.height = data.height;
    in.lcnt = data.lcnt;
    in.harcnt = data.harcnt;
    for (int ch = 0; ch < 3; ++ch)
        in.bitmap[ch] = data.bitmap[ch].data();
    return in;
}

// AssembleBrdfImage without the process-wide effects.
Status AssembleTiles(const BrdfFileData& data, BrdfImage& image, bool half) {
    if (Status s = CheckChannels(data, true); !s.ok()) return s;
    if (Status s = PlanBrdfTiles(PlanInput(data, half), image); !s.ok()) return s;
    const float* src[3] = {data.CC[0].data(), data.CC[1].data(), data.CC[2].data()};
    for (size_t t = 0; t < static_cast<size_t>(image.tile_count); ++t)
        StoreTile(image, t, src);
    return Status::Ok();
}

// Reads the coefficient blocks of a seekable stream, positioned after the
// bitmaps, straight into the planned tiles of `image`. The tiles take their
// vectors from the three blocks at once, so each channel is read through its
// own staging block from its own place in the file, a run of tiles at a time.
Status StreamTiles(std::FILE* stream, const BrdfFileData& data, BrdfImage& image) {
    const size_t harcnt = static_cast<size_t>(data.harcnt);
    const size_t tiles = static_cast<size_t>(image.tile_count);
    off_t at[3] = {};
    at[0] = ftello(stream);
    if (at[0] < 0) return Status::Error(kCorrupted);
    for (int ch = 1; ch < 3; ++ch)
        at[ch] = at[ch - 1] + static_cast<off_t>(static_cast<size_t>(data.count[ch - 1]) *
                                                 harcnt * sizeof(float));
    // Vectors a staging block holds: a whole tile's at least, at most the
    // channel's own (so that a file of few long vectors costs no more than
    // the file's size).
    size_t cap[3] = {};
    std::unique_ptr<float[]> staging[3];
    for (int ch = 0; ch < 3; ++ch) {
        if (harcnt == 0) {
            cap[ch] = std::numeric_limits<size_t>::max();
            continue;
        }
        size_t used = 0;
        for (size_t t = 0; t < tiles; ++t)
            used += TileVectors(image, t, ch);
        cap[ch] = std::min(std::max<size_t>(kShLanes, kStagingFloats / harcnt), used);
        if (cap[ch] == 0) continue;
        staging[ch].reset(new (std::nothrow) float[cap[ch] * harcnt]);
        if (!staging[ch]) return Status::Error("No memory for CC\n");
    }
    size_t t = 0;
    while (t < tiles) {
        // The longest run of tiles whose vectors fit the staging blocks.
        size_t take[3] = {};
        size_t end = t;
        while (end < tiles) {
            size_t next[3];
            bool fits = true;
            for (int ch = 0; ch < 3; ++ch) {
                next[ch] = take[ch] + TileVectors(image, end, ch);
                fits = fits && next[ch] <= cap[ch];
            }
            if (!fits) break;
            for (int ch = 0; ch < 3; ++ch)
                take[ch] = next[ch];
            ++end;
        }
        const float* src[3] = {};
        for (int ch = 0; ch < 3; ++ch) {
            const size_t n = take[ch] * harcnt;
            src[ch] = staging[ch].get();
            if (n == 0) continue;
            if (fseeko(stream, at[ch], SEEK_SET) != 0 ||
                std::fread(staging[ch].get(), sizeof(float), n, stream) != n)
                return Status::Error(kCorrupted);
            cp_byteswap(staging[ch].get(), sizeof(float), n);
            at[ch] += static_cast<off_t>(n * sizeof(float));
        }
        for (; t < end; ++t)
            StoreTile(image, t, src);
    }
    return Status::Ok();
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
    size_t floats[3] = {};
    bool seekable = false;
    if (Status s = ReadHeaderAndBitmaps(stream, data, header, floats, seekable); !s.ok())
        return s;
    return ReadBlocks(stream, data, floats);
}

Status FinishBrdfImage(const BrdfImage& image) {
    return InitCoeffArr(image.lcnt);
}

Status AssembleBrdfImage(const BrdfFileData& data, BrdfImage& image, bool half) {
    if (Status s = AssembleTiles(data, image, half); !s.ok()) return s;
    return FinishBrdfImage(image);
}

Status ReadBrdfImage(std::FILE* stream, BrdfImage& image, const MessageSink& header,
                     bool half) {
    BrdfFileData data;
    size_t floats[3] = {};
    bool seekable = false;
    if (Status s = ReadHeaderAndBitmaps(stream, data, header, floats, seekable); !s.ok())
        return s;
    if (!seekable) {
        // A pipe cannot be read from three places: read the blocks in order.
        if (Status s = ReadBlocks(stream, data, floats); !s.ok()) return s;
        return AssembleTiles(data, image, half);
    }
    // The stream holds every block (checked with the header), so the checks
    // that the assembly makes after reading can be made first.
    if (Status s = CheckChannels(data, false); !s.ok()) return s;
    if (Status s = PlanBrdfTiles(PlanInput(data, half), image); !s.ok()) return s;
    return StreamTiles(stream, data, image);
}

Status LoadBrdfPath(const char* path, BrdfImage& image, const BrdfReadOptions& options) {
    if (options.opening) options.opening(StrPrintf("Reading BRDF file %s ... \n", path));
    FilePtr file = OpenFile(path, "rb");
    if (!file) return Status::Error(std::string("Cannot read brdf file: ") + path + "\n");
    return ReadBrdfImage(file.get(), image, options.header, options.half);
}

Status ReadBrdfPath(const char* path, BrdfImage& image, const BrdfReadOptions& options) {
    if (Status s = LoadBrdfPath(path, image, options); !s.ok()) return s;
    return FinishBrdfImage(image);
}

int32_t AvailableTerms(std::span<const BrdfImage> images) {
    for (const BrdfImage& image : images)
        if (image.tile_count > 0) return image.lcnt * image.lcnt;
    return 0;
}

}  // namespace lumo
