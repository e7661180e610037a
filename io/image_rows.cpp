#include "io/image_rows.h"

#include <OpenImageIO/imageio.h>

#include <array>
#include <cstring>
#include <filesystem>

#include "base/str_printf.h"

namespace lumo {
namespace {

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

}  // namespace

struct ImageRowReader::Input {
    std::unique_ptr<OIIO::ImageInput> image;
};

ImageRowReader::ImageRowReader(std::string path)
    : path_(std::move(path)), in_(std::make_unique<Input>()) {}

ImageRowReader::~ImageRowReader() = default;

Status ImageRowReader::Open(const std::string& path,
                            std::unique_ptr<ImageRowReader>& out) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return ReadError(path, "no such file");
    std::unique_ptr<ImageRowReader> r(new ImageRowReader(path));
    r->in_->image = OIIO::ImageInput::open(path);
    if (!r->in_->image) return ReadError(path, OIIO::geterror());
    const OIIO::ImageSpec& spec = r->in_->image->spec();
    if (spec.width < 1 || spec.height < 1 || spec.nchannels < 1 || spec.depth != 1)
        return ReadError(path, "not a two-dimensional picture");
    r->width_ = spec.width;
    r->height_ = spec.height;
    r->channels_ = spec.nchannels;
    out = std::move(r);
    return Status::Ok();
}

Status ImageRowReader::ReadRows(int32_t y0, int32_t y1, float* out) {
    OIIO::ImageInput& in = *in_->image;
    const OIIO::ImageSpec& spec = in.spec();
    if (y0 < 0 || y1 > height_ || y0 >= y1) return ReadError(path_, "rows out of range");
    const size_t count = static_cast<size_t>(y1 - y0) * static_cast<size_t>(width_) *
                         static_cast<size_t>(channels_);
    const int ys = spec.y + y0;
    const int ye = spec.y + y1;
    // Scanline files of one integer type are read as stored: the library's
    // converting read sets up a large scratch buffer on every call.
    const bool native = spec.tile_width == 0 && spec.channelformats.empty();
    auto read_raw = [&](OIIO::TypeDesc type) {
        return native
                   ? in.read_native_scanlines(0, 0, ys, ye, 0, raw_.data())
                   : in.read_scanlines(0, 0, ys, ye, 0, 0, channels_, type, raw_.data());
    };
    bool read = false;
    // As ReadImageFile: integers divided by their largest value, so that a
    // value is exactly value / 255 (or / 65535).
    if (spec.format == OIIO::TypeDesc::UINT8) {
        raw_.resize(count);
        read = read_raw(OIIO::TypeDesc::UINT8);
        // The 256 quotients once, rather than a division per value.
        static const auto kByte = [] {
            std::array<float, 256> t{};
            for (int v = 0; v < 256; ++v)
                t[static_cast<size_t>(v)] = static_cast<float>(v) / 255.0f;
            return t;
        }();
        for (size_t i = 0; read && i < count; ++i)
            out[i] = kByte[raw_[i]];
    } else if (spec.format == OIIO::TypeDesc::UINT16) {
        raw_.resize(count * 2);
        read = read_raw(OIIO::TypeDesc::UINT16);
        for (size_t i = 0; read && i < count; ++i) {
            uint16_t v;
            std::memcpy(&v, raw_.data() + 2 * i, sizeof v);
            out[i] = static_cast<float>(v) / 65535.0f;
        }
    } else {
        read =
            in.read_scanlines(0, 0, ys, ye, 0, 0, channels_, OIIO::TypeDesc::FLOAT, out);
    }
    if (!read) return ReadError(path_, in.geterror());
    return Status::Ok();
}

}  // namespace lumo
