#include "io/image_set.h"

#include <cmath>
#include <functional>
#include <memory>
#include <new>

#include "io/alloc.h"
#include "io/checked_io.h"
#include "io/deflate_container.h"
#include "io/fatal.h"
#include "io/file_ptr.h"
#include "io/memory_stream.h"
#include "io/str_printf.h"

namespace lumo {
namespace {

constexpr const char* kNotValid = "Err : this is not a valid .dat file\n\n";
constexpr const char* kNoMemory = "Err : not enough memory for allocation.\n\n";
constexpr const char* kSizeMismatch =
    "[ReadDAT]: size in dct decoding and header does not match!\n\n";

// Gives the photo records for `count` images, or null when there are not
// that many.
using PhotoProvider = std::function<Photo*(size_t count)>;

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
    // The mosaic, padded to whole blocks, must stay within the limit (each
    // side first, so that the product cannot overflow).
    const int64_t padded_w = (int64_t{numCol} * width + 7) / 8 * 8;
    const int64_t padded_h = (int64_t{numRow} * height + 7) / 8 * 8;
    if (padded_w > max_pixels || padded_h > max_pixels ||
        padded_w * padded_h > max_pixels)
        return invalid;
    if (check != ImageSetCheck(numRow, numCol, width, height)) return invalid;
    const int32_t text_length = length - IMAGE_SET_HEADER_BASE;
    if (text_length < 1 || text_length > static_cast<int32_t>(IMAGE_SET_TEXT_MAX) - 1)
        return invalid;
    if (cp_fread(text, 1, static_cast<size_t>(text_length), stream) !=
        static_cast<size_t>(text_length))
        return invalid;
    text[text_length] = '\0';
    return Status::Ok();
}

// Reads the image set from `dat` (positioned at its start), after the first
// progress line and the opening.
Status ReadDATOpened(std::FILE* dat, const char* filename,
                     const PhotoProvider& photos_for, int32_t& numCol, int32_t& numRow,
                     const uint8_t* mask, const ImageSetReadOptions& options) {
    const MessageSink& progress = options.progress;
    std::vector<uint8_t> bytes;
    size_t decoded = 0;
    if (Status s = ReadDeflateZipFrom(dat, bytes, decoded, options.errors); !s.ok())
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
    const size_t images = static_cast<size_t>(nr) * static_cast<size_t>(nc);
    Photo* photos = photos_for(images);
    if (photos == nullptr) return Status::Error(mismatch);

    Emit(progress, "Decompression ... (please wait) \n");
    const size_t mosaic_w = static_cast<size_t>(nc) * static_cast<size_t>(w);
    const size_t mosaic_h = static_cast<size_t>(nr) * static_cast<size_t>(h);
    // The planes are written in full by the decoder: no need to clear them.
    std::unique_ptr<uint8_t[]> planes[3];
    for (std::unique_ptr<uint8_t[]>& plane : planes) {
        plane.reset(new (std::nothrow) uint8_t[std::max<size_t>(1, mosaic_w * mosaic_h)]);
        if (!plane) return Status::Error(kNoMemory);
    }

    DctReadOptions read;
    read.max_pixels = options.max_pixels;
    read.chunk_errors = options.errors;
    for (int c = 0; c < 3; ++c) {
        DctImage channel;
        if (Status s = channel.ReadFrom(stream.get(), read); !s.ok()) return s;
        Emit(progress, StrPrintf("- decoding channel [%d]  ", c));
        if (static_cast<size_t>(channel.width) != mosaic_w ||
            static_cast<size_t>(channel.height) != mosaic_h) {
            // The decode would print its progress before the sizes are
            // compared; the text is the same without decoding.
            const std::string dots = channel.ProgressText();
            Emit(progress, dots.substr(0, 1));
            if (channel.bitsPerBlock % 8 != 0)
                Emit(options.errors,
                     "[DctImage::UnPackBit]: Warning! total no of bits are not "
                     "8-multiple\n");
            Emit(progress, dots.substr(1));
            return Status::Error(kSizeMismatch);
        }
        if (Status s = channel.DecodeToBytes(planes[c].get(), mosaic_w, progress,
                                             options.errors, options.threads);
            !s.ok())
            return s;
    }
    stream.reset();
    Emit(progress, "setting up the textures and windows ... (please wait)\n");

    for (size_t j = 0; j < static_cast<size_t>(nr); ++j) {
        for (size_t k = 0; k < static_cast<size_t>(nc); ++k) {
            const size_t i = j * static_cast<size_t>(nc) + k;
            if (mask != nullptr && mask[i] == 0) continue;
            Photo& photo = photos[i];
            photo.Reset();
            if (Status s = photo.Alloc(w, h); !s.ok()) return s;
            photo.x0 = 0.0f;
            photo.x1 = static_cast<float>(w - 1);
            photo.y0 = 0.0f;
            photo.y1 = static_cast<float>(h - 1);
            uint8_t* out = photo.pixels.data();
            for (size_t y = 0; y < static_cast<size_t>(h); ++y) {
                const size_t row = MosaicY(y, j, static_cast<size_t>(nr)) * mosaic_w;
                const uint8_t* r = planes[0].get() + row;
                const uint8_t* g = planes[1].get() + row;
                const uint8_t* b = planes[2].get() + row;
                for (size_t x = 0; x < static_cast<size_t>(w); ++x, out += 3) {
                    const size_t col = MosaicX(x, k, static_cast<size_t>(nc));
                    out[0] = r[col];
                    out[1] = g[col];
                    out[2] = b[col];
                }
            }
        }
    }
    return Status::Ok();
}

Status ReadDATImpl(const char* filename, const PhotoProvider& photos_for, int32_t& numCol,
                   int32_t& numRow, const uint8_t* mask,
                   const ImageSetReadOptions& options) {
    Emit(options.progress, StrPrintf("reading and decompressing [%s] ... \n", filename));
    FilePtr dat = OpenFile(filename, "rb");
    if (!dat)
        return Status::Error(
            StrPrintf("Err : cannot open [%s] for reading\n\n", filename));
    return ReadDATOpened(dat.get(), filename, photos_for, numCol, numRow, mask, options);
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

Status ReadDATCore(const char* filename, Photo* photos, size_t photo_count,
                   int32_t& numCol, int32_t& numRow, const uint8_t* mask,
                   const ImageSetReadOptions& options) {
    return ReadDATImpl(
        filename, [&](size_t count) { return count <= photo_count ? photos : nullptr; },
        numCol, numRow, mask, options);
}

Status ReadDATStream(std::FILE* dat, const char* filename, Photo* photos,
                     size_t photo_count, int32_t& numCol, int32_t& numRow,
                     const uint8_t* mask, const ImageSetReadOptions& options) {
    Emit(options.progress, StrPrintf("reading and decompressing [%s] ... \n", filename));
    return ReadDATOpened(
        dat, filename,
        [&](size_t count) { return count <= photo_count ? photos : nullptr; }, numCol,
        numRow, mask, options);
}

void ReadDAT(const char* filename, Photo* photos, int32_t& numCol, int32_t& numRow,
             const uint8_t* mask) {
    const size_t count = numCol > 0 && numRow > 0
                             ? static_cast<size_t>(numCol) * static_cast<size_t>(numRow)
                             : 0;
    FatalIfError(ReadDATCore(filename, photos, count, numCol, numRow, mask));
}

void ReadDAT(const char* filename, std::vector<Photo>& photos, int32_t& numCol,
             int32_t& numRow, const uint8_t* mask) {
    FatalIfError(ReadDATImpl(
        filename,
        [&](size_t count) -> Photo* {
            if (photos.size() != count) {
                try {
                    photos.resize(count);
                } catch (const std::exception&) {
                    return nullptr;
                }
            }
            return photos.data();
        },
        numCol, numRow, mask, ImageSetReadOptions()));
}

}  // namespace lumo
