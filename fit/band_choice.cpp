#include "fit/band_choice.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>

#include "base/parallel_for.h"
#include "base/psnr.h"
#include "base/str_printf.h"
#include "fit/holdout.h"
#include "fit/photo_rows.h"
#include "fit/sh_fit.h"
#include "relight/recon_common.h"

namespace lumo {
namespace {

using RowMatrix = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

constexpr double kLambdas[] = {0.0, 1e-5, 1e-4, 1e-3, 1e-2};
constexpr int kSamplePixels = 32768;

// One sample camera: its training and validation photographs' values at the
// sample pixels (row per photograph, column 3 * pixel + channel).
struct CameraSample {
    std::vector<const double*> train_dirs, check_dirs;
    RowMatrix train, check;
};

Status ReadSample(const std::vector<LightPhoto>& photos, int W, int H, int stride,
                  int threads, CameraSample& out) {
    const int check_count = std::max(1, static_cast<int>(photos.size()) / 10);
    const std::vector<uint8_t> check = HoldOut(photos, check_count);
    std::vector<std::string> paths;
    std::vector<size_t> order;
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t k = 0; k < photos.size(); ++k) {
            if (check[k] != pass) continue;
            order.push_back(k);
            paths.push_back(photos[k].path);
            (pass ? out.check_dirs : out.train_dirs).push_back(photos[k].direction);
        }
    }
    std::unique_ptr<PhotoRows> rows;
    Status s = OpenPhotoRows(paths, W, H, rows);
    if (!s.ok()) return s;
    const int sx = (W + stride - 1) / stride;
    const int sy = (H + stride - 1) / stride;
    const Eigen::Index cols = static_cast<Eigen::Index>(sx) * sy * 3;
    const Eigen::Index n_train = static_cast<Eigen::Index>(out.train_dirs.size());
    out.train.resize(n_train, cols);
    out.check.resize(static_cast<Eigen::Index>(out.check_dirs.size()), cols);
    std::vector<Status> failures(paths.size());
    ParallelForEach(
        paths.size(),
        [&](size_t r) {
            const Eigen::Index ri = static_cast<Eigen::Index>(r);
            float* dst = ri < n_train ? out.train.row(ri).data()
                                      : out.check.row(ri - n_train).data();
            std::vector<float> line(static_cast<size_t>(W) * 3);
            for (int j = 0; j < sy; ++j) {
                const Status st = rows->Read(r, j * stride, j * stride + 1, line.data());
                if (!st.ok()) {
                    failures[r] = st;
                    return;
                }
                for (int i = 0; i < sx; ++i) {
                    for (int c = 0; c < 3; ++c)
                        *dst++ = line[static_cast<size_t>(i) * stride * 3 + c];
                }
            }
        },
        threads);
    for (const Status& f : failures) {
        if (!f.ok()) return f;
    }
    return Status::Ok();
}

// Squared 8-bit error of the fit at (bands, lambda) on one camera's
// validation photographs; false when the normal equations are singular.
bool ValidationError(const SlabRecord& record, const CameraSample& cam, int bands,
                     double lambda, double& squared) {
    const int T = bands * bands;
    const std::vector<float> train_basis = BasisRows(record, cam.train_dirs, bands);
    const std::vector<float> check_basis = BasisRows(record, cam.check_dirs, bands);
    std::vector<float> fit_matrix;
    const int n = static_cast<int>(cam.train_dirs.size());
    if (!SolveFit(train_basis, n, bands, lambda, fit_matrix).ok()) return false;
    const Eigen::Map<const Eigen::MatrixXf> X(fit_matrix.data(), T, n);
    const Eigen::Map<const RowMatrix> Bc(
        check_basis.data(), static_cast<Eigen::Index>(cam.check_dirs.size()), T);
    Eigen::MatrixXf coeff = X * cam.train;
    coeff.row(0).array() += 0.5f / 255.0f / train_basis[0];
    const RowMatrix model = Bc * coeff;
    squared = 0.0;
    for (Eigen::Index r = 0; r < model.rows(); ++r) {
        for (Eigen::Index j = 0; j < model.cols(); ++j) {
            const float m = model(r, j);
            const double d = static_cast<double>(ToByte((m > 0.0f ? m : 0.0f) * 255.0f)) -
                             255.0 * static_cast<double>(cam.check(r, j));
            squared += d * d;
        }
    }
    return true;
}

}  // namespace

