// The picture module: decoding and encoding through OpenImageIO, behind the
// interface of io/image_module.h. Nothing here checks sizes or normalises
// values (the wrapper does); nothing here throws across the interface.
#include "io/image_module.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace lumo::image_module {
namespace {

OIIO::TypeDesc TypeOf(Sample s) {
    switch (s) {
        case Sample::kUint8:
            return OIIO::TypeDesc::UINT8;
        case Sample::kUint16:
            return OIIO::TypeDesc::UINT16;
        case Sample::kFloat:
            break;
    }
    return OIIO::TypeDesc::FLOAT;
}

std::string Nonempty(std::string text) {
    return text.empty() ? std::string("unknown error") : text;
}

// Runs `body`, turning an exception into `error` and false.
template <typename F>
auto Guard(std::string& error, F&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        error = "not enough memory";
    } catch (const std::exception& e) {
        error = Nonempty(e.what());
    } catch (...) {
        error = "unknown error";
    }
    return decltype(body()){};
}

class OiioInput final : public Input {
  public:
    // Takes `file` (null for a memory proxy) and `proxy`.
    OiioInput(FILE* file, std::unique_ptr<OIIO::Filesystem::IOProxy> proxy)
        : file_(file), proxy_(std::move(proxy)) {}
    ~OiioInput() override {
        in_.reset();  // before the proxy it reads through
        proxy_.reset();
        if (file_ != nullptr) std::fclose(file_);
    }

    bool Open(const char* name, std::string& error) {
        in_ = OIIO::ImageInput::open(name, nullptr, proxy_.get());
        if (!in_) {
            error = Nonempty(OIIO::geterror());
            return false;
        }
        const OIIO::ImageSpec& spec = in_->spec();
        header_.width = spec.width;
        header_.height = spec.height;
        header_.channels = spec.nchannels;
        header_.depth = spec.depth;
        header_.sample = spec.format == OIIO::TypeDesc::UINT8    ? Sample::kUint8
                         : spec.format == OIIO::TypeDesc::UINT16 ? Sample::kUint16
                                                                 : Sample::kFloat;
        int bits = spec.get_int_attribute("oiio:BitsPerSample", 0);
        if (bits <= 0) {
            bits = static_cast<int>(spec.format.size()) * 8;
            for (const OIIO::TypeDesc& t : spec.channelformats)
                bits = std::min(bits, static_cast<int>(t.size()) * 8);
        }
        header_.file_bits = bits;
        header_.tile_width = spec.tile_width;
        header_.tile_height = spec.tile_width > 0 ? spec.tile_height : 0;
        header_.format = in_->format_name();
        header_.compression = spec.get_string_attribute("compression");
        return true;
    }

    const Header& header() const override { return header_; }

    bool ReadRows(int64_t y0, int64_t y1, void* out, std::string& error) override {
        return Guard(error, [&] { return Read(y0, y1, out, error); });
    }

  private:
    bool Read(int64_t y0, int64_t y1, void* out, std::string& error) {
        const OIIO::ImageSpec& spec = in_->spec();
        const OIIO::TypeDesc type = TypeOf(header_.sample);
        if (header_.tile_width == 0) {
            // Scanline pictures decode in order; the library reads the rows
            // straight into `out`.
            if (!in_->read_scanlines(0, 0, spec.y + static_cast<int>(y0),
                                     spec.y + static_cast<int>(y1), spec.z, 0,
                                     spec.nchannels, type, out)) {
                error = Nonempty(in_->geterror());
                return false;
            }
            return true;
        }
        // Tiled pictures are read one row of tiles at a time (the library
        // reads whole tiles only), kept until a row outside it is asked for.
        const size_t row_bytes = static_cast<size_t>(spec.width) *
                                 static_cast<size_t>(spec.nchannels) * type.size();
        const int64_t th = header_.tile_height;
        auto* dst = static_cast<unsigned char*>(out);
        for (int64_t y = y0; y < y1; ++y) {
            const int64_t band = y / th;
            if (band != band_) {
                const int64_t top = band * th;
                const int64_t bottom = std::min<int64_t>(top + th, spec.height);
                band_rows_.resize(static_cast<size_t>(bottom - top) * row_bytes);
                band_ = -1;
                if (!in_->read_tiles(
                        0, 0, spec.x, spec.x + spec.width, spec.y + static_cast<int>(top),
                        spec.y + static_cast<int>(bottom), spec.z, spec.z + spec.depth, 0,
                        spec.nchannels, type, band_rows_.data())) {
                    error = Nonempty(in_->geterror());
                    return false;
                }
                band_ = band;
            }
            std::memcpy(
                dst, band_rows_.data() + static_cast<size_t>(y - band * th) * row_bytes,
                row_bytes);
            dst += row_bytes;
        }
        return true;
    }

    FILE* file_ = nullptr;
    std::unique_ptr<OIIO::Filesystem::IOProxy> proxy_;
    std::unique_ptr<OIIO::ImageInput> in_;
    Header header_;
    int64_t band_ = -1;  // the row of tiles in band_rows_
    std::vector<unsigned char> band_rows_;
};

std::unique_ptr<Input> OpenFile(const char* name, int fd, std::string& error) {
    FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return Guard(error, [&]() -> std::unique_ptr<Input> {
        std::unique_ptr<OiioInput> in;
        try {
            in = std::make_unique<OiioInput>(file,
                                             std::make_unique<OIIO::Filesystem::IOFile>(
                                                 file, OIIO::Filesystem::IOProxy::Read));
        } catch (...) {
            std::fclose(file);
            throw;
        }
        if (!in->Open(name, error)) return nullptr;
        return in;
    });
}

std::unique_ptr<Input> OpenMemory(const char* name, const void* data, size_t size,
                                  std::string& error) {
    return Guard(error, [&]() -> std::unique_ptr<Input> {
        auto in = std::make_unique<OiioInput>(
            nullptr, std::make_unique<OIIO::Filesystem::IOMemReader>(data, size));
        if (!in->Open(name, error)) return nullptr;
        return in;
    });
}

bool Write(const WriteRequest& r, std::string& error) {
    return Guard(error, [&] {
        auto out = r.format != nullptr ? OIIO::ImageOutput::create(r.format)
                                       : OIIO::ImageOutput::create(r.path);
        if (!out) {
            error = Nonempty(OIIO::geterror());
            return false;
        }
        OIIO::ImageSpec spec(r.width, r.height, r.channels, TypeOf(r.stored));
        // No time of writing in the header (OpenEXR and TIFF stamp one unless
        // given): the same picture always gives the same bytes.
        if (r.no_time_stamp) spec.attribute("DateTime", "");
        if (r.tile > 0 && out->supports("tiles")) {
            spec.tile_width = r.tile;
            spec.tile_height = r.tile;
        }
        if (!out->open(r.path, spec)) {
            error = Nonempty(out->geterror());
            return false;
        }
        // Converting floats to integers clamps to 0..1 and rounds to the
        // nearest step.
        const bool wrote = out->write_image(TypeOf(r.given), r.pixels);
        const bool closed = out->close();
        if (!wrote || !closed) {
            error = Nonempty(out->geterror());
            return false;
        }
        return true;
    });
}

const Api kApi = [] {
    Api api;
    api.open_file = OpenFile;
    api.open_memory = OpenMemory;
    api.write = Write;
    return api;
}();

}  // namespace
}  // namespace lumo::image_module

extern "C" __attribute__((visibility("default"))) const lumo::image_module::Api*
lumo_image_module_v1() {
    return &lumo::image_module::kApi;
}
