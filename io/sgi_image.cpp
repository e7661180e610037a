#include "io/sgi_image.h"
#include "io/sgi_pvt.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/alloc.h"
#include "base/file_ptr.h"
#include "base/str_printf.h"
#include "io/checked_io.h"
#include "io/stream_bytes.h"

namespace lumo {
namespace {

constexpr const char* kOutOfMemory = "out of memory in LoadIRIS()";
constexpr const char* kNoRgbBlock = "couldn't malloc pic824 in LoadIRIS()";
constexpr const char* kTooLarge = "[LoadIRIS]: image size does not fit the file\n";
constexpr const char* kNoKeptBuffer =
    "[ReadSGIRGB]: you have not allocated memory before for buf\n";

// A verbatim image stores every pixel; a file this short cannot hold more
// than this many pixels per byte even when it is cut short, so anything
// larger is a corrupt header, refused before the buffers are allocated.
constexpr uint64_t kMaxPixelsPerByte = 128;

// The most pixels a run-length scanline of `length` bytes can give: 127 for
// every two bytes (a run packet). Rows may all share one stored scanline, so
// the longest scanline bounds the width, whatever the number of rows.
uint64_t MostScanlinePixels(uint64_t length) {
    return 127 * ((length + 1) / 2);
}

// The number of bytes from `offset` to the end of `stream`, or -1 when the
// stream cannot tell.
long BytesFrom(std::FILE* stream, long offset) {
    const long here = std::ftell(stream);
    const long left = StreamBytesLeft(stream);
    return here < 0 || left < 0 ? -1 : std::max(0L, here + left - offset);
}

// Expands one run-length scanline of `length` bytes into byte `lane` of each
// 4-byte pixel of `row` (xsize pixels). Packets that would run past the row's
// end, or past the scanline's bytes, stop the expansion there.
void ExpandRLERow(const uint8_t* in, size_t length, uint8_t* row, size_t xsize,
                  size_t lane) {
    size_t i = 0;
    size_t x = 0;
    while (i < length) {
        const uint8_t b = in[i++];
        size_t n = b & 0x7F;
        if (n == 0) return;
        if (b & 0x80) {
            while (n-- > 0 && i < length && x < xsize)
                row[4 * x++ + lane] = in[i++];
            if (x == xsize) return;
        } else {
            if (i >= length) return;
            const uint8_t value = in[i++];
            while (n-- > 0 && x < xsize)
                row[4 * x++ + lane] = value;
            if (x == xsize) return;
        }
    }
}

}  // namespace

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

bool IrisError(const MessageSink& sink, const char* name, const char* reason) {
    std::string text(name != nullptr ? name : "");
    text += ": ";
    text += reason;
    if (sink) sink(text);
    return false;
}

Status shuffling(void* data, size_t size, const int* order, size_t count) {
    std::vector<uint8_t> tmp;
    size_t bytes = 0;
    if (!CheckedMul(size, count, bytes) || !TryAssign(tmp, bytes))
        return Status::Error("[shuffling]: no memory for tmpData\n");
    auto* p = static_cast<uint8_t*>(data);
    if (bytes > 0) std::memcpy(tmp.data(), p, bytes);
    for (size_t i = 0; i < count; ++i)
        std::memcpy(p + i * size, tmp.data() + static_cast<size_t>(order[i]) * size,
                    size);
    return Status::Ok();
}

Status LoadIRIS(std::FILE* stream, const IrisHeader& header, long offset,
                std::vector<uint8_t>& buffer, const char*& reason) {
    buffer.clear();
    reason = nullptr;
    if (header.bpc() != 1) {
        reason = "image must have 1 byte per pix chan";
        return Status::Ok();
    }
    const size_t xsize = header.xsize;
    const size_t ysize = header.ysize;
    const size_t zsize = header.zsize;
    const size_t pixels = xsize * ysize;
    if (pixels > SGI_MAX_PIXELS)
        return Status::Error(StrPrintf(
            "[LoadIRIS]: image of %zu x %zu pixels is larger than lumo reads (%llu "
            "pixels)\n",
            xsize, ysize, static_cast<unsigned long long>(SGI_MAX_PIXELS)));
    const long available = BytesFrom(stream, offset);
    const uint64_t body =
        available >= 0 ? static_cast<uint64_t>(std::max(0L, available - IRIS_HEADER_LEN))
                       : 0;
    const bool run_length = header.storage() == 1;
    const size_t channels = std::min<size_t>(zsize, 4);  // the rest are ignored

    if (!run_length) {
        if (available >= 0 &&
            pixels > kMaxPixelsPerByte * static_cast<uint64_t>(available))
            return Status::Error(kTooLarge);
        if (!TryAssign(buffer, pixels * 4)) return Status::Error(kOutOfMemory);
        std::vector<uint8_t> line;
        if (!TryAssign(line, xsize)) return Status::Error(kOutOfMemory);
        std::fseek(stream, offset + IRIS_HEADER_LEN, SEEK_SET);
        for (size_t c = 0; c < channels; ++c) {
            for (size_t r = 0; r < ysize; ++r) {
                const size_t got = cp_fread(line.data(), 1, xsize, stream);
                uint8_t* row = buffer.data() + r * xsize * 4;
                for (size_t x = 0; x < got; ++x)
                    row[4 * x + 3 - c] = line[x];
            }
        }
        return Status::Ok();
    }

    // Run-length: the start and length tables, then the scanlines. The tables
    // are read first: they say how long the rows the file holds can be.
    const size_t entries = ysize * zsize;
    if (available >= 0 && 8 * static_cast<uint64_t>(entries) > body) {
        // The tables are not all in the file: as a short read of them would.
        reason = "error reading scanline tables";
        return Status::Ok();
    }
    std::vector<int32_t> starts;
    std::vector<int32_t> lengths;
    if (!TryAssign(starts, entries) || !TryAssign(lengths, entries))
        return Status::Error(kOutOfMemory);
    std::fseek(stream, offset + IRIS_HEADER_LEN, SEEK_SET);
    cp_fread(starts.data(), 4, entries, stream);
    cp_fread(lengths.data(), 4, entries, stream);
    if (std::ferror(stream) || std::feof(stream)) {
        reason = "error reading scanline tables";
        return Status::Ok();
    }
    if (available >= 0) {
        uint64_t longest = 0;
        for (int32_t length : lengths)
            longest = std::max<uint64_t>(
                longest, std::clamp<int64_t>(length, 0, static_cast<int64_t>(body)));
        if (xsize > MostScanlinePixels(longest)) return Status::Error(kTooLarge);
    }
    if (!TryAssign(buffer, pixels * 4)) return Status::Error(kOutOfMemory);

    // Scanlines stored row by row (each start at least the largest before it,
    // walking rows and the channels within them) are read in that order, so
    // the reads follow the file without seeking; otherwise channel by channel.
    bool row_order = true;
    int64_t largest = INT64_MIN;
    for (size_t r = 0; r < ysize && row_order; ++r) {
        for (size_t c = 0; c < zsize; ++c) {
            const int64_t s = starts[c * ysize + r];
            if (s < largest) {
                row_order = false;
                break;
            }
            largest = s;
        }
    }

    const size_t capacity = 2 * xsize + 10;
    std::vector<uint8_t> rle;
    if (!TryAssign(rle, capacity)) return Status::Error(kOutOfMemory);
    int64_t position = IRIS_HEADER_LEN + 8 * static_cast<int64_t>(entries);
    auto scanline = [&](size_t r, size_t c) -> bool {
        const int64_t start = starts[c * ysize + r];
        const int64_t length = lengths[c * ysize + r];
        if (start != position) {
            position = start;
            if (start < 0 ||
                std::fseek(stream, offset + static_cast<long>(start), SEEK_SET))
                position = INT64_MIN;  // unreachable: read nothing from here on
        }
        if (length < 0 || static_cast<uint64_t>(length) > capacity) {
            reason = "rlebuf too small (corrupt image file?)";
            return false;
        }
        size_t got = 0;
        if (position != INT64_MIN)
            got = cp_fread(rle.data(), 1, static_cast<size_t>(length), stream);
        if (c < channels)
            ExpandRLERow(rle.data(), got, buffer.data() + r * xsize * 4, xsize, 3 - c);
        if (position != INT64_MIN) position += length;
        return true;
    };
    if (row_order) {
        for (size_t r = 0; r < ysize; ++r)
            for (size_t c = 0; c < zsize; ++c)
                if (!scanline(r, c)) {
                    buffer.clear();
                    return Status::Ok();
                }
    } else {
        for (size_t c = 0; c < zsize; ++c)
            for (size_t r = 0; r < ysize; ++r)
                if (!scanline(r, c)) {
                    buffer.clear();
                    return Status::Ok();
                }
    }
    return Status::Ok();
}

Status ReadIRISFile(const char* name, std::FILE* stream, IrisHeader& header,
                    std::vector<uint8_t>& pixels, bool flip, bool reverse_header,
                    long offset, const MessageSink& sink, bool& loaded) {
    header = IrisHeader();
    loaded = false;
    FilePtr owned;
    const char* label = name != nullptr ? name : "";
    if (stream == nullptr) {
        label = name != nullptr ? BaseName(name) : "";
        if (name != nullptr) owned = OpenFile(name, "rb");
        if (!owned) {
            IrisError(sink, label, "can't open file");
            return Status::Ok();
        }
        stream = owned.get();
    }
    std::fseek(stream, offset, SEEK_SET);
    uint16_t words[6] = {};
    cp_fread(words, 2, 6, stream);
    if (reverse_header) {
        static constexpr int kReverse[6] = {5, 4, 3, 2, 1, 0};
        if (Status s = shuffling(words, 2, kReverse, 6); !s.ok()) return s;
    }
    if (std::ferror(stream) || std::feof(stream)) {
        IrisError(sink, label, "error in header info");
        return Status::Ok();
    }
    header = IrisHeader{words[0], words[1], words[2], words[3], words[4], words[5]};
    if (header.imagic != IRIS_MAGIC) {
        IrisError(sink, label, "bad magic number");
        return Status::Ok();
    }

    std::vector<uint8_t> body;
    const char* reason = nullptr;
    if (Status s = LoadIRIS(stream, header, offset, body, reason); !s.ok()) return s;
    if (reason != nullptr) {
        IrisError(sink, label, reason);
        return Status::Ok();
    }
    const bool truncated = std::ferror(stream) || std::feof(stream);

    const size_t xsize = header.xsize;
    const size_t ysize = header.ysize;
    const size_t bytes = xsize * ysize * 3;
    if (pixels.size() != bytes) {
        // A kept block of another size is brought to this image's size.
        try {
            pixels.resize(bytes);
        } catch (const std::exception&) {
            return Status::Error(kNoRgbBlock);
        }
    }
    const bool grey = header.zsize < 3;
    for (size_t i = 0; i < ysize; ++i) {
        const size_t source = flip ? ysize - 1 - i : i;
        const uint8_t* in = body.data() + source * xsize * 4;
        uint8_t* out = pixels.data() + i * xsize * 3;
        for (size_t x = 0; x < xsize; ++x, in += 4, out += 3) {
            out[0] = in[3];
            out[1] = grey ? in[3] : in[2];
            out[2] = grey ? in[3] : in[1];
        }
    }
    loaded = true;
    if (truncated) IrisError(sink, label, "File appears to be truncated.");
    return Status::Ok();
}

Status ReadSGIRGB(Photo& photo, const char* filename, const SgiReadOptions& options,
                  const MessageSink& sink, bool& loaded) {
    loaded = false;
    if (options.keep_buffer) {
        if (!photo.has_pixels()) return Status::Error(kNoKeptBuffer);
    } else {
        std::vector<uint8_t>().swap(photo.pixels);
    }
    const bool reverse = options.reverse_header == -1 ? options.stream != nullptr
                                                      : options.reverse_header != 0;
    IrisHeader header;
    const Status s = ReadIRISFile(filename, options.stream, header, photo.pixels,
                                  options.flip, reverse, options.offset, sink, loaded);
    if (!loaded) {
        // A refused file leaves an empty record, never a size without pixels.
        std::vector<uint8_t>().swap(photo.pixels);
        header.xsize = header.ysize = 0;
    }
    photo.width = header.xsize;
    photo.height = header.ysize;
    photo.x0 = 0.0f;
    photo.x1 = static_cast<float>(photo.width - 1);
    photo.y0 = 0.0f;
    photo.y1 = static_cast<float>(photo.height - 1);
    return s;
}

}  // namespace lumo
