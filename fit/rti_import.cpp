#include "fit/rti_import.h"

#include <Eigen/Dense>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <numbers>
#include <span>
#include <vector>

#include "bake/baked_slab.h"
#include "base/atomic_file.h"
#include "base/parallel_for.h"
#include "base/psnr.h"
#include "base/str_printf.h"
#include "fit/capture.h"
#include "fit/rti_model.h"
#include "fit/sh_fit.h"
#include "relight/brdf_writer.h"
#include "scene/lid_writer.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

// Pixels per block of the conversion: fixed, so that the error sums add up
// in the same order whatever the number of threads.
constexpr size_t kBlock = 4096;

// `count` directions spread evenly over the upper hemisphere (equal areas:
// z uniform in (0, 1), the azimuth turning by the golden angle).
std::vector<std::array<double, 3>> HemisphereDirections(int count) {
    std::vector<std::array<double, 3>> dirs(static_cast<size_t>(count));
    const double golden = std::numbers::pi * (3.0 - std::sqrt(5.0));
    for (int k = 0; k < count; ++k) {
        const double z = 1.0 - (k + 0.5) / count;
        const double r = std::sqrt(std::max(0.0, 1.0 - z * z));
        const double phi = golden * k;
        dirs[static_cast<size_t>(k)] = {r * std::cos(phi), r * std::sin(phi), z};
    }
    return dirs;
}

}  // namespace

