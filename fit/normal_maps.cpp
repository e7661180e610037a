#include "fit/normal_maps.h"

#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <memory>
#include <numbers>
#include <vector>

#include "base/atomic_file.h"
#include "base/file_ptr.h"
#include "base/parallel_for.h"
#include "base/str_printf.h"
#include "io/image_file.h"
#include "relight/brdf_file.h"
#include "relight/sh_basis.h"
#include "scene/lid_info.h"
#include "scene/lid_reader.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

constexpr float kLuminance[3] = {0.2126f, 0.7152f, 0.0722f};
constexpr int kDirections = 256;
constexpr double kLitShare = 0.3;
constexpr int kFewest = 8;

// A coefficient file's coefficients, dense: `terms` per pixel and channel
// (zeros where a pixel has none), and which pixels have any.
struct DenseCoefficients {
    int32_t width = 0, height = 0, bands = 0, terms = 0;
    std::vector<float> coeff;  // ((e * 3) + c) * terms
    std::vector<uint8_t> present;
};

Status ReadDense(const std::string& path, DenseCoefficients& out) {
    FilePtr f = OpenFile(path.c_str(), "rb");
    if (!f) return Status::Error(StrPrintf("Cannot read brdf file: %s\n", path.c_str()));
    BrdfFileData data;
    Status s = ReadBrdfData(f.get(), data, MessageSink());
    if (!s.ok()) return s;
    const int32_t terms = std::min(data.harcnt, data.lcnt * data.lcnt);
    if (data.lcnt < 2 || terms < 4)
        return Status::Error(
            StrPrintf("[NormalMaps]: %s has fewer than 2 bands\n", path.c_str()));
    out.width = data.width;
    out.height = data.height;
    out.bands = data.lcnt;
    out.terms = terms;
    const size_t pixels =
        static_cast<size_t>(data.width) * static_cast<size_t>(data.height);
    out.coeff.assign(pixels * 3 * static_cast<size_t>(terms), 0.0f);
    out.present.assign(pixels, 0);
    for (int c = 0; c < 3; ++c) {
        size_t k = 0;
        for (size_t e = 0; e < pixels; ++e) {
            if (!data.Present(c, e)) continue;
            if (k >= static_cast<size_t>(data.count[c]))
                return Status::Error("BRDF file possibly corrupted\n");
            const float* a = data.CC[c].data() + k * static_cast<size_t>(data.harcnt);
            std::copy(a, a + terms,
                      out.coeff.begin() +
                          static_cast<std::ptrdiff_t>((e * 3 + static_cast<size_t>(c)) *
                                                      static_cast<size_t>(terms)));
            out.present[e] = 1;
            ++k;
        }
    }
    return Status::Ok();
}

// Directions over the upper hemisphere (equal areas) in the slab frame, and
// the engine's basis at each (direction-major, `terms` values each).
struct Hemisphere {
    std::vector<std::array<double, 3>> dirs;
    std::vector<float> basis;
};

Status MakeHemisphere(int bands, int terms, Hemisphere& h) {
    Status s = EnsureShBands(bands);
    if (!s.ok()) return s;
    const double golden = std::numbers::pi * (3.0 - std::sqrt(5.0));
    std::vector<float> full(static_cast<size_t>(bands) * static_cast<size_t>(bands));
    for (int k = 0; k < kDirections; ++k) {
        const double z = 1.0 - (k + 0.5) / kDirections;
        const double r = std::sqrt(std::max(0.0, 1.0 - z * z));
        const double phi = golden * k;
        h.dirs.push_back({r * std::cos(phi), r * std::sin(phi), z});
        EvalShBasis(static_cast<float>(z), static_cast<float>(std::cos(phi)),
                    static_cast<float>(std::sin(phi)), bands - 1, full.data());
        h.basis.insert(h.basis.end(), full.begin(), full.begin() + terms);
    }
    return Status::Ok();
}

