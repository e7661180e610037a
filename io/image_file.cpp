#include "io/image_file.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "base/atomic_file.h"
#include "base/str_printf.h"

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

// The picture at `path`, opened and checked to be two-dimensional; null with
// the failure in `status` otherwise.
std::unique_ptr<OIIO::ImageInput> Open(const std::string& path, Status& status) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        status = ReadError(path, "no such file");
        return nullptr;
    }
    auto in = OIIO::ImageInput::open(path);
    if (!in) {
        status = ReadError(path, OIIO::geterror());
        return nullptr;
    }
    const OIIO::ImageSpec& spec = in->spec();
    if (spec.width < 1 || spec.height < 1 || spec.nchannels < 1 || spec.depth != 1) {
        status = ReadError(path, "not a two-dimensional picture");
        return nullptr;
    }
    return in;
}

}  // namespace

Status ReadImageSize(const std::string& path, ImageSize& size) {
    Status status;
    auto in = Open(path, status);
    if (!in) return status;
    const OIIO::ImageSpec& spec = in->spec();
    size.width = spec.width;
    size.height = spec.height;
    size.channels = spec.nchannels;
    return Status::Ok();
}

Status ReadImageFile(const std::string& path, FloatImage& image) {
    Status status;
    auto in = Open(path, status);
    if (!in) return status;
    const OIIO::ImageSpec& spec = in->spec();
    image.width = spec.width;
    image.height = spec.height;
    image.channels = spec.nchannels;
    const size_t count = static_cast<size_t>(spec.width) *
                         static_cast<size_t>(spec.height) *
                         static_cast<size_t>(spec.nchannels);
    image.pixels.resize(count);  // keeps the capacity of a reused image
    // 8- and 16-bit channels are divided by their largest value here, so that
    // a value is exactly value / 255 (or / 65535); the library's own
    // conversion multiplies by the reciprocal, which differs in the last bit.
    // The raw values are read into the start of the float buffer and widened
    // from the last one down, so no value is overwritten before it is read.
    // Other types convert through the library (floats as stored).
    float* out = image.pixels.data();
    auto* raw = reinterpret_cast<unsigned char*>(out);
    bool read = false;
    if (spec.format == OIIO::TypeDesc::UINT8) {
        read = in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT8, raw);
        for (size_t i = count; read && i-- > 0;)
            out[i] = static_cast<float>(raw[i]) / 255.0f;
    } else if (spec.format == OIIO::TypeDesc::UINT16) {
        read = in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::UINT16, raw);
        for (size_t i = count; read && i-- > 0;) {
            uint16_t v;
            std::memcpy(&v, raw + 2 * i, sizeof v);
            out[i] = static_cast<float>(v) / 65535.0f;
        }
    } else {
        read = in->read_image(0, 0, 0, spec.nchannels, OIIO::TypeDesc::FLOAT, out);
    }
    if (!read) return ReadError(path, in->geterror());
    return Status::Ok();
}

Status WriteImageFile(const std::string& path, const FloatImage& image, ImageBits bits) {
    auto fail = [&path](const std::string& why) {
        return Status::Error(StrPrintf("[WriteImage]: cannot write %s: %s\n",
                                       path.c_str(), OneLine(why).c_str()));
    };
    const size_t need = static_cast<size_t>(image.width < 0 ? 0 : image.width) *
                        static_cast<size_t>(image.height < 0 ? 0 : image.height) *
                        static_cast<size_t>(image.channels < 0 ? 0 : image.channels);
    if (image.width < 1 || image.height < 1 || image.channels < 1 ||
        image.pixels.size() != need) {
        return fail("bad picture size");
    }
    auto out = OIIO::ImageOutput::create(path);
    if (!out) return fail(OIIO::geterror());
    const OIIO::TypeDesc type = bits == ImageBits::k8    ? OIIO::TypeDesc::UINT8
                                : bits == ImageBits::k16 ? OIIO::TypeDesc::UINT16
                                                         : OIIO::TypeDesc::FLOAT;
    OIIO::ImageSpec spec(image.width, image.height, image.channels, type);
    // No time of writing in the header (OpenEXR and TIFF stamp one unless
    // given): the same picture always gives the same bytes.
    spec.attribute("DateTime", "");
    if (!out->open(path, spec)) return fail(out->geterror());
    // Converting floats to integers clamps to 0..1 and rounds to the nearest step.
    const bool wrote = out->write_image(OIIO::TypeDesc::FLOAT, image.pixels.data());
    const bool closed = out->close();
    if (!wrote || !closed) return fail(out->geterror());
    return Status::Ok();
}

Status WritePng8(const std::string& path, int32_t width, int32_t height, int32_t channels,
                 std::span<const uint8_t> pixels) {
    const size_t need = static_cast<size_t>(width < 0 ? 0 : width) *
                        static_cast<size_t>(height < 0 ? 0 : height) *
                        static_cast<size_t>(channels < 0 ? 0 : channels);
    auto fail = [&path](const std::string& why) {
        return Status::Error(StrPrintf("[WriteImage]: cannot write %s: %s\n",
                                       path.c_str(), OneLine(why).c_str()));
    };
    if (width < 1 || height < 1 || (channels != 1 && channels != 3 && channels != 4) ||
        pixels.size() != need) {
        return fail("bad picture size");
    }
    // The picture is encoded in memory and then written as one checked atomic
    // write: the library does not report every failed write of its own, and an
    // interrupted or failed write must leave the old file, not a part.
    auto out = OIIO::ImageOutput::create("png");
    if (!out) return fail(OIIO::geterror());
    std::vector<unsigned char> encoded;
    OIIO::Filesystem::IOVecOutput memory(encoded);
    if (!out->set_ioproxy(&memory)) return fail(out->geterror());
    const OIIO::ImageSpec spec(width, height, channels, OIIO::TypeDesc::UINT8);
    if (!out->open(path, spec)) return fail(out->geterror());
    const bool wrote = out->write_image(OIIO::TypeDesc::UINT8, pixels.data());
    const bool closed = out->close();
    if (!wrote || !closed) return fail(out->geterror());
    AtomicWriteFailure failure;
    std::string why;
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
        return fail(failure.step == AtomicWriteFailure::Step::kWrite ? why
                                                                     : failure.reason);
    return Status::Ok();
}

}  // namespace lumo
