#include "io/image_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/atomic_file.h"
#include "base/str_printf.h"
#include "io/image_limits.h"
#include "io/image_module.h"
#include "io/image_module_loader.h"
#include "io/image_precheck.h"

namespace lumo {
namespace {

// The library's message on one line (it may hold several).
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text.empty() ? std::string("unknown error") : text;
}

Status ReadError(const std::string& path, const std::string& why) {
    return Status::Error(StrPrintf("[ReadImage]: cannot read %s: %s\n", path.c_str(),
                                   OneLine(why).c_str()));
}

Status WriteError(const std::string& path, const std::string& why) {
    return Status::Error(StrPrintf("[WriteImage]: cannot write %s: %s\n", path.c_str(),
                                   OneLine(why).c_str()));
}

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a plain file";
}

// `path` opened for reading if it is a regular file, or -1 with the reason.
// Its type is checked before it is opened (a FIFO would block the open, a
// device may act on being opened) and again on the open descriptor (the name
// may have changed in between); non-blocking, so neither can hang.
int OpenRegular(const std::string& path, uint64_t& bytes, std::string& why) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        why = errno == ENOENT ? "no such file" : std::strerror(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        why = std::string("not a regular file (") + KindOf(st.st_mode) + ")";
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        why = errno == ENOENT ? "no such file" : std::strerror(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = std::string("not a regular file (") + KindOf(st.st_mode) + ")";
        ::close(fd);
        return -1;
    }
    bytes = static_cast<uint64_t>(st.st_size);
    return fd;
}

// Rows per strip when a whole picture is read: about a million values.
int32_t StripRows(const ImageSize& size) {
    const int64_t row = static_cast<int64_t>(size.width) * size.channels;
    return static_cast<int32_t>(
        std::clamp<int64_t>((int64_t{1} << 20) / row, 1, size.height));
}

}  // namespace

struct ImageReader::Impl {
    std::string path;
    ImageSize size;
    std::unique_ptr<image_module::Input> input;

    // Checks the header of the freshly opened `input`.
    Status Accept(std::unique_ptr<image_module::Input> in, uint64_t file_bytes) {
        const std::string refusal = ImageHeaderRefusal(in->header(), file_bytes);
        if (!refusal.empty()) return ReadError(path, refusal);
        const image_module::Header& h = in->header();
        size.width = static_cast<int32_t>(h.width);
        size.height = static_cast<int32_t>(h.height);
        size.channels = static_cast<int32_t>(h.channels);
        input = std::move(in);
        return Status::Ok();
    }
};

ImageReader::ImageReader() = default;
ImageReader::~ImageReader() = default;
ImageReader::ImageReader(ImageReader&&) noexcept = default;
ImageReader& ImageReader::operator=(ImageReader&&) noexcept = default;

bool ImageReader::is_open() const {
    return impl_ != nullptr && impl_->input != nullptr;
}

const ImageSize& ImageReader::size() const {
    static const ImageSize kNone;
    return is_open() ? impl_->size : kNone;
}

void ImageReader::Close() {
    impl_.reset();
}

Status ImageReader::Open(const std::string& path) {
    Close();
    try {
        uint64_t bytes = 0;
        std::string why;
        const int fd = OpenRegular(path, bytes, why);
        if (fd < 0) return ReadError(path, why);
        why = PictureBytesRefusal(
            [fd](uint64_t offset, void* out, size_t n) {
                size_t done = 0;
                while (done < n) {
                    const ssize_t r =
                        ::pread(fd, static_cast<char*>(out) + done, n - done,
                                static_cast<off_t>(offset + done));
                    if (r < 0 && errno == EINTR) continue;
                    if (r <= 0) break;
                    done += static_cast<size_t>(r);
                }
                return done;
            },
            bytes);
        if (!why.empty()) {
            ::close(fd);
            return ReadError(path, why);
        }
        const image_module::Api* api = LoadImageModule(why);
        if (api == nullptr) {
            ::close(fd);
            return ReadError(path, why);
        }
        auto impl = std::make_unique<Impl>();
        impl->path = path;
        std::unique_ptr<image_module::Input> in = api->open_file(path.c_str(), fd, why);
        if (!in) return ReadError(path, why);
        Status s = impl->Accept(std::move(in), bytes);
        if (s.ok()) impl_ = std::move(impl);
        return s;
    } catch (const std::bad_alloc&) {
        return ReadError(path, "not enough memory");
    }
}

