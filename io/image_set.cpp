#include "io/image_set.h"
#include "io/dct_pvt.h"
#include "io/image_set_pvt.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <new>
#include <string>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/alloc.h"
#include "base/byte_block.h"
#include "base/fatal.h"
#include "base/file_ptr.h"
#include "base/parallel_for.h"
#include "base/str_printf.h"
#include "io/checked_io.h"
#include "io/deflate_container.h"
#include "io/memory_stream.h"

namespace lumo {
namespace {

constexpr const char* kNotValid = "Err : this is not a valid .dat file\n\n";
constexpr const char* kNoMemory = "Err : not enough memory for allocation.\n\n";
constexpr const char* kSizeMismatch =
    "[ReadDAT]: size in dct decoding and header does not match!\n\n";

// Decoding is split into at most this many ranges.
constexpr size_t kMaxRanges = 16;

// Text for standard output (progress) and standard error (messages), kept
// in the order a sequential load prints it and shown as the work goes on:
// Show(f) prints the progress up to the fraction f of it, each message as
// soon as the progress before it is out; Finish prints the rest.
class ProgressScript {
  public:
    ProgressScript(const MessageSink& progress, const MessageSink& errors)
        : progress_(progress), errors_(errors) {}

    void Progress(std::string text) {
        if (text.empty()) return;
        total_ += text.size();
        pieces_.push_back({false, std::move(text)});
    }
    void Error(std::string text) {
        if (!text.empty()) pieces_.push_back({true, std::move(text)});
    }
    void Show(double fraction) {
        ShowUpTo(static_cast<size_t>(fraction * static_cast<double>(total_)));
    }
    void Finish() { ShowUpTo(SIZE_MAX); }

  private:
    struct Piece {
        bool error;
        std::string text;
    };
    void ShowUpTo(size_t chars) {
        while (next_ < pieces_.size()) {
            Piece& piece = pieces_[next_];
            if (piece.error) {
                Emit(errors_, piece.text);
            } else {
                if (shown_ >= chars) return;
                const size_t n = std::min(piece.text.size() - done_, chars - shown_);
                Emit(progress_, std::string_view(piece.text).substr(done_, n));
                done_ += n;
                shown_ += n;
                if (done_ < piece.text.size()) return;
            }
            done_ = 0;
            ++next_;
        }
    }

    const MessageSink& progress_;
    const MessageSink& errors_;
    std::vector<Piece> pieces_;
    size_t total_ = 0;  // progress characters in all
    size_t shown_ = 0;  // progress characters shown
    size_t next_ = 0;   // the first piece not wholly shown
    size_t done_ = 0;   // characters of it shown
};

#if defined(__x86_64__)
// Byte choices of InterleaveSixteen: out[q][c][t] is the index in channel c's
// 16 bytes of output byte 16 q + t, or 0x80 where it is another channel's.
struct RgbChoices {
    uint8_t pick[3][3][16];
};
constexpr RgbChoices MakeRgbChoices() {
    RgbChoices r{};
    for (int q = 0; q < 3; ++q)
        for (int c = 0; c < 3; ++c)
            for (int t = 0; t < 16; ++t)
                r.pick[q][c][t] =
                    (16 * q + t) % 3 == c ? static_cast<uint8_t>((16 * q + t) / 3) : 0x80;
    return r;
}
constexpr RgbChoices kRgbChoices = MakeRgbChoices();

// One pixel row of a view from the direct decode: `values` holds `runs` runs
// of three channels of 1024 bytes (value k of the 16 blocks at 16 k), the
// run r covering pixels from min(16 r, w - 16); out[3 x + c] = channel c of
// pixel x (the 16-lane decoder's machines all have SSSE3).
__attribute__((target("ssse3"))) void WriteViewRow(const uint8_t* values, size_t runs,
                                                   size_t k, size_t w, uint8_t* out) {
    __m128i pick[3][3];
    for (int q = 0; q < 3; ++q)
        for (int c = 0; c < 3; ++c)
            pick[q][c] =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRgbChoices.pick[q][c]));
    for (size_t run = 0; run < runs; ++run) {
        const uint8_t* red = values + 3 * run * 1024 + 16 * k;
        const __m128i in[3] = {
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(red)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + 1024)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + 2048))};
        uint8_t* dst = out + 3 * std::min(16 * run, w - 16);
        // Streamed past the caches where aligned: the photos are far larger
        // than the caches and not read back here.
        const bool aligned = (reinterpret_cast<uintptr_t>(dst) & 15) == 0;
        for (int q = 0; q < 3; ++q) {
            const __m128i sum =
                _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(in[0], pick[q][0]),
                                          _mm_shuffle_epi8(in[1], pick[q][1])),
                             _mm_shuffle_epi8(in[2], pick[q][2]));
            __m128i* at = reinterpret_cast<__m128i*>(dst + 16 * q);
            if (aligned) {
                _mm_stream_si128(at, sum);
            } else {
                _mm_storeu_si128(at, sum);
            }
        }
    }
}
// Makes the streamed writes of this thread visible before the photos are
// handed on.
void FinishStreamedWrites() {
    _mm_sfence();
}
#else
void FinishStreamedWrites() {}

