#include "fit/sh_fit.h"

#include <Eigen/Dense>

#include "base/str_printf.h"
#include "relight/sh_basis.h"
#include "relight/slab_frame.h"

namespace lumo {

std::vector<float> BasisRows(const SlabRecord& record,
                             const std::vector<const double*>& directions, int bands) {
    const size_t terms = static_cast<size_t>(bands) * static_cast<size_t>(bands);
    std::vector<float> rows(directions.size() * terms);
    if (!EnsureShBands(bands).ok()) return {};
    const SlabFrame frame = MakeSlabFrame(record);
    for (size_t k = 0; k < directions.size(); ++k) {
        const double* d = directions[k];
        // x s + y t + z n, in floats as the engine holds a light.
        Vec3 L;
        VecCopy(frame.s, L);
        VecScale(L, static_cast<float>(d[0]));
        VecAddScaled(frame.t, static_cast<float>(d[1]), L);
        VecAddScaled(frame.n, static_cast<float>(d[2]), L);
        VecNormalize(L);
        const ShAngles a = LightAngles(L, frame.n, frame.s, frame.t);
        EvalShBasis(a.cost, a.cosp, a.sinp, bands - 1, &rows[k * terms]);
    }
    return rows;
}

Status SolveFit(const std::vector<float>& basis, int count, int bands, double lambda,
                std::vector<float>& fit_matrix) {
    const int terms = bands * bands;
    Eigen::MatrixXd B(count, terms);
    for (int k = 0; k < count; ++k) {
        for (int i = 0; i < terms; ++i)
            B(k, i) = static_cast<double>(basis[static_cast<size_t>(k) * terms + i]);
    }
    const double inv_n = 1.0 / static_cast<double>(count);
    Eigen::MatrixXd A = (B.transpose() * B) * inv_n;
    for (int l = 0; l < bands; ++l) {
        for (int m = -l; m <= l; ++m) {
            const int i = l * l + l + m;
            A(i, i) += lambda * static_cast<double>(l * (l + 1));
        }
    }
    const Eigen::LDLT<Eigen::MatrixXd> ldlt(A);
    if (ldlt.info() != Eigen::Success || !ldlt.isPositive() || !(ldlt.rcond() > 1e-12)) {
        return Status::Error(
            StrPrintf("[FitCapture]: the light directions do not determine %d bands; "
                      "raise --lambda\n",
                      bands));
    }
    const Eigen::MatrixXd X = ldlt.solve(B.transpose() * inv_n);
    fit_matrix.resize(static_cast<size_t>(terms) * static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        for (int i = 0; i < terms; ++i)
            fit_matrix[static_cast<size_t>(k) * terms + i] = static_cast<float>(X(i, k));
    }
    return Status::Ok();
}

}  // namespace lumo
