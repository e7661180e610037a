#include "io/sgi_writer.h"
#include "io/named_file_write.h"

#include <algorithm>
#include <cstring>

#include "base/file_ptr.h"
#include "base/str_printf.h"
#include "io/sgi_image.h"
#include "io/sgi_pvt.h"

namespace lumo {
namespace {

constexpr const char* kBadSize = "[WriteSGI]: image size does not fit an SGI file\n";
constexpr const char* kWriteFailed = "[WriteSGI]: write failed\n";

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

}  // namespace

std::vector<uint8_t> PackRLERow(const uint8_t* row, size_t length) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < length) {
        // A run of three or more equal bytes, or literals up to the next one.
        size_t run = 1;
        while (i + run < length && run < 127 && row[i + run] == row[i])
            ++run;
        if (run >= 3) {
            out.push_back(static_cast<uint8_t>(run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        size_t end = i;
        while (end < length && end - i < 127) {
            if (end + 2 < length && row[end] == row[end + 1] && row[end] == row[end + 2])
                break;
            ++end;
        }
        out.push_back(static_cast<uint8_t>(0x80 | (end - i)));
        out.insert(out.end(), row + i, row + end);
        i = end;
    }
    out.push_back(0);
    return out;
}

Status WriteSGI(std::FILE* stream, const SgiImage& image,
                const SgiWriteOptions& options) {
    const int32_t xs = image.xsize, ys = image.ysize, zs = image.zsize;
    if (xs < 0 || ys < 0 || zs < 0 || xs > 65535 || ys > 65535 || zs > 65535 ||
        image.planes.size() != static_cast<size_t>(xs) * ys * zs)
        return Status::Error(kBadSize);
    const bool rle = options.storage == SgiStorage::kRunLength;

    std::vector<uint8_t> header(IRIS_HEADER_LEN, 0);
    Put16(&header[0], IRIS_MAGIC);
    header[2] = rle ? 1 : 0;
    header[3] = 1;
    Put16(&header[4], zs == 1 ? 2 : 3);
    Put16(&header[6], static_cast<uint32_t>(xs));
    Put16(&header[8], static_cast<uint32_t>(ys));
    Put16(&header[10], static_cast<uint32_t>(zs));
    Put32(&header[12], 0);    // smallest pixel value
    Put32(&header[16], 255);  // largest pixel value
    std::memcpy(&header[24], "lumo", 4);

    std::vector<uint8_t> body;
    if (!rle) {
        body = image.planes;
    } else {
        const size_t entries = static_cast<size_t>(ys) * zs;
        std::vector<std::vector<uint8_t>> lines(entries);
        for (size_t e = 0; e < entries; ++e)
            lines[e] = PackRLERow(image.planes.data() + e * xs, static_cast<size_t>(xs));
        // Scanline e (channel e / ys, row e % ys) in the file order asked for.
        std::vector<size_t> order;
        for (int32_t r = 0; r < ys; ++r)
            for (int32_t c = 0; c < zs; ++c)
                order.push_back(static_cast<size_t>(c) * ys + r);
        if (options.order == SgiScanlineOrder::kChannelByChannel) {
            std::sort(order.begin(), order.end());
        } else if (options.order == SgiScanlineOrder::kBackwards) {
            std::reverse(order.begin(), order.end());
        }
        std::vector<uint8_t> tables(8 * entries);
        uint64_t position = IRIS_HEADER_LEN + 8 * entries;
        for (size_t e : order) {
            if (position + lines[e].size() > 0x7fffffff) return Status::Error(kBadSize);
            Put32(&tables[4 * e], static_cast<uint32_t>(position));
            Put32(&tables[4 * (entries + e)], static_cast<uint32_t>(lines[e].size()));
            position += lines[e].size();
        }
        body = std::move(tables);
        for (size_t e : order)
            body.insert(body.end(), lines[e].begin(), lines[e].end());
    }
    if (std::fwrite(header.data(), 1, header.size(), stream) != header.size() ||
        std::fwrite(body.data(), 1, body.size(), stream) != body.size())
        return Status::Error(kWriteFailed);
    return Status::Ok();
}

Status WriteSGIFile(const char* path, const SgiImage& image,
                    const SgiWriteOptions& options) {
    return WriteNamedFile("WriteSGI", path, [&](std::FILE* stream) {
        return WriteSGI(stream, image, options);
    });
}

SgiImage SgiFromPhoto(const Photo& photo) {
    SgiImage image;
    image.xsize = photo.width;
    image.ysize = photo.height;
    image.zsize = 3;
    if (photo.width < 0 || photo.height < 0) return image;  // refused by the writer
    const size_t n = static_cast<size_t>(photo.width) * photo.height;
    if (photo.pixels.size() != 3 * n) return image;  // planes of the wrong size: refused
    image.planes.resize(3 * n);
    for (size_t i = 0; i < n; ++i)
        for (size_t c = 0; c < 3; ++c)
            image.planes[c * n + i] = photo.pixels[3 * i + c];
    return image;
}

Status WriteSGIRGB(const char* path, const Photo& photo, const SgiWriteOptions& options) {
    return WriteSGIFile(path, SgiFromPhoto(photo), options);
}

}  // namespace lumo
