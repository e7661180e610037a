#include "io/ptm_file.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "base/file_ptr.h"
#include "base/str_printf.h"
#include "io/image_file.h"
#include "io/rti_bytes.h"

namespace lumo {
namespace {

constexpr PtmFormat kFormats[] = {PtmFormat::kRgb, PtmFormat::kLrgb, PtmFormat::kLum,
                                  PtmFormat::kJpegRgb, PtmFormat::kJpegLrgb};

// The 7 per-plane integer lists of the JPEG formats.
enum PlaneField { kTransform, kMotionX, kMotionY, kOrder, kReference, kSize, kSide };

Status Fail(const std::string& name, const std::string& why) {
    return Status::Error(StrPrintf("[ReadPtm]: %s: %s\n", name.c_str(), why.c_str()));
}

// Decodes the JPEG planes of `ptm` from `body` (the bytes after the header)
// into its coefficient and colour bytes.
class JpegPlanes {
  public:
    JpegPlanes(PtmFile& ptm, const std::string& name,
               const std::vector<std::vector<int64_t>>& fields,
               std::span<const uint8_t> body)
        : ptm_(ptm), name_(name), fields_(fields), body_(body) {}

    Status Decode() {
        const size_t n = fields_[kSize].size();
        planes_.assign(n, {});
        state_.assign(n, 0);
        // Where each plane's stream starts: planes follow in index order.
        offsets_.assign(n, 0);
        uint64_t at = 0;
        for (size_t i = 0; i < n; ++i) {
            offsets_[i] = at;
            at += static_cast<uint64_t>(fields_[kSize][i]) +
                  static_cast<uint64_t>(fields_[kSide][i]);
        }
        // The order names every plane once: a plane it leaves out would be
        // left undecoded.
        std::vector<bool> ordered(n, false);
        for (size_t i = 0; i < n; ++i) {
            const int64_t o = fields_[kOrder][i];
            if (o < 0 || o >= static_cast<int64_t>(n))
                return Fail(name_,
                            StrPrintf("plane %zu: order %lld outside the %zu planes", i,
                                      static_cast<long long>(o), n));
            if (ordered[static_cast<size_t>(o)])
                return Fail(name_, StrPrintf("plane %zu: order %lld names a plane twice",
                                             i, static_cast<long long>(o)));
            ordered[static_cast<size_t>(o)] = true;
            if (fields_[kMotionX][i] != 0 || fields_[kMotionY][i] != 0)
                return Fail(name_, StrPrintf("plane %zu: motion compensation is not "
                                             "supported",
                                             i));
        }
        for (size_t i = 0; i < n; ++i) {
            Status s = DecodePlane(static_cast<size_t>(fields_[kOrder][i]));
            if (!s.ok()) return s;
        }
        // Coefficient planes a0..a5 per block, then (LRGB) R, G, B.
        const size_t pixels = ptm_.Pixels();
        ptm_.coeff.resize(static_cast<size_t>(ptm_.Blocks()) * pixels * 6);
        for (int b = 0; b < ptm_.Blocks(); ++b) {
            for (int i = 0; i < 6; ++i) {
                const std::vector<uint8_t>& plane =
                    planes_[static_cast<size_t>(6 * b + i)];
                uint8_t* out = ptm_.coeff.data() + static_cast<size_t>(b) * pixels * 6;
                for (size_t p = 0; p < pixels; ++p)
                    out[6 * p + static_cast<size_t>(i)] = plane[p];
            }
        }
        if (ptm_.HasColour()) {
            ptm_.rgb.resize(pixels * 3);
            for (int c = 0; c < 3; ++c) {
                const std::vector<uint8_t>& plane = planes_[static_cast<size_t>(6 + c)];
                for (size_t p = 0; p < pixels; ++p)
                    ptm_.rgb[3 * p + static_cast<size_t>(c)] = plane[p];
            }
        }
        return Status::Ok();
    }

