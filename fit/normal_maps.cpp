#include "fit/normal_maps.h"

#include <cmath>
#include <filesystem>
#include <memory>
#include <numbers>
#include <vector>

#include "base/file_ptr.h"
#include "base/str_printf.h"
#include "fit/publish_file.h"
#include "io/image_file.h"
#include "relight/brdf_file.h"
#include "scene/lid_info.h"
#include "scene/lid_reader.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

constexpr float kLuminance[3] = {0.2126f, 0.7152f, 0.0722f};

// The length of a Lambertian surface's first band per unit albedo.
const double kBandOneLength =
    2.0 * std::numbers::pi / 3.0 * std::sqrt(3.0 / (4.0 * std::numbers::pi));

// The first band's coefficients (indices 1..3) of every pixel and channel of
// a coefficient file; zeros where a pixel has none.
Status FirstBand(const std::string& path, std::vector<float>& band, int32_t& w,
                 int32_t& h) {
    FilePtr f = OpenFile(path.c_str(), "rb");
    if (!f) return Status::Error(StrPrintf("Cannot read brdf file: %s\n", path.c_str()));
    BrdfFileData data;
    Status s = ReadBrdfData(f.get(), data, MessageSink());
    if (!s.ok()) return s;
    if (data.lcnt < 2 || data.harcnt < 4)
        return Status::Error(
            StrPrintf("[NormalMaps]: %s has fewer than 2 bands\n", path.c_str()));
    w = data.width;
    h = data.height;
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    band.assign(pixels * 9, 0.0f);
    for (int c = 0; c < 3; ++c) {
        size_t k = 0;
        for (size_t e = 0; e < pixels; ++e) {
            if (!data.Present(c, e)) continue;
            if (k >= static_cast<size_t>(data.count[c]))
                return Status::Error("BRDF file possibly corrupted\n");
            const float* a = data.CC[c].data() + k * static_cast<size_t>(data.harcnt);
            for (int i = 0; i < 3; ++i)
                band[(e * 3 + static_cast<size_t>(c)) * 3 + static_cast<size_t>(i)] =
                    a[1 + i];
            ++k;
        }
    }
    return Status::Ok();
}

}  // namespace

Status WriteNormalMaps(const std::string& scene, const std::string& outdir,
                       const NormalMapOptions& options, const MessageSink& progress,
                       int& written_count) {
    written_count = 0;
    auto info = std::make_unique<LidInfo>();
    Status s = ReadLidPath(scene.c_str(), *info);
    if (!s.ok()) return s;
    const SlabRecord* slab = nullptr;
    for (int32_t i = 0; i < info->slab_count && i < MAX_SLABS; ++i) {
        if (info->slabs[static_cast<size_t>(i)].format == kFormatBRDF) {
            slab = &info->slabs[static_cast<size_t>(i)];
            break;
        }
    }
    if (slab == nullptr)
        return Status::Error(
            StrPrintf("[NormalMaps]: %s has no relightable slab\n", scene.c_str()));

    std::error_code ec;
    const bool existed = fs::exists(outdir, ec);
    std::vector<std::string> written;
    auto fail = [&](const Status& st) {
        std::error_code e;
        for (const std::string& f : written)
            fs::remove(f, e);
        if (!existed) fs::remove(outdir, e);
        return st;
    };
    const char* ext = options.exr ? "exr" : "png";
    const ImageBits bits = options.exr ? ImageBits::kFloat : ImageBits::k16;
    const int32_t n = slab->samples_u, m = slab->samples_v;
    for (int32_t b = 0; b < m; ++b) {
        for (int32_t a = 0; a < n; ++a) {
            const size_t k =
                static_cast<size_t>(b) * static_cast<size_t>(n) + static_cast<size_t>(a);
            const std::vector<uint8_t>& mask = slab->viewenablemask[0];
            if (!mask.empty() && (k >= mask.size() || mask[k] == 0)) continue;
            const std::string path = StrPrintf("%s.%d.%d.urdf.sh", slab->name, a, b);
            std::vector<float> band;
            int32_t w = 0, h = 0;
            s = FirstBand(path, band, w, h);
            if (!s.ok()) return fail(s);
            if (written.empty()) {
                fs::create_directories(outdir, ec);
                if (!fs::is_directory(outdir, ec))
                    return fail(Status::Error(StrPrintf(
                        "[NormalMaps]: cannot write into %s\n", outdir.c_str())));
            }
            FloatImage normals, albedo;
            for (FloatImage* img : {&normals, &albedo}) {
                img->width = w;
                img->height = h;
                img->channels = 3;
                img->pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 3,
                                   0.0f);
            }
            for (int32_t y = 0; y < h; ++y) {
                for (int32_t x = 0; x < w; ++x) {
                    const size_t e = static_cast<size_t>(y) * static_cast<size_t>(w) +
                                     static_cast<size_t>(x);
                    // Pictures are upright: the coefficient rows' last is the top.
                    const size_t out =
                        (static_cast<size_t>(h - 1 - y) * static_cast<size_t>(w) +
                         static_cast<size_t>(x)) *
                        3;
                    const float* c = &band[e * 9];
                    double l[3] = {0, 0, 0};
                    for (int ch = 0; ch < 3; ++ch) {
                        const float* cc = c + 3 * ch;
                        for (int i = 0; i < 3; ++i)
                            l[i] += kLuminance[ch] * cc[i];
                        const double len =
                            std::sqrt(double(cc[0]) * cc[0] + double(cc[1]) * cc[1] +
                                      double(cc[2]) * cc[2]);
                        albedo.pixels[out + static_cast<size_t>(ch)] =
                            static_cast<float>(len / kBandOneLength);
                    }
                    // Coefficients 1, 2, 3 are (1, -1), (1, 0), (1, 1).
                    const double v[3] = {-l[2], -l[0], l[1]};
                    const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
                    for (int i = 0; i < 3; ++i) {
                        const double unit = len > 0.0 ? v[i] / len : 0.0;
                        normals.pixels[out + static_cast<size_t>(i)] =
                            static_cast<float>(options.exr ? unit : 0.5 * (unit + 1.0));
                    }
                }
            }
            for (const auto& [name, img] :
                 {std::pair{"normals", &normals}, std::pair{"albedo", &albedo}}) {
                const std::string file =
                    (fs::path(outdir) / StrPrintf("%s.%d.%d.%s", name, a, b, ext))
                        .string();
                s = PublishFile(file, "NormalMaps", [&](const std::string& tmp) {
                    return WriteImageFile(tmp, *img, bits);
                });
                if (!s.ok()) return fail(s);
                written.push_back(file);
            }
            ++written_count;
            Emit(progress, StrPrintf("normals: camera (%d, %d): %d x %d\n", a, b, w, h));
        }
    }
    return Status::Ok();
}

}  // namespace lumo
