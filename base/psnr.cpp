#include "base/psnr.h"

#include <algorithm>
#include <cmath>

namespace lumo {

double SquaredError(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    const size_t n = std::min(a.size(), b.size());
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    return sum;
}

double PsnrFromMse(double mse) {
    if (!(mse > 0.0)) return kPsnrCap;
    return std::min(kPsnrCap, 10.0 * std::log10(255.0 * 255.0 / mse));
}

double Psnr(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    if (a.size() != b.size() || a.empty()) return 0.0;
    return PsnrFromMse(SquaredError(a, b) / static_cast<double>(a.size()));
}

}  // namespace lumo
