#include "io/image_set_writer.h"
#include "io/named_file_write.h"

#include "base/file_ptr.h"
#include "base/str_printf.h"
#include "io/image_set.h"
#include "io/image_set_pvt.h"

namespace lumo {
namespace {

void PutBig32(std::vector<uint8_t>& out, int32_t value) {
    const uint32_t v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
}

}  // namespace

std::vector<float> BuildMosaic(const Photo* photos, int32_t numCol, int32_t numRow,
                               int c) {
    const size_t nc = static_cast<size_t>(numCol), nr = static_cast<size_t>(numRow);
    const size_t w = static_cast<size_t>(photos[0].width);
    const size_t h = static_cast<size_t>(photos[0].height);
    const size_t mosaic_w = nc * w;
    std::vector<float> mosaic(mosaic_w * nr * h);
    for (size_t j = 0; j < nr; ++j)
        for (size_t k = 0; k < nc; ++k) {
            const uint8_t* in = photos[j * nc + k].pixels.data() + c;
            for (size_t y = 0; y < h; ++y) {
                float* row = mosaic.data() + MosaicY(y, j, nr) * mosaic_w;
                for (size_t x = 0; x < w; ++x, in += 3)
                    row[MosaicX(x, k, nc)] = *in;
            }
        }
    return mosaic;
}

Status EncodeImageSet(const Photo* photos, int32_t numCol, int32_t numRow,
                      const ImageSetWriteOptions& options, std::vector<uint8_t>& file,
                      ImageSetCode* code) {
    if (numCol < 1 || numRow < 1) return Status::Error("[WriteImageSet]: no images\n");
    const int32_t w = photos[0].width, h = photos[0].height;
    const size_t count = static_cast<size_t>(numCol) * static_cast<size_t>(numRow);
    for (size_t i = 0; i < count; ++i) {
        const Photo& p = photos[i];
        if (p.width != w || p.height != h || w < 1 || h < 1 ||
            p.pixels.size() != static_cast<size_t>(w) * static_cast<size_t>(h) * 3)
            return Status::Error("[WriteImageSet]: the images are not all of one size\n");
    }
    if (options.text.empty() || options.text.size() > IMAGE_SET_TEXT_MAX - 1)
        return Status::Error("[WriteImageSet]: header text must be 1 to 1023 bytes\n");
    const int64_t mosaic_w = int64_t{numCol} * w, mosaic_h = int64_t{numRow} * h;
    if (mosaic_w > INT32_MAX || mosaic_h > INT32_MAX ||
        mosaic_w * mosaic_h > DCT_MAX_PIXELS)
        return Status::Error("[EncodeDct]: image size out of range\n");

    std::vector<uint8_t> stream;
    PutBig32(stream, ImageSetCheck(numRow, numCol, w, h));
    PutBig32(stream, IMAGE_SET_HEADER_BASE + static_cast<int32_t>(options.text.size()));
    PutBig32(stream, numRow);
    PutBig32(stream, numCol);
    PutBig32(stream, w);
    PutBig32(stream, h);
    stream.insert(stream.end(), options.text.begin(), options.text.end());
    ImageSetCode local;
    ImageSetCode& chosen = code != nullptr ? *code : local;
    for (int c = 0; c < 3; ++c) {
        const std::vector<float> mosaic = BuildMosaic(photos, numCol, numRow, c);
        if (Status s =
                EncodeDct(mosaic.data(), static_cast<int32_t>(mosaic_w),
                          static_cast<int32_t>(mosaic_h), options.dct, chosen.channel[c]);
            !s.ok())
            return s;
        // The inner containers' offsets are positions in the decoded stream.
        if (Status s = AppendDctStream(stream, chosen.channel[c], 0, options.deflate);
            !s.ok())
            return s;
    }
    file.clear();
    return AppendDeflateZip(file, stream.data(), stream.size(), options.deflate, 0);
}

Status WriteImageSet(const char* path, const Photo* photos, int32_t numCol,
                     int32_t numRow, const ImageSetWriteOptions& options,
                     ImageSetCode* code) {
    std::vector<uint8_t> file;
    if (Status s = EncodeImageSet(photos, numCol, numRow, options, file, code); !s.ok())
        return s;
    return WriteNamedFile(
        "WriteImageSet", path,
        std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
}

}  // namespace lumo