  private:
    Status DecodePlane(size_t i) {
        if (state_[i] == 2) return Status::Ok();
        if (state_[i] == 1)
            return Fail(name_, StrPrintf("plane %zu: refers to itself through its "
                                         "references",
                                         i));
        state_[i] = 1;
        const size_t n = planes_.size();
        const int64_t ref = fields_[kReference][i];
        if (ref >= static_cast<int64_t>(n))
            return Fail(name_,
                        StrPrintf("plane %zu: reference %lld outside the %zu planes", i,
                                  static_cast<long long>(ref), n));
        if (ref >= 0) {
            Status s = DecodePlane(static_cast<size_t>(ref));
            if (!s.ok()) return s;
        }
        const size_t pixels = ptm_.Pixels();
        const std::span<const uint8_t> stream = body_.subspan(
            static_cast<size_t>(offsets_[i]), static_cast<size_t>(fields_[kSize][i]));
        const std::string what = StrPrintf("%s plane %zu", name_.c_str(), i);
        ImageSize size;
        Status s = DecodeImageSize(stream, what + ".jpg", size);
        if (s.ok() && (size.width != ptm_.width || size.height != ptm_.height)) {
            return Fail(name_,
                        StrPrintf("plane %zu: %d x %d, the map is %d x %d", i, size.width,
                                  size.height, ptm_.width, ptm_.height));
        }
        FloatImage img;
        if (s.ok()) s = DecodeImageBytes(stream, what + ".jpg", img);
        if (!s.ok()) return Fail(name_, StrPrintf("plane %zu: not a JPEG picture", i));
        std::vector<uint8_t>& plane = planes_[i];
        plane.resize(pixels);
        const size_t ch = static_cast<size_t>(img.channels);
        for (size_t p = 0; p < pixels; ++p) {
            const float v = std::round(img.pixels[p * ch] * 255.0f);
            plane[p] = static_cast<uint8_t>(v < 0.0f ? 0.0f : v > 255.0f ? 255.0f : v);
        }
        if (ref >= 0) {
            const std::vector<uint8_t>& r = planes_[static_cast<size_t>(ref)];
            const bool invert = fields_[kTransform][i] == 1;
            for (size_t p = 0; p < pixels; ++p) {
                const int rv = invert ? 255 - r[p] : r[p];
                plane[p] = static_cast<uint8_t>((plane[p] + rv - 128) & 0xFF);
            }
        }
        const std::span<const uint8_t> side = body_.subspan(
            static_cast<size_t>(offsets_[i]) + static_cast<size_t>(fields_[kSize][i]),
            static_cast<size_t>(fields_[kSide][i]));
        if (side.size() % 5 != 0)
            return Fail(name_,
                        StrPrintf("plane %zu: side information of %zu bytes is not "
                                  "5-byte records",
                                  i, side.size()));
        for (size_t k = 0; k < side.size(); k += 5) {
            const uint32_t at = (uint32_t{side[k]} << 24) |
                                (uint32_t{side[k + 1]} << 16) |
                                (uint32_t{side[k + 2]} << 8) | uint32_t{side[k + 3]};
            if (at >= pixels)
                return Fail(name_, StrPrintf("plane %zu: side information for pixel %u "
                                             "outside the map",
                                             i, at));
            plane[at] = side[k + 4];
        }
        state_[i] = 2;
        return Status::Ok();
    }

