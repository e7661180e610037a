#include "testing/hsh_fit.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <memory>

#include "base/parallel_for.h"
#include "base/psnr.h"
#include "fit/light_positions.h"
#include "fit/photo_rows.h"
#include "io/image_file.h"
#include "relight/recon_common.h"

namespace lumo::testing {
namespace {

// P_l^m(x), m >= 0, with the Condon-Shortley phase, by the usual recurrence.
double Legendre(int l, int m, double x) {
    double pmm = 1.0;
    if (m > 0) {
        const double s = std::sqrt(std::max(0.0, (1.0 - x) * (1.0 + x)));
        double f = 1.0;
        for (int i = 1; i <= m; ++i) {
            pmm *= -f * s;
            f += 2.0;
        }
    }
    if (l == m) return pmm;
    double pmmp1 = x * (2 * m + 1) * pmm;
    if (l == m + 1) return pmmp1;
    double pll = 0.0;
    for (int ll = m + 2; ll <= l; ++ll) {
        pll = ((2 * ll - 1) * x * pmmp1 - (ll + m - 1) * pmm) / (ll - m);
        pmm = pmmp1;
        pmmp1 = pll;
    }
    return pll;
}

double Factorial(int n) {
    double f = 1.0;
    for (int i = 2; i <= n; ++i)
        f *= i;
    return f;
}

}  // namespace

std::vector<double> HshBasis(const double d[3], int terms) {
    std::vector<double> out;
    const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    const double cos_t = std::clamp(d[2] / len, -1.0, 1.0);
    const double phi = std::atan2(d[1], d[0]);
    const double x = 2.0 * cos_t - 1.0;
    for (int l = 0; static_cast<int>(out.size()) < terms; ++l) {
        for (int m = -l; m <= l && static_cast<int>(out.size()) < terms; ++m) {
            const int am = std::abs(m);
            const double K = std::sqrt((2 * l + 1) * Factorial(l - am) /
                                       (2 * M_PI * Factorial(l + am)));
            const double P = Legendre(l, am, x);
            if (m > 0) {
                out.push_back(std::sqrt(2.0) * K * std::cos(m * phi) * P);
            } else if (m < 0) {
                out.push_back(std::sqrt(2.0) * K * std::sin(-m * phi) * P);
            } else {
                out.push_back(K * P);
            }
        }
    }
    return out;
}

double HshResult::Psnr() const {
    return samples > 0 ? PsnrFromMse(squared / samples) : 0.0;
}

Status HshHeldOut(const std::string& lp, const std::vector<int>& held_lines, int terms,
                  HshResult& result) {
    std::vector<LightPhoto> photos;
    Status s = ReadLightPositions(lp, photos);
    if (!s.ok()) return s;
    std::vector<std::string> paths;
    std::vector<const LightPhoto*> order;
    for (int pass = 0; pass < 2; ++pass) {
        for (const LightPhoto& p : photos) {
            const bool held = std::find(held_lines.begin(), held_lines.end(), p.line) !=
                              held_lines.end();
            if (held != (pass == 1)) continue;
            order.push_back(&p);
            paths.push_back(p.path);
        }
    }
    const int N = static_cast<int>(order.size());
    const int fitted = N - static_cast<int>(held_lines.size());
    if (fitted < terms) return Status::Error("[HshHeldOut]: too few photographs\n");
    Eigen::MatrixXd B(N, terms);
    for (int k = 0; k < N; ++k) {
        const std::vector<double> row =
            HshBasis(order[static_cast<size_t>(k)]->direction, terms);
        for (int i = 0; i < terms; ++i)
            B(k, i) = row[static_cast<size_t>(i)];
    }
    // Least squares: c = (B^T B)^-1 B^T v over the fitted photographs.
    const Eigen::MatrixXd Bf = B.topRows(fitted);
    const Eigen::MatrixXf P =
        (Bf.transpose() * Bf).ldlt().solve(Bf.transpose()).cast<float>();
    const Eigen::MatrixXf Bh = B.bottomRows(N - fitted).cast<float>();

    ImageSize size;
    s = ReadImageSize(paths.front(), size);
    if (!s.ok()) return s;
    std::unique_ptr<PhotoRows> rows;
    s = OpenPhotoRows(paths, size.width, size.height, rows);
    if (!s.ok()) return s;
    const int strip = 16;
    const Eigen::Index cols = static_cast<Eigen::Index>(size.width) * 3;
    using RowMatrix =
        Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
    RowMatrix values(N, cols * strip);
    for (int y0 = 0; y0 < size.height; y0 += strip) {
        const int y1 = std::min(size.height, y0 + strip);
        std::vector<Status> failures(static_cast<size_t>(N));
        ParallelForEach(static_cast<size_t>(N), [&](size_t r) {
            failures[r] =
                rows->Read(r, y0, y1, values.row(static_cast<Eigen::Index>(r)).data());
        });
        for (const Status& f : failures) {
            if (!f.ok()) return f;
        }
        const Eigen::Index n = cols * (y1 - y0);
        const Eigen::MatrixXf coeff = P * values.topRows(fitted).leftCols(n);
        Eigen::MatrixXf model = Bh * coeff;
        for (Eigen::Index r = 0; r < model.rows(); ++r) {
            for (Eigen::Index j = 0; j < n; ++j) {
                const float m = model(r, j) + 0.5f / 255.0f;
                const double d =
                    static_cast<double>(ToByte((m > 0.0f ? m : 0.0f) * 255.0f)) -
                    255.0 * static_cast<double>(values(fitted + r, j));
                result.squared += d * d;
            }
        }
        result.samples += static_cast<double>(model.rows()) * static_cast<double>(n);
    }
    return Status::Ok();
}

}  // namespace lumo::testing