void WriteViewRow(const uint8_t* values, size_t runs, size_t k, size_t w, uint8_t* out) {
    for (size_t run = 0; run < runs; ++run) {
        const uint8_t* red = values + 3 * run * 1024 + 16 * k;
        uint8_t* dst = out + 3 * std::min(16 * run, w - 16);
        for (int i = 0; i < 16; ++i)
            for (int c = 0; c < 3; ++c)
                dst[3 * i + c] = red[1024 * c + i];
    }
}
#endif

// Gives the photo records for `count` images, or null when there are not
// that many.
// Where the decoded images go: at most `capacity` of them, handed out by
// `get` (null when they cannot be had) once the file has shown that it holds
// the images, so that a header alone never costs memory.
struct PhotoTarget {
    size_t capacity = 0;
    std::function<Photo*(size_t count)> get;
};

Status ReadHeader(std::FILE* stream, int64_t max_pixels, int32_t& numRow, int32_t& numCol,
                  int32_t& width, int32_t& height, char (&text)[IMAGE_SET_TEXT_MAX]) {
    const Status invalid = Status::Error(kNotValid);
    int32_t v[6] = {};
    if (cp_fread(v, 4, 6, stream) != 6) return invalid;
    const int32_t check = v[0], length = v[1];
    numRow = v[2];
    numCol = v[3];
    width = v[4];
    height = v[5];
    if (length <= 0) return invalid;
    if (numRow <= 0 || numCol <= 0 || width <= 0 || height <= 0) return invalid;
    if (check != ImageSetCheck(numRow, numCol, width, height)) return invalid;
    // The mosaic, padded to whole blocks, must stay within the limit (each
    // side first, so that the product cannot overflow).
    const int64_t padded_w = (int64_t{numCol} * width + 7) / 8 * 8;
    const int64_t padded_h = (int64_t{numRow} * height + 7) / 8 * 8;
    if (padded_w > max_pixels || padded_h > max_pixels ||
        padded_w * padded_h > max_pixels)
        return Status::Error(
            StrPrintf("Err : %d x %d images of %d x %d pixels make a mosaic larger than "
                      "lumo reads (%lld pixels).\n\n",
                      numCol, numRow, width, height, static_cast<long long>(max_pixels)));
    const int32_t text_length = length - IMAGE_SET_HEADER_BASE;
    if (text_length < 1 || text_length > static_cast<int32_t>(IMAGE_SET_TEXT_MAX) - 1)
        return invalid;
    if (cp_fread(text, 1, static_cast<size_t>(text_length), stream) !=
        static_cast<size_t>(text_length))
        return invalid;
    text[text_length] = '\0';
    return Status::Ok();
}