    PtmFile& ptm_;
    const std::string& name_;
    const std::vector<std::vector<int64_t>>& fields_;
    std::span<const uint8_t> body_;
    std::vector<std::vector<uint8_t>> planes_;
    std::vector<int> state_;  // 0 not yet, 1 being decoded, 2 done
    std::vector<uint64_t> offsets_;
};

}  // namespace

const char* PtmFormatName(PtmFormat format) {
    switch (format) {
        case PtmFormat::kRgb:
            return "PTM_FORMAT_RGB";
        case PtmFormat::kLrgb:
            return "PTM_FORMAT_LRGB";
        case PtmFormat::kLum:
            return "PTM_FORMAT_LUM";
        case PtmFormat::kJpegRgb:
            return "PTM_FORMAT_JPEG_RGB";
        case PtmFormat::kJpegLrgb:
            return "PTM_FORMAT_JPEG_LRGB";
    }
    return "?";
}

Status ReadPtm(std::FILE* stream, const std::string& name, PtmFile& ptm) {
    ptm = PtmFile();
    std::vector<uint8_t> bytes;
    if (!ReadAllBytes(stream, bytes)) return Fail(name, "cannot read");
    TokenReader in(bytes);
    std::string_view token;
    if (!in.Next(token) || (token != "PTM_1.2" && token != "PTM_1.1"))
        return Fail(name, "not a PTM file");
    ptm.version = std::string(token);
    if (!in.Next(token)) return Fail(name, "bad header");
    bool known = false;
    for (PtmFormat f : kFormats) {
        if (token == PtmFormatName(f)) {
            ptm.format = f;
            known = true;
        }
    }
    if (!known)
        return Fail(name,
                    StrPrintf("unknown format %.*s", int(token.size()), token.data()));
    int64_t w = 0, h = 0;
    if (!in.Int(w) || !in.Int(h)) return Fail(name, "bad header");
    for (float& s : ptm.scale) {
        if (!in.Float(s)) return Fail(name, "bad header");
    }
    for (int32_t& b : ptm.bias) {
        int64_t v = 0;
        if (!in.Int(v) || v < -1000000 || v > 1000000) return Fail(name, "bad header");
        b = static_cast<int32_t>(v);
    }
    if (w < 1 || h < 1 || w > kPtmMaxSide || h > kPtmMaxSide)
        return Fail(name,
                    StrPrintf("size %lld x %lld does not fit the file",
                              static_cast<long long>(w), static_cast<long long>(h)));
    ptm.width = static_cast<int32_t>(w);
    ptm.height = static_cast<int32_t>(h);
    const uint64_t pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
    auto too_big = [&]() {
        return Fail(
            name, StrPrintf("size %d x %d does not fit the file", ptm.width, ptm.height));
    };

    if (!ptm.IsJpeg()) {
        if (!in.SkipOneSpace()) return Fail(name, "truncated");
        const uint64_t per_pixel = ptm.format == PtmFormat::kRgb    ? 18
                                   : ptm.format == PtmFormat::kLrgb ? 9
                                                                    : 6;
        const std::span<const uint8_t> body = in.Rest();
        if (pixels * per_pixel > body.size()) return too_big();
        const size_t n = static_cast<size_t>(pixels);
        if (ptm.format == PtmFormat::kLrgb && ptm.version == "PTM_1.1") {
            ptm.coeff.resize(n * 6);
            ptm.rgb.resize(n * 3);
            for (size_t p = 0; p < n; ++p) {
                std::memcpy(&ptm.coeff[6 * p], &body[9 * p], 6);
                std::memcpy(&ptm.rgb[3 * p], &body[9 * p + 6], 3);
            }
        } else {
            const size_t c = n * 6 * static_cast<size_t>(ptm.Blocks());
            ptm.coeff.assign(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(c));
            if (ptm.HasColour())
                ptm.rgb.assign(body.begin() + static_cast<std::ptrdiff_t>(c),
                               body.begin() + static_cast<std::ptrdiff_t>(c + n * 3));
        }
        return Status::Ok();
    }

    int64_t quality = 0;
    if (!in.Int(quality)) return Fail(name, "bad header");
    ptm.jpeg_quality = static_cast<int32_t>(quality < 0     ? 0
                                            : quality > 100 ? 100
                                                            : quality);
    const size_t planes = ptm.format == PtmFormat::kJpegRgb ? 18 : 9;
    std::vector<std::vector<int64_t>> fields(7, std::vector<int64_t>(planes));
    for (auto& field : fields) {
        for (int64_t& v : field) {
            if (!in.Int(v) || v < -1000000 || v > (int64_t{1} << 40))
                return Fail(name, "bad header");
        }
    }
    if (!in.SkipOneSpace()) return Fail(name, "truncated");
    const std::span<const uint8_t> body = in.Rest();
    uint64_t total = 0;
    for (size_t i = 0; i < planes; ++i) {
        if (fields[kSize][i] < 0 || fields[kSide][i] < 0) return Fail(name, "bad header");
        total += static_cast<uint64_t>(fields[kSize][i]) +
                 static_cast<uint64_t>(fields[kSide][i]);
    }
    if (total > body.size()) return Fail(name, "truncated");
    // A JPEG stream holds at least a few bits per 8 x 8 block: a map larger
    // than the streams could describe is refused before any plane is decoded.
    if (pixels > kJpegPixelsPerByte * total) return too_big();
    return JpegPlanes(ptm, name, fields, body).Decode();
}

Status ReadPtmFile(const std::string& path, PtmFile& ptm) {
    FilePtr f = OpenRegularFile(path);
    if (!f) return Fail(path, "cannot open");
    return ReadPtm(f.get(), path, ptm);
}

}  // namespace lumo