Status ImageReader::OpenBytes(const std::string& name, std::span<const uint8_t> bytes) {
    Close();
    try {
        std::string why = PictureBytesRefusal(
            [bytes](uint64_t offset, void* out, size_t n) {
                if (offset >= bytes.size()) return size_t{0};
                n = std::min<size_t>(n, bytes.size() - static_cast<size_t>(offset));
                std::memcpy(out, bytes.data() + offset, n);
                return n;
            },
            bytes.size());
        if (!why.empty()) return ReadError(name, why);
        const image_module::Api* api = LoadImageModule(why);
        if (api == nullptr) return ReadError(name, why);
        auto impl = std::make_unique<Impl>();
        impl->path = name;
        std::unique_ptr<image_module::Input> in =
            api->open_memory(name.c_str(), bytes.data(), bytes.size(), why);
        if (!in) return ReadError(name, why);
        Status s = impl->Accept(std::move(in), bytes.size());
        if (s.ok()) impl_ = std::move(impl);
        return s;
    } catch (const std::bad_alloc&) {
        return ReadError(name, "not enough memory");
    }
}

namespace {

// out[i] = raw value i / scale for i < count, where the raw values (of type
// U) are packed at the start of the same memory as `out`. Blocks are taken
// from the last one down, each copied out before its floats are stored, so
// that no raw value is overwritten before it is read (the floats of a block
// cover only its own raw values and those of later blocks); within a block
// the divisions run side by side (the same quotients, each rounded once).
template <typename U>
void WidenFromEnd(const unsigned char* raw, size_t count, float scale, float* out) {
    constexpr size_t kBlock = 64;
    size_t end = count;
    while (end > 0) {
        const size_t begin = end > kBlock ? end - kBlock : 0;
        U block[kBlock] = {};
        std::memcpy(block, raw + begin * sizeof(U), (end - begin) * sizeof(U));
        float wide[kBlock];
        for (size_t i = 0; i < kBlock; ++i)
            wide[i] = static_cast<float>(block[i]) / scale;
        std::memcpy(out + begin, wide, (end - begin) * sizeof(float));
        end = begin;
    }
}

}  // namespace

bool ImageReader::integer_samples() const {
    return is_open() && impl_->input->header().sample != image_module::Sample::kFloat;
}

Status ImageReader::ReadRows(int32_t y0, int32_t y1, float* out) {
    if (!is_open()) return ReadError("(no picture)", "no picture is open");
    const ImageSize& sz = impl_->size;
    if (y0 < 0 || y1 > sz.height || y0 > y1) {
        return ReadError(impl_->path, StrPrintf("rows %d to %d are outside its %d rows",
                                                y0, y1, sz.height));
    }
    if (y0 == y1) return Status::Ok();
    const size_t count = static_cast<size_t>(y1 - y0) * static_cast<size_t>(sz.width) *
                         static_cast<size_t>(sz.channels);
    // 8- and 16-bit channels are divided by their largest value here, so that
    // a value is exactly value / 255 (or / 65535); the library's own
    // conversion multiplies by the reciprocal, which differs in the last bit.
    // The raw values are read into the start of `out` and widened from the
    // last one down, so no value is overwritten before it is read. Other
    // types convert through the library (floats as stored).
    auto* raw = reinterpret_cast<unsigned char*>(out);
    std::string why;
    try {
        if (!impl_->input->ReadRows(y0, y1, out, why)) return ReadError(impl_->path, why);
    } catch (const std::bad_alloc&) {
        return ReadError(impl_->path, "not enough memory");
    }
    switch (impl_->input->header().sample) {
        case image_module::Sample::kUint8:
            WidenFromEnd<uint8_t>(raw, count, 255.0f, out);
            break;
        case image_module::Sample::kUint16:
            WidenFromEnd<uint16_t>(raw, count, 65535.0f, out);
            break;
        case image_module::Sample::kFloat:
            break;
    }
    return Status::Ok();
}