// The mosaic of an image set: nr x nc images of w x h pixels.
struct Mosaic {
    int32_t nr = 0, nc = 0, w = 0, h = 0;
    size_t images = 0;  // nr * nc
    size_t width = 0;   // nc * w
    size_t height = 0;  // nr * h
};

// Mosaic column of pixel x of image column k; image row and row within it of
// mosaic row Y.
struct MosaicMap {
    std::vector<uint32_t> columns, image_row, row_in_image;
};

// The three channels are read first. What the sequential load prints (each
// channel's chunk errors, its "- decoding channel" line, the decoder's
// progress with the unpacker's warning after its "1") is kept in order in
// `script` and shown as the decoding goes on.
Status ReadChannels(std::FILE* stream, const ImageSetReadOptions& options,
                    const Mosaic& m, ProgressScript& script, DctImage (&channels)[3]) {
    DctReadOptions read;
    read.max_pixels = options.max_pixels;
    read.threads = options.threads;
    for (int c = 0; c < 3; ++c) {
        DctImage& channel = channels[c];
        std::string chunk_errors;
        read.chunk_errors = [&](std::string_view t) { chunk_errors += t; };
        const Status s = channel.Read(stream, read);
        script.Error(chunk_errors);
        if (!s.ok()) {
            script.Finish();
            return s;
        }
        script.Progress(StrPrintf("- decoding channel [%d]  ", c));
        const std::string text = channel.ProgressText();
        script.Progress(text.substr(0, 1));
        if (channel.bitsPerBlock % 8 != 0)
            script.Error(
                "[DctImage::UnPackBit]: Warning! total no of bits are not 8-multiple\n");
        script.Progress(text.substr(1));
        if (static_cast<size_t>(channel.width) != m.width ||
            static_cast<size_t>(channel.height) != m.height) {
            script.Finish();
            return Status::Error(kSizeMismatch);
        }
    }
    return Status::Ok();
}

// Clears and allocates every present photo (on all threads) and fills `map`.
// A failure is reported where the photos are set up, after the decoding's
// progress, as the first failing image's.
Status SetUpPhotos(Photo* photos, const Mosaic& m, const uint8_t* mask,
                   const ImageSetReadOptions& options, ProgressScript& script,
                   MosaicMap& map) {
    std::vector<size_t> present;
    std::vector<uint8_t> allocated;
    if (!TryAssign(present, m.images) || !TryAssign(allocated, m.images) ||
        !TryAssign(map.columns, m.width) || !TryAssign(map.image_row, m.height) ||
        !TryAssign(map.row_in_image, m.height))
        return Status::Error(kNoMemory);
    for (size_t k = 0; k < static_cast<size_t>(m.nc); ++k)
        for (size_t x = 0; x < static_cast<size_t>(m.w); ++x)
            map.columns[k * static_cast<size_t>(m.w) + x] =
                static_cast<uint32_t>(MosaicX(x, k, static_cast<size_t>(m.nc)));
    for (size_t j = 0; j < static_cast<size_t>(m.nr); ++j)
        for (size_t y = 0; y < static_cast<size_t>(m.h); ++y) {
            const size_t Y = MosaicY(y, j, static_cast<size_t>(m.nr));
            map.image_row[Y] = static_cast<uint32_t>(j);
            map.row_in_image[Y] = static_cast<uint32_t>(y);
        }
    size_t count = 0;
    for (size_t i = 0; i < m.images; ++i)
        if (mask == nullptr || mask[i] != 0) present[count++] = i;
    ParallelForRanges(count, options.threads, kMaxRanges, [&](size_t first, size_t last) {
        for (size_t p = first; p < last; ++p) {
            Photo& photo = photos[present[p]];
            photo.Reset();
            allocated[p] = photo.AllocPixels(m.w, m.h);
            photo.x0 = 0.0f;
            photo.x1 = static_cast<float>(m.w - 1);
            photo.y0 = 0.0f;
            photo.y1 = static_cast<float>(m.h - 1);
        }
    });
    script.Show(0.0);  // the first channel's chunk errors, if any
    if (std::find(allocated.begin(), allocated.begin() + static_cast<ptrdiff_t>(count),
                  0) != allocated.begin() + static_cast<ptrdiff_t>(count)) {
        script.Finish();
        Emit(options.progress, "setting up the textures and windows ... (please wait)\n");
        return Status::Error("[ReadSGIRGB]: no enough memory for buf\n");
    }
    return Status::Ok();
}