Status ImportRti(const std::string& source, const std::string& outdir,
                 const ImportOptions& o, const MessageSink& progress,
                 ImportSummary& summary) {
    RtiModel model;
    Status s = LoadRtiModel(source, model);
    if (!s.ok()) return s;
    const int W = model.width, H = model.height, K = model.terms;
    const int T = o.bands * o.bands;
    const int N = o.directions;

    // The geometry of a single-camera fit, framed to the picture.
    Capture capture = SingleCameraCapture(source);
    SetPhotoSize(capture, W, H);
    auto record = std::make_unique<SlabRecord>();
    tool::FillSlabRecord(capture.slab, o.name.c_str(), *record);

    const auto dirs = HemisphereDirections(N);
    std::vector<const double*> dir_ptrs;
    for (const auto& d : dirs)
        dir_ptrs.push_back(d.data());
    const std::vector<float> basis = BasisRows(*record, dir_ptrs, o.bands);
    std::vector<float> fit_matrix;
    if (basis.empty() || !SolveFit(basis, N, o.bands, 0.0, fit_matrix).ok()) {
        return Status::Error(StrPrintf(
            "[ImportRti]: %d bands cannot be fitted over the hemisphere\n", o.bands));
    }
    Eigen::MatrixXd S(N, K);
    for (int k = 0; k < N; ++k) {
        std::vector<double> v(static_cast<size_t>(K));
        model.basis(dirs[static_cast<size_t>(k)].data(), v.data());
        for (int i = 0; i < K; ++i)
            S(k, i) = v[static_cast<size_t>(i)];
    }
    Eigen::MatrixXd F(T, N), B(N, T);
    for (int k = 0; k < N; ++k) {
        for (int i = 0; i < T; ++i) {
            F(i, k) = fit_matrix[static_cast<size_t>(k) * T + i];
            B(k, i) = basis[static_cast<size_t>(k) * T + i];
        }
    }
    const Eigen::MatrixXd P = F * S;      // T x K
    const Eigen::MatrixXd R = S - B * P;  // N x K
    const Eigen::MatrixXd G = R.transpose() * R / static_cast<double>(N);
    const Eigen::MatrixXf Pf = P.cast<float>();
    // The engine truncates 255 * sum to a byte; half a byte on the constant
    // term makes the relit bytes the nearest ones.
    const float half_byte = 0.5f / 255.0f / basis[0];

    Emit(progress,
         StrPrintf("import: %s: %d x %d, %s, %d bands, into %s\n", source.c_str(), W, H,
                   model.kind.c_str(), o.bands, outdir.c_str()));

    ShCoeffImage image(W, H, o.bands);
    const size_t pixels = static_cast<size_t>(W) * static_cast<size_t>(H);
    const size_t blocks = (pixels + kBlock - 1) / kBlock;
    std::vector<double> block_error(blocks, 0.0);
    ParallelFor(pixels, kBlock, [&](size_t b, size_t e) {
        std::vector<float> c(static_cast<size_t>(T));
        for (size_t p0 = b; p0 < e; p0 += kBlock) {
            const size_t p1 = std::min(e, p0 + kBlock);
            double sum = 0.0;
            for (size_t p = p0; p < p1; ++p) {
                const int32_t x = static_cast<int32_t>(p % static_cast<size_t>(W));
                const int32_t y = static_cast<int32_t>(p / static_cast<size_t>(W));
                for (int ch = 0; ch < 3; ++ch) {
                    const Eigen::Map<const Eigen::VectorXf> a(model.At(x, y, ch), K);
                    Eigen::Map<Eigen::VectorXf>(c.data(), T).noalias() = Pf * a;
                    c[0] += half_byte;
                    image.Set(ch, x, y, c);
                    const Eigen::VectorXd ad = a.cast<double>();
                    sum += ad.dot(G * ad);
                }
            }
            block_error[p0 / kBlock] = sum;
        }
    });
    double squared = 0.0;
    for (double v : block_error)
        squared += v;
    const double samples = static_cast<double>(pixels) * 3.0;
    const double mse = 255.0 * 255.0 * std::max(0.0, squared) / samples;
    summary.kind = model.kind;
    summary.width = W;
    summary.height = H;
    summary.rms = std::sqrt(mse);
    summary.psnr = PsnrFromMse(mse);

    // Nothing is written before here.
    std::error_code ec;
    const bool existed = fs::exists(outdir, ec);
    fs::create_directories(outdir, ec);
    if (!fs::is_directory(outdir, ec))
        return Status::Error(StrPrintf("[ImportRti]: cannot write %s\n", outdir.c_str()));
    std::vector<std::string> written;
    auto fail = [&](const Status& st) {
        std::error_code e;
        for (const std::string& f : written)
            fs::remove(f, e);
        if (!existed) fs::remove(outdir, e);
        return st;
    };
    auto join = [&](const std::string& name) {
        return (fs::path(outdir) / name).string();
    };

    const std::string coeff_path = join(o.name + ".0.0.urdf.sh");
    s = WriteFileAtomicallyByName(coeff_path, [&](const std::string& tmp) {
        return WriteBrdfFile(tmp.c_str(), image);
    });
    if (!s.ok()) return fail(s);
    written.push_back(coeff_path);

    LidSpec spec;
    spec.comment = StrPrintf("Imported by lumotool import from %s: %s, %d bands",
                             fs::path(source).filename().string().c_str(),
                             model.kind.c_str(), o.bands);
    spec.name = o.name;
    spec.brdf = true;
    spec.harmonics = T;
    const std::string lid = join(o.name + ".lid");
    s = WriteFileAtomically(lid, SlabLidText(tool::ToLidSlab(capture.slab), spec));
    if (!s.ok()) return fail(s);
    written.push_back(lid);

    const nlohmann::json report = {
        {"source", source},
        {"format", model.kind},
        {"name", o.name},
        {"width", W},
        {"height", H},
        {"bands", o.bands},
        {"directions", N},
        {"scale",
         "8-bit: errors in units of 1/255 of the source's full scale, over "
         "the upper hemisphere of light directions"},
        {"conversion", {{"rms", summary.rms}, {"psnr", summary.psnr}}},
    };
    summary.report = join(kImportReportName);
    s = WriteFileAtomically(summary.report, report.dump(2) + "\n");
    if (!s.ok()) return fail(s);
    return Status::Ok();
}

}  // namespace lumo