Status ReadImageSize(const std::string& path, ImageSize& size) {
    ImageReader reader;
    Status s = reader.Open(path);
    if (s.ok()) size = reader.size();
    return s;
}

namespace {

// Reads the whole of the open picture `reader` into `image`.
Status ReadWhole(ImageReader& reader, const std::string& name, FloatImage& image) {
    const ImageSize& sz = reader.size();
    try {
        // The whole picture is reserved (address space only) and filled strip
        // by strip: memory is committed as pixels decode, so a file that
        // claims more than it holds fails before taking it.
        const size_t row =
            static_cast<size_t>(sz.width) * static_cast<size_t>(sz.channels);
        image.pixels.clear();  // keeps the capacity of a reused image
        image.pixels.reserve(row * static_cast<size_t>(sz.height));
        const int32_t strip = StripRows(sz);
        for (int32_t y = 0; y < sz.height; y += strip) {
            const int32_t y1 = std::min(sz.height, y + strip);
            image.pixels.resize(row * static_cast<size_t>(y1));
            Status s = reader.ReadRows(
                y, y1, image.pixels.data() + row * static_cast<size_t>(y));
            if (!s.ok()) return s;
        }
    } catch (const std::bad_alloc&) {
        return ReadError(name, "not enough memory");
    }
    image.width = sz.width;
    image.height = sz.height;
    image.channels = sz.channels;
    return Status::Ok();
}

}  // namespace

Status ReadImageFile(const std::string& path, FloatImage& image) {
    ImageReader reader;
    Status s = reader.Open(path);
    if (!s.ok()) return s;
    return ReadWhole(reader, path, image);
}

Status DecodeImageSize(std::span<const uint8_t> bytes, const std::string& name,
                       ImageSize& size) {
    ImageReader reader;
    Status s = reader.OpenBytes(name, bytes);
    if (s.ok()) size = reader.size();
    return s;
}

Status DecodeImageBytes(std::span<const uint8_t> bytes, const std::string& name,
                        FloatImage& image) {
    ImageReader reader;
    Status s = reader.OpenBytes(name, bytes);
    if (!s.ok()) return s;
    return ReadWhole(reader, name, image);
}

Status ReadImageStrips(const std::string& path, int32_t strip_rows,
                       const ImageStripConsumer& consume) {
    ImageReader reader;
    Status s = reader.Open(path);
    if (!s.ok()) return s;
    const ImageSize sz = reader.size();
    const int32_t strip = std::clamp(strip_rows, 1, sz.height);
    try {
        std::vector<float> values(static_cast<size_t>(strip) *
                                  static_cast<size_t>(sz.width) *
                                  static_cast<size_t>(sz.channels));
        for (int32_t y = 0; y < sz.height; y += strip) {
            const int32_t y1 = std::min(sz.height, y + strip);
            s = reader.ReadRows(y, y1, values.data());
            if (!s.ok()) return s;
            const size_t n = static_cast<size_t>(y1 - y) * static_cast<size_t>(sz.width) *
                             static_cast<size_t>(sz.channels);
            s = consume(sz, y, y1 - y, std::span<const float>(values.data(), n));
            if (!s.ok()) return s;
        }
    } catch (const std::bad_alloc&) {
        return ReadError(path, "not enough memory");
    }
    return Status::Ok();
}

bool FindNonFinite(std::span<const float> rows, int32_t width, int32_t channels,
                   int32_t y0, NonFiniteValue& found) {
    if (width < 1 || channels < 1) return false;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (std::isfinite(rows[i])) continue;
        const size_t pixel = i / static_cast<size_t>(channels);
        found.channel = static_cast<int32_t>(i % static_cast<size_t>(channels));
        found.x = static_cast<int32_t>(pixel % static_cast<size_t>(width));
        found.y = y0 + static_cast<int32_t>(pixel / static_cast<size_t>(width));
        found.value = rows[i];
        return true;
    }
    return false;
}