// Band by band (a row of blocks of all three channels into a small buffer),
// then each photo row of the band written once, red, green and blue together.
Status DecodeMosaic(const DctImage (&channels)[3], Photo* photos, const Mosaic& m,
                    const MosaicMap& map, const uint8_t* mask,
                    const ImageSetReadOptions& options, ProgressScript& script) {
    const DctBandDecoder decoders[3] = {DctBandDecoder(channels[0]),
                                        DctBandDecoder(channels[1]),
                                        DctBandDecoder(channels[2])};
    const size_t bands = (m.height + 7) / 8;
    const size_t row_bytes = 3 * static_cast<size_t>(m.w);
    std::atomic<bool> out_of_memory{false};
    auto decode = [&](size_t first, size_t last, bool shows) {
        std::vector<uint8_t> band;
        if (!TryAssign(band, 3 * 8 * m.width)) {
            out_of_memory = true;
            return;
        }
        for (size_t r = first; r < last; ++r) {
            for (int c = 0; c < 3; ++c)
                decoders[c].Rows(r, r + 1, band.data() + c * 8 * m.width, m.width);
            const size_t rows = std::min<size_t>(8, m.height - 8 * r);
            for (size_t y = 0; y < rows; ++y) {
                const size_t Y = 8 * r + y;
                const size_t j = map.image_row[Y];
                const uint8_t* red = band.data() + y * m.width;
                const uint8_t* green = red + 8 * m.width;
                const uint8_t* blue = green + 8 * m.width;
                for (size_t k = 0; k < static_cast<size_t>(m.nc); ++k) {
                    const size_t i = j * static_cast<size_t>(m.nc) + k;
                    if (mask != nullptr && mask[i] == 0) continue;
                    uint8_t* out =
                        photos[i].pixels.data() + map.row_in_image[Y] * row_bytes;
                    const uint32_t* col =
                        map.columns.data() + k * static_cast<size_t>(m.w);
                    for (size_t x = 0; x < static_cast<size_t>(m.w); ++x, out += 3) {
                        out[0] = red[col[x]];
                        out[1] = green[col[x]];
                        out[2] = blue[col[x]];
                    }
                }
            }
            if (shows) script.Show(double(r + 1 - first) / double(last - first));
        }
    };
    // Where the images make whole blocks (8 image columns and 8 image rows
    // to a block, no mirrored rows) and the decoder has 16 lanes, each block
    // holds one pixel of 64 images: 16 blocks a pixel apart decode to 16
    // neighbouring pixels of each of the 64 images, written straight into
    // the photos, red, green and blue together.
    const size_t col_groups = static_cast<size_t>(m.nc) / 8;
    const size_t row_groups = static_cast<size_t>(m.nr) / 8;
    bool direct = m.nc % 8 == 0 && m.nr % 8 == 0 && m.w >= 16 && DctLaneWidth() >= 16;
    for (const DctImage& channel : channels)
        direct =
            direct && 16 * col_groups * static_cast<size_t>(channel.bitsPerBlock) / 8 <
                          (size_t{1} << 30);
    auto decode_direct = [&](size_t first, size_t last, bool shows) {
        const size_t across = m.width / 8;
        // A pixel row of 64 images at a time (runs of 16 pixels, the last
        // ending at the right edge and overlapping the one before with the
        // same bytes), then each image's row written whole.
        const size_t runs = (static_cast<size_t>(m.w) + 15) / 16;
        std::vector<uint8_t> values;
        if (!TryAssign(values, runs * 3 * 1024)) {
            out_of_memory = true;
            return;
        }
        for (size_t r = first; r < last; ++r) {
            const size_t y = r / row_groups;
            const size_t j0 = 8 * (r % row_groups);
            for (size_t g = 0; g < col_groups; ++g) {
                for (size_t run = 0; run < runs; ++run) {
                    const size_t x = std::min(16 * run, static_cast<size_t>(m.w) - 16);
                    const size_t block = r * across + x * col_groups + g;
                    for (int c = 0; c < 3; ++c)
                        decoders[c].Sixteen(block, col_groups,
                                            values.data() + (3 * run + c) * 1024);
                }
                for (size_t k = 0; k < 64; ++k) {
                    const size_t i =
                        (j0 + k / 8) * static_cast<size_t>(m.nc) + 8 * g + k % 8;
                    if (mask != nullptr && mask[i] == 0) continue;
                    WriteViewRow(values.data(), runs, k, static_cast<size_t>(m.w),
                                 photos[i].pixels.data() + y * row_bytes);
                }
            }
            if (shows) script.Show(double(r + 1 - first) / double(last - first));
        }
        FinishStreamedWrites();
    };
    ParallelForRanges(bands, options.threads, kMaxRanges, [&](size_t first, size_t last) {
        if (direct) {
            decode_direct(first, last, first == 0);
        } else {
            decode(first, last, first == 0);
        }
    });
    if (out_of_memory) return Status::Error(kNoMemory);
    return Status::Ok();
}