// The normal (unit, or zero) and the albedo of one pixel.
void PixelNormal(const DenseCoefficients& d, const Hemisphere& h, size_t e,
                 double normal[3], double albedo[3]) {
    const int T = d.terms;
    const float* c = &d.coeff[e * 3 * static_cast<size_t>(T)];
    std::vector<double> lum(static_cast<size_t>(T), 0.0);
    for (int ch = 0; ch < 3; ++ch) {
        for (int i = 0; i < T; ++i)
            lum[static_cast<size_t>(i)] += kLuminance[ch] * c[ch * T + i];
    }
    double f[kDirections], fc[3][kDirections];
    double brightest = 0.0;
    for (int k = 0; k < kDirections; ++k) {
        const float* y = &h.basis[static_cast<size_t>(k) * static_cast<size_t>(T)];
        double v = 0.0, vc[3] = {0, 0, 0};
        for (int i = 0; i < T; ++i) {
            v += lum[static_cast<size_t>(i)] * y[i];
            for (int ch = 0; ch < 3; ++ch)
                vc[ch] += static_cast<double>(c[ch * T + i]) * y[i];
        }
        f[k] = v;
        for (int ch = 0; ch < 3; ++ch)
            fc[ch][k] = vc[ch];
        brightest = std::max(brightest, v);
    }
    Eigen::Matrix3d A = Eigen::Matrix3d::Zero();
    Eigen::Vector3d r = Eigen::Vector3d::Zero();
    int used = 0;
    for (int k = 0; k < kDirections; ++k) {
        if (!(f[k] > kLitShare * brightest) || !(brightest > 0.0)) continue;
        const Eigen::Vector3d L(h.dirs[static_cast<size_t>(k)].data());
        A += L * L.transpose();
        r += f[k] * L;
        ++used;
    }
    Eigen::Vector3d n(0, 0, 0);
    if (used >= kFewest) n = A.ldlt().solve(r);
    if (!(n.norm() > 0.0) || !n.allFinite()) {
        // Coefficients 1, 2, 3 are (1, -1), (1, 0), (1, 1): -t, n, -s.
        n = Eigen::Vector3d(-lum[3], -lum[1], lum[2]);
        used = 0;
    }
    const double len = n.norm();
    if (len > 0.0 && std::isfinite(len))
        n /= len;
    else
        n.setZero();
    for (int i = 0; i < 3; ++i)
        normal[i] = n[i];
    for (int ch = 0; ch < 3; ++ch) {
        double num = 0.0, den = 0.0;
        for (int k = 0; k < kDirections && used > 0; ++k) {
            if (!(f[k] > kLitShare * brightest)) continue;
            const double cosine =
                n.dot(Eigen::Vector3d(h.dirs[static_cast<size_t>(k)].data()));
            num += fc[ch][k] * cosine;
            den += cosine * cosine;
        }
        albedo[ch] = den > 0.0 ? std::max(0.0, num / den) : 0.0;
    }
}

}  // namespace

Status WriteNormalMaps(const std::string& scene, const std::string& outdir,
                       const NormalMapOptions& options, const MessageSink& progress,
                       int& written_count) {
    written_count = 0;
    auto info = std::make_unique<LidInfo>();
    Status s = ReadLidFile(scene.c_str(), *info);
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
            DenseCoefficients d;
            s = ReadDense(path, d);
            if (!s.ok()) return fail(s);
            Hemisphere hemi;
            s = MakeHemisphere(d.bands, d.terms, hemi);
            if (!s.ok()) return fail(s);
            if (written.empty()) {
                fs::create_directories(outdir, ec);
                if (!fs::is_directory(outdir, ec)) {
                    return fail(Status::Error(StrPrintf(
                        "[NormalMaps]: cannot write into %s\n", outdir.c_str())));
                }
            }
            const int32_t w = d.width, h = d.height;
            FloatImage normals, albedo;
            for (FloatImage* img : {&normals, &albedo}) {
                img->width = w;
                img->height = h;
                img->channels = 3;
                img->pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 3,
                                   0.0f);
            }
            ParallelFor(static_cast<size_t>(w) * static_cast<size_t>(h), 256,
                        [&](size_t begin, size_t end) {
                            for (size_t e = begin; e < end; ++e) {
                                const size_t x = e % static_cast<size_t>(w);
                                const size_t y = e / static_cast<size_t>(w);
                                // Pictures are upright: the last coefficient row is the
                                // top.
                                const size_t out = ((static_cast<size_t>(h) - 1 - y) *
                                                        static_cast<size_t>(w) +
                                                    x) *
                                                   3;
                                double n[3] = {0, 0, 0}, rho[3] = {0, 0, 0};
                                if (d.present[e]) PixelNormal(d, hemi, e, n, rho);
                                for (int i = 0; i < 3; ++i) {
                                    normals.pixels[out + static_cast<size_t>(i)] =
                                        static_cast<float>(
                                            options.exr ? n[i] : 0.5 * (n[i] + 1.0));
                                    albedo.pixels[out + static_cast<size_t>(i)] =
                                        static_cast<float>(rho[i]);
                                }
                            }
                        });
            for (const auto& map :
                 {std::pair{"normals", &normals}, std::pair{"albedo", &albedo}}) {
                const char* name = map.first;
                const FloatImage& img = *map.second;
                const std::string file =
                    (fs::path(outdir) / StrPrintf("%s.%d.%d.%s", name, a, b, ext))
                        .string();
                s = WriteFileAtomicallyByName(file, [&](const std::string& tmp) {
                    return WriteImageFile(tmp, img, bits);
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