std::vector<int> ChoiceSampleCameras(int columns, int rows) {
    std::vector<int> out;
    for (int b : {rows / 4, (3 * rows) / 4}) {
        for (int a : {columns / 4, (3 * columns) / 4}) {
            const int index = b * columns + a;
            if (std::find(out.begin(), out.end(), index) == out.end())
                out.push_back(index);
        }
    }
    return out;
}

Status ChooseBands(const BandChoiceInput& in, const std::vector<std::string>& lp_files,
                   BandChoice& choice) {
    const double pixels = static_cast<double>(in.width) * static_cast<double>(in.height);
    const int stride =
        std::max(1, static_cast<int>(std::ceil(std::sqrt(pixels / kSamplePixels))));
    std::vector<CameraSample> samples(in.cameras.size());
    int fewest = -1;
    for (size_t c = 0; c < in.cameras.size(); ++c) {
        const Status s = ReadSample(in.cameras[c], in.width, in.height, stride,
                                    in.threads, samples[c]);
        if (!s.ok()) return s;
        const int n = static_cast<int>(in.cameras[c].size());
        fewest = fewest < 0 ? n : std::min(fewest, n);
    }
    choice = BandChoice();
    choice.pixels = static_cast<int>(((in.width + stride - 1) / stride) *
                                     ((in.height + stride - 1) / stride));
    const int first = in.bands > 0 ? in.bands : kMinChoiceBands;
    const int last = in.bands > 0 ? in.bands : kMaxChoiceBands;
    std::vector<BandCandidate> best_per_bands;
    for (int L = first; L <= last; ++L) {
        const int T = L * L;
        if (in.bands <= 0 && L > kMinChoiceBands && 2 * T > fewest) break;
        BandCandidate best;
        for (double lambda : kLambdas) {
            if (in.lambda >= 0.0) lambda = in.lambda;
            double squared = 0.0, samples_n = 0.0;
            bool ok = true;
            for (const CameraSample& cam : samples) {
                double sq = 0.0;
                if (static_cast<int>(cam.train_dirs.size()) < T ||
                    !ValidationError(*in.record, cam, L, lambda, sq)) {
                    ok = false;
                    break;
                }
                squared += sq;
                samples_n += static_cast<double>(cam.check.size());
            }
            if (ok) {
                const BandCandidate cand{L, lambda, PsnrFromMse(squared / samples_n)};
                choice.candidates.push_back(cand);
                if (best.bands == 0 || cand.psnr > best.psnr) best = cand;
            }
            if (in.lambda >= 0.0) break;
        }
        if (best.bands != 0) best_per_bands.push_back(best);
    }
    if (best_per_bands.empty()) {
        return Status::Error(
            StrPrintf("[FitCapture]: no band count from %d to %d can be fitted to %s\n",
                      first, last, lp_files.empty() ? "" : lp_files.front().c_str()));
    }
    BandCandidate best = best_per_bands.front();
    for (const BandCandidate& c : best_per_bands) {
        if (c.psnr > best.psnr) best = c;
    }
    choice.best_bands = best.bands;
    choice.best_psnr = best.psnr;
    for (const BandCandidate& c : best_per_bands) {
        if (c.psnr >= best.psnr - kBandChoiceSlackDb) {
            choice.bands = c.bands;
            choice.lambda = c.lambda;
            choice.psnr = c.psnr;
            break;
        }
    }
    return Status::Ok();
}

std::string BandChoiceReason(const BandChoice& c) {
    if (c.bands == c.best_bands) {
        return StrPrintf("the best validation PSNR, %.2f dB, at lambda %g", c.psnr,
                         c.lambda);
    }
    return StrPrintf(
        "%.2f dB at lambda %g, within %.1f dB of the best, %d bands' %.2f dB", c.psnr,
        c.lambda, kBandChoiceSlackDb, c.best_bands, c.best_psnr);
}

}  // namespace lumo