// Reads the image set from `dat` (positioned at its start), after the first
// progress line and the opening.
Status ReadDATOpened(std::FILE* dat, const char* filename, const PhotoTarget& target,
                     int32_t& numCol, int32_t& numRow, const uint8_t* mask,
                     const ImageSetReadOptions& options) {
    const MessageSink& progress = options.progress;
    ByteBlock bytes;  // the decoded image-set stream
    size_t decoded = 0;
    if (Status s = ReadDeflateZip(dat, bytes, decoded, options.errors, options.threads);
        !s.ok())
        return s;
    FilePtr stream = OpenMemoryStream(bytes.data(), decoded);
    if (!stream) return Status::Error("Err : cannot open a data stream.\n\n");

    int32_t nr = 0, nc = 0, w = 0, h = 0;
    char text[IMAGE_SET_TEXT_MAX];
    if (Status s = ReadHeader(stream.get(), options.max_pixels, nr, nc, w, h, text);
        !s.ok())
        return s;
    Emit(progress, StrPrintf("numRow   :  %d\n", nr));
    Emit(progress, StrPrintf("numCol   :  %d\n", nc));
    Emit(progress, StrPrintf("width    :  %d\n", w));
    Emit(progress, StrPrintf("height   :  %d\n", h));
    const std::string mismatch = StrPrintf(
        "Err : images in [%s] [%d x %d] does not match that stated in .lid file "
        "[%d x %d].\n\n",
        filename, nr, nc, numRow, numCol);
    if (numCol > 0 && numRow > 0 && (numCol != nc || numRow != nr))
        return Status::Error(mismatch);
    numCol = nc;
    numRow = nr;
    Mosaic m;
    m.nr = nr;
    m.nc = nc;
    m.w = w;
    m.h = h;
    m.images = static_cast<size_t>(nr) * static_cast<size_t>(nc);
    m.width = static_cast<size_t>(nc) * static_cast<size_t>(w);
    m.height = static_cast<size_t>(nr) * static_cast<size_t>(h);
    if (m.images > target.capacity) return Status::Error(mismatch);

    Emit(progress, "Decompression ... (please wait) \n");
    ProgressScript script(progress, options.errors);
    DctImage channels[3];
    if (Status s = ReadChannels(stream.get(), options, m, script, channels); !s.ok())
        return s;
    stream.reset();
    Photo* photos = target.get(m.images);
    if (photos == nullptr) {
        script.Finish();
        return Status::Error(kNoMemory);
    }
    MosaicMap map;
    if (Status s = SetUpPhotos(photos, m, mask, options, script, map); !s.ok()) return s;
    if (Status s = DecodeMosaic(channels, photos, m, map, mask, options, script); !s.ok())
        return s;
    script.Finish();
    Emit(progress, "setting up the textures and windows ... (please wait)\n");
    return Status::Ok();
}

