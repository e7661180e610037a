// Fuzzes the coefficient-cache reader (relight/brdf_cache.h). The first byte
// of an input chooses how it is read, the rest is the cache file:
//
//   bit 0  the precision asked for: half when set (the seeds ask for their own)
//   bit 1  left as it is; otherwise sealed first (SealBrdfCache writes in the
//          checksums its fields call for), so that changed fields and blocks
//          get past the checksums to the structural checks behind them
//
// The file is mapped from one temporary path per process with the stamp the
// seeds were written with (coeff_cache_stamp.h): a changed stamp in a header
// is a stale cache. A refused cache must leave the image and text empty; a
// mapped one is walked as the engine walks it (every pixel index, every
// coefficient once, under AddressSanitizer), its promises checked, and
// relit with one light and with two.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "relight/brdf_cache.h"
#include "tests/fuzz/coeff_cache_stamp.h"
#include "tests/fuzz/relight_whole.h"

namespace {

using namespace lumo;

char folder[] = "/tmp/lumo_fuzz_cache_XXXXXX";

// Removes the file and its folder when the fuzzer ends its run.
void RemoveCache() {
    std::remove((std::string(folder) + "/fuzz.lumocache").c_str());
    rmdir(folder);
}

const std::string& CachePath() {
    static const std::string path = [] {
        if (mkdtemp(folder) == nullptr) std::abort();
        std::atexit(RemoveCache);
        return std::string(folder) + "/fuzz.lumocache";
    }();
    return path;
}

// Reads every coefficient once, in the engine's addressing (TileOffset), and
// checks what the reader promises: pixel indices in order and inside the
// image's window, padding only at the end, blocks of the sizes the counts ask.
void Walk(const BrdfImage& image) {
    const size_t tiles = static_cast<size_t>(image.tile_count);
    const size_t room = static_cast<size_t>(image.harcnt > 0 ? image.harcnt : 1);
    const size_t values = tiles * kShTermStride * room;
    if (image.tile_pixel.size() != tiles * kShLanes ||
        image.tile_mask.size() != tiles * 3 ||
        (image.half ? image.coeff_half.size() : image.coeff.size()) != values ||
        (image.half ? !image.coeff.empty() : !image.coeff_half.empty()))
        std::abort();
    const int64_t pixels = int64_t{image.width} * image.height;
    int64_t last = -1;
    bool padding = false;
    float sum = 0;
    for (size_t t = 0; t < tiles; ++t) {
        for (int32_t lane = 0; lane < kShLanes; ++lane) {
            const int64_t e = image.tile_pixel[t * kShLanes + static_cast<size_t>(lane)];
            if (e < 0) {
                if (e != -1 || lane == 0) std::abort();
                padding = true;
                continue;
            }
            if (padding || e <= last || e >= pixels) std::abort();
            last = e;
            const int64_t x = e % image.width, y = e / image.width;
            if (x < image.xmin || x > image.xmax || y < image.ymin || y > image.ymax)
                std::abort();
        }
        for (int ch = 0; ch < 3; ++ch) {
            for (size_t i = 0; i < room; ++i) {
                for (int32_t lane = 0; lane < kShLanes; ++lane) {
                    const ptrdiff_t at = image.TileOffset(static_cast<int32_t>(t), ch) +
                                         static_cast<ptrdiff_t>(i) * kShTermStride + lane;
                    sum += image.half ? HalfToFloat(image.coeff_half.data()[at])
                                      : image.coeff.data()[at];
                }
            }
        }
    }
    if (tiles > 0 && image.Pixel(0, static_cast<size_t>(last)).present())
        sum += image.Pixel(0, static_cast<size_t>(last)).Coeff(0);
    volatile float sink = sum;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool half = (data[0] & 1) != 0;
    std::vector<uint8_t> file(data + 1, data + size);
    if ((data[0] & 2) == 0) SealBrdfCache(file.data(), file.size());
    std::FILE* f = std::fopen(CachePath().c_str(), "wb");
    if (f == nullptr) return 0;
    const bool written = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (std::fclose(f) != 0 || !written) return 0;

    BrdfImage image;
    std::string text = "stale";
    if (!MapBrdfCache(CachePath(), kFuzzCacheStamp, half, image, text)) {
        if (!text.empty() || image.tile_count != 0 || !image.tile_pixel.empty() ||
            !image.coeff.empty() || !image.coeff_half.empty())
            std::abort();
        return 0;
    }
    if (!image.mapped() && image.tile_count > 0) std::abort();
    if (image.half != half) std::abort();
    Walk(image);
    // The output of a large image that holds few pixels would only try the
    // fuzzer's memory limit.
    if (int64_t{image.width} * image.height <= (int64_t{1} << 20)) RelightWhole(image);
    return 0;
}