bool FindNonFinite(const FloatImage& image, NonFiniteValue& found) {
    return FindNonFinite(image.pixels, image.width, image.channels, 0, found);
}

namespace {

// Writes `image` to `path`, or encodes it into `memory` when given (then
// `path` only names it and gives its format).
Status WriteFloatPicture(const std::string& path, const FloatImage& image, ImageBits bits,
                         int32_t tile, int32_t quality, std::vector<uint8_t>* memory) {
    const size_t need = static_cast<size_t>(image.width < 0 ? 0 : image.width) *
                        static_cast<size_t>(image.height < 0 ? 0 : image.height) *
                        static_cast<size_t>(image.channels < 0 ? 0 : image.channels);
    if (image.width < 1 || image.height < 1 || image.channels < 1 ||
        image.pixels.size() != need) {
        return WriteError(path, "bad picture size");
    }
    std::string why;
    const image_module::Api* api = LoadImageModule(why);
    if (api == nullptr) return WriteError(path, why);
    image_module::WriteRequest r;
    r.path = path.c_str();
    r.width = image.width;
    r.height = image.height;
    r.channels = image.channels;
    r.given = image_module::Sample::kFloat;
    r.stored = bits == ImageBits::k8    ? image_module::Sample::kUint8
               : bits == ImageBits::k16 ? image_module::Sample::kUint16
                                        : image_module::Sample::kFloat;
    r.pixels = image.pixels.data();
    r.no_time_stamp = true;
    r.tile = tile;
    r.quality = quality;
    r.memory = memory;
    if (!api->write(r, why)) return WriteError(path, why);
    return Status::Ok();
}

}  // namespace

Status WriteImageFile(const std::string& path, const FloatImage& image, ImageBits bits,
                      int32_t tile) {
    return WriteFloatPicture(path, image, bits, tile, 0, nullptr);
}

Status EncodeImageBytes(const FloatImage& image, ImageBits bits, const std::string& name,
                        std::vector<uint8_t>& bytes, int quality) {
    return WriteFloatPicture(name, image, bits, 0, quality, &bytes);
}

Status WritePng8(const std::string& path, int32_t width, int32_t height, int32_t channels,
                 std::span<const uint8_t> pixels) {
    const size_t need = static_cast<size_t>(width < 0 ? 0 : width) *
                        static_cast<size_t>(height < 0 ? 0 : height) *
                        static_cast<size_t>(channels < 0 ? 0 : channels);
    if (width < 1 || height < 1 || (channels != 1 && channels != 3 && channels != 4) ||
        pixels.size() != need) {
        return WriteError(path, "bad picture size");
    }
    // The picture is encoded in memory and then written as one checked atomic
    // write: the library does not report every failed write of its own, and an
    // interrupted or failed write must leave the old file, not a part.
    std::string why;
    const image_module::Api* api = LoadImageModule(why);
    if (api == nullptr) return WriteError(path, why);
    std::vector<uint8_t> encoded;
    image_module::WriteRequest r;
    r.path = path.c_str();
    r.format = "png";
    r.width = width;
    r.height = height;
    r.channels = channels;
    r.given = image_module::Sample::kUint8;
    r.stored = image_module::Sample::kUint8;
    r.pixels = pixels.data();
    r.memory = &encoded;
    if (!api->write(r, why)) return WriteError(path, why);
    AtomicWriteFailure failure;
    const Status s = WriteFileAtomically(
        path,
        [&encoded, &why](std::FILE* stream) {
            if (std::fwrite(encoded.data(), 1, encoded.size(), stream) !=
                encoded.size()) {
                why = std::strerror(errno);
                return Status::Error("short write");
            }
            return Status::Ok();
        },
        &failure);
    if (!s.ok())
        return WriteError(path, failure.step == AtomicWriteFailure::Step::kWrite
                                    ? why
                                    : failure.reason);
    return Status::Ok();
}

}  // namespace lumo