Status ReadDATImpl(const char* filename, const PhotoTarget& target, int32_t& numCol,
                   int32_t& numRow, const uint8_t* mask,
                   const ImageSetReadOptions& options) {
    Emit(options.progress, StrPrintf("reading and decompressing [%s] ... \n", filename));
    FilePtr dat = OpenFile(filename, "rb");
    if (!dat)
        return Status::Error(
            StrPrintf("Err : cannot open [%s] for reading\n\n", filename));
    return ReadDATOpened(dat.get(), filename, target, numCol, numRow, mask, options);
}

}  // namespace

int32_t ImageSetCheck(int32_t numRow, int32_t numCol, int32_t width, int32_t height) {
    const uint32_t product = static_cast<uint32_t>(numRow) *
                             static_cast<uint32_t>(numCol) *
                             static_cast<uint32_t>(width) * static_cast<uint32_t>(height);
    const int32_t signed_product = static_cast<int32_t>(product);
    // A wrapped, negative product has no square root; such counts are refused
    // before the check matters.
    const double root =
        signed_product > 0 ? std::sqrt(static_cast<double>(signed_product)) : 0.0;
    return 6302001 - static_cast<int32_t>(root);
}

Status ReadDATHeader(std::FILE* stream, int32_t& numRow, int32_t& numCol, int32_t& width,
                     int32_t& height, char (&text)[IMAGE_SET_TEXT_MAX]) {
    return ReadHeader(stream, DCT_MAX_PIXELS, numRow, numCol, width, height, text);
}

Status ReadDAT(const char* filename, Photo* photos, size_t photo_count, int32_t& numCol,
               int32_t& numRow, const uint8_t* mask, const ImageSetReadOptions& options) {
    return ReadDATImpl(filename, {photo_count, [&](size_t) { return photos; }}, numCol,
                       numRow, mask, options);
}

Status ReadDATStream(std::FILE* dat, const char* filename, Photo* photos,
                     size_t photo_count, int32_t& numCol, int32_t& numRow,
                     const uint8_t* mask, const ImageSetReadOptions& options) {
    Emit(options.progress, StrPrintf("reading and decompressing [%s] ... \n", filename));
    return ReadDATOpened(dat, filename, {photo_count, [&](size_t) { return photos; }},
                         numCol, numRow, mask, options);
}

void ReadDATOrExit(const char* filename, Photo* photos, int32_t& numCol, int32_t& numRow,
                   const uint8_t* mask) {
    const size_t count = numCol > 0 && numRow > 0
                             ? static_cast<size_t>(numCol) * static_cast<size_t>(numRow)
                             : 0;
    FatalIfError(ReadDAT(filename, photos, count, numCol, numRow, mask));
}

Status ReadDAT(const char* filename, std::vector<Photo>& photos, int32_t& numCol,
               int32_t& numRow, const uint8_t* mask, const ImageSetReadOptions& options) {
    const PhotoTarget target{SIZE_MAX, [&](size_t count) -> Photo* {
                                 if (photos.size() != count) {
                                     try {
                                         photos.resize(count);
                                     } catch (const std::exception&) {
                                         return nullptr;
                                     }
                                 }
                                 return photos.data();
                             }};
    return ReadDATImpl(filename, target, numCol, numRow, mask, options);
}

void ReadDATOrExit(const char* filename, std::vector<Photo>& photos, int32_t& numCol,
                   int32_t& numRow, const uint8_t* mask) {
    FatalIfError(ReadDAT(filename, photos, numCol, numRow, mask, ImageSetReadOptions()));
}

}  // namespace lumo
