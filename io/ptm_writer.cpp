#include "io/ptm_writer.h"

#include <cmath>
#include <cstring>
#include <span>

#include "base/file_ptr.h"
#include "base/str_printf.h"
#include "io/image_file.h"

namespace lumo {
namespace {

void Append(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

// The plane `i` of the JPEG layout: a0..a5 of each block, then R, G, B.
std::vector<uint8_t> Plane(const PtmFile& ptm, size_t i) {
    const size_t pixels = ptm.Pixels();
    std::vector<uint8_t> plane(pixels);
    if (i < static_cast<size_t>(6 * ptm.Blocks())) {
        const uint8_t* in = ptm.coeff.data() + (i / 6) * pixels * 6;
        for (size_t p = 0; p < pixels; ++p)
            plane[p] = in[6 * p + i % 6];
    } else {
        for (size_t p = 0; p < pixels; ++p)
            plane[p] = ptm.rgb[3 * p + (i - 6)];
    }
    return plane;
}

Status EncodeJpegPlanes(const PtmFile& ptm, const PtmWriteOptions& o,
                        std::vector<uint8_t>& bytes) {
    const size_t n = ptm.format == PtmFormat::kJpegRgb ? 18 : 9;
    const size_t pixels = ptm.Pixels();
    std::vector<int> ref(n, -1), transform(n, 0), order(n);
    for (size_t i = 0; i < n; ++i) {
        order[i] = static_cast<int>(i);
        if (i < o.reference.size()) ref[i] = o.reference[i];
        if (i < o.transform.size()) transform[i] = o.transform[i];
        if (i < o.order.size()) order[i] = o.order[i];
    }
    std::vector<std::vector<uint8_t>> streams(n), sides(n), final_planes(n);
    std::vector<int> done(n, 0);
    // Planes are coded in the decoding sequence, so that a residual is taken
    // against the reference's value as the reader will have it.
    auto code = [&](size_t i, auto& self) -> Status {
        if (done[i]) return Status::Ok();
        done[i] = 1;
        const std::vector<uint8_t> want = Plane(ptm, i);
        const std::vector<uint8_t>* r = nullptr;
        if (ref[i] >= 0) {
            Status s = self(static_cast<size_t>(ref[i]), self);
            if (!s.ok()) return s;
            r = &final_planes[static_cast<size_t>(ref[i])];
        }
        auto ref_value = [&](size_t p) {
            return transform[i] == 1 ? 255 - (*r)[p] : (*r)[p];
        };
        FloatImage img;
        img.width = ptm.width;
        img.height = ptm.height;
        img.channels = 1;
        img.pixels.resize(pixels);
        for (size_t p = 0; p < pixels; ++p) {
            const int v = r ? (want[p] - ref_value(p) + 128) & 0xFF : want[p];
            img.pixels[p] = static_cast<float>(v) / 255.0f;
        }
        Status s =
            EncodeImageBytes(img, ImageBits::k8, "plane.jpg", streams[i], o.quality);
        if (!s.ok()) return s;
        FloatImage back;
        s = DecodeImageBytes(streams[i], "plane.jpg", back);
        if (!s.ok()) return s;
        std::vector<uint8_t>& got = final_planes[i];
        got.resize(pixels);
        for (size_t p = 0; p < pixels; ++p) {
            int v =
                static_cast<int>(std::lround(back.pixels[p * back.channels] * 255.0f));
            if (r) v = (v + ref_value(p) - 128) & 0xFF;
            got[p] = static_cast<uint8_t>(v);
            if (o.side_information && got[p] != want[p]) {
                const uint32_t at = static_cast<uint32_t>(p);
                sides[i].insert(
                    sides[i].end(),
                    {static_cast<uint8_t>(at >> 24), static_cast<uint8_t>(at >> 16),
                     static_cast<uint8_t>(at >> 8), static_cast<uint8_t>(at), want[p]});
                got[p] = want[p];
            }
        }
        return Status::Ok();
    };
    for (size_t k = 0; k < n; ++k) {
        const int i = order[k];
        if (i < 0 || static_cast<size_t>(i) >= n) continue;
        Status s = code(static_cast<size_t>(i), code);
        if (!s.ok()) return s;
    }
    for (size_t i = 0; i < n; ++i) {
        Status s = code(i, code);
        if (!s.ok()) return s;
    }
    Append(bytes, StrPrintf("%d\n", ptm.jpeg_quality > 0 ? ptm.jpeg_quality : o.quality));
    auto list = [&](auto value) {
        std::string line;
        for (size_t i = 0; i < n; ++i)
            line += StrPrintf(i ? " %lld" : "%lld", static_cast<long long>(value(i)));
        Append(bytes, line + "\n");
    };
    list([&](size_t i) { return transform[i]; });
    list([](size_t) { return 0; });
    list([](size_t) { return 0; });
    list([&](size_t i) { return order[i]; });
    list([&](size_t i) { return ref[i]; });
    list([&](size_t i) { return streams[i].size(); });
    list([&](size_t i) { return sides[i].size(); });
    for (size_t i = 0; i < n; ++i) {
        bytes.insert(bytes.end(), streams[i].begin(), streams[i].end());
        bytes.insert(bytes.end(), sides[i].begin(), sides[i].end());
    }
    return Status::Ok();
}

}  // namespace

Status EncodePtm(const PtmFile& ptm, const PtmWriteOptions& options,
                 std::vector<uint8_t>& bytes) {
    bytes.clear();
    const size_t pixels = ptm.Pixels();
    if (ptm.width < 1 || ptm.height < 1 ||
        ptm.coeff.size() != pixels * 6 * static_cast<size_t>(ptm.Blocks()) ||
        ptm.rgb.size() != (ptm.HasColour() ? pixels * 3 : 0)) {
        return Status::Error("[WritePtm]: inconsistent map\n");
    }
    std::string head = StrPrintf("%s\n%s\n%d %d\n", ptm.version.c_str(),
                                 PtmFormatName(ptm.format), ptm.width, ptm.height);
    for (int i = 0; i < 6; ++i)
        head += StrPrintf(i ? " %.9g" : "%.9g", static_cast<double>(ptm.scale[i]));
    head += "\n";
    for (int i = 0; i < 6; ++i)
        head += StrPrintf(i ? " %d" : "%d", ptm.bias[i]);
    head += "\n";
    Append(bytes, head);
    if (ptm.IsJpeg()) return EncodeJpegPlanes(ptm, options, bytes);
    if (ptm.format == PtmFormat::kLrgb && ptm.version == "PTM_1.1") {
        for (size_t p = 0; p < pixels; ++p) {
            bytes.insert(bytes.end(), ptm.coeff.begin() + 6 * p,
                         ptm.coeff.begin() + 6 * p + 6);
            bytes.insert(bytes.end(), ptm.rgb.begin() + 3 * p,
                         ptm.rgb.begin() + 3 * p + 3);
        }
        return Status::Ok();
    }
    bytes.insert(bytes.end(), ptm.coeff.begin(), ptm.coeff.end());
    bytes.insert(bytes.end(), ptm.rgb.begin(), ptm.rgb.end());
    return Status::Ok();
}

Status WritePtmFile(const std::string& path, const PtmFile& ptm,
                    const PtmWriteOptions& options) {
    std::vector<uint8_t> bytes;
    Status s = EncodePtm(ptm, options, bytes);
    if (!s.ok()) return s;
    FilePtr f = OpenFile(path.c_str(), "wb");
    const bool ok =
        f && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    if (!f || std::fclose(f.release()) != 0 || !ok)
        return Status::Error(StrPrintf("[WritePtm]: cannot write %s\n", path.c_str()));
    return Status::Ok();
}

}  // namespace lumo
