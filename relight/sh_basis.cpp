#include "relight/sh_basis.h"

#include <cmath>
#include <new>

#include "relight/sh_recurrence.h"

namespace lumo {

namespace {

constexpr int kFactorialMemo = 50;
float factorial_memo[kFactorialMemo] = {1.0f, 1.0f};

constexpr double kTwoPi = 2.0 * 3.14159265358979323846;
constexpr float kInvSqrt2 = 0.70710677f;

template <class T>
bool TryFill(std::vector<T>& v, size_t n, T value) {
    try {
        v.assign(n, value);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

ShTables& ShBasisTables() {
    static ShTables tables;
    return tables;
}

float Factorial(int32_t n) {
    if (n < 2) return 1.0f;
    if (n < kFactorialMemo && factorial_memo[n] != 0.0f) return factorial_memo[n];
    float result = 1.0f;
    int32_t k = n;
    while (k >= kFactorialMemo || factorial_memo[k] == 0.0f) {
        result *= static_cast<float>(k);
        --k;
    }
    result *= factorial_memo[k];
    if (n < kFactorialMemo) factorial_memo[n] = result;
    return result;
}

Status InitCoeffArr(int32_t L) {
    ShTables& t = ShBasisTables();
    t = ShTables();
    const Status no_memory =
        Status::Error("[InitCoeffArr]: No memory for C1, C2, CC3, CC4\n");
    if (L < 0 || L > kMaxShBands) return no_memory;
    const size_t n = static_cast<size_t>(L);
    const size_t nn = n * n;
    if (!TryFill(t.C1, n, 0.0f) || !TryFill(t.C2, n, 0.0f) || !TryFill(t.CC3, nn, 0.0f) ||
        !TryFill(t.CC4, nn, 0.0f) || !TryFill(t.ShNorm, nn, 0.0f) ||
        !TryFill(t.ShIndexBase, n, 0)) {
        t = ShTables();
        return no_memory;
    }
    t.L = L;
    for (int32_t l = 0; l < L; ++l) {
        t.ShIndexBase[l] = l * l;
        t.C1[l] = static_cast<float>(1 - 2 * l);
        t.C2[l] = static_cast<float>(2 * l + 1);
    }
    for (int32_t l = 0; l < L; ++l) {
        for (int32_t m = 0; m <= l - 2; ++m) {
            const int32_t i = l * l + l + m;
            t.CC3[i] = static_cast<float>(2 * l - 1) / static_cast<float>(l - m);
            t.CC4[i] = static_cast<float>(l + m - 1) / static_cast<float>(l - m);
        }
    }
    for (int32_t l = 0; l < L; ++l) {
        for (int32_t m = 0; m <= l; ++m) {
            const double num = (2.0 * l + 1.0) * double{Factorial(l - m)};
            const double den = double{Factorial(l + m)} * kTwoPi;
            t.ShNorm[l * l + l + m] = static_cast<float>(std::sqrt(num / den));
        }
        t.ShNorm[l * l + l] *= kInvSqrt2;
    }
    return Status::Ok();
}

Status EnsureShBands(int32_t bands) {
    if (ShBasisTables().L >= bands) return Status::Ok();
    return InitCoeffArr(bands);
}

void EvalShBasis(float cost, float cosp, float sinp, int32_t lmax, float* basis) {
    const ShTables& t = ShBasisTables();
    if (lmax < 0 || lmax >= t.L || lmax >= kMaxShBands) return;
    float cosm[kMaxShBands + 1], sinm[kMaxShBands + 1];
    float P[kMaxShTerms];
    cosm[0] = sinm[0] = -1000.0f;
    ShBasisRecurrence(t, cost, cosp, sinp, lmax, cosm, sinm, P, basis);
}

float EvalShPixel(std::span<const float> basis, const ShPixel& pixel, int32_t terms) {
    if (!pixel.present()) return 0.0f;
    int32_t n = terms;
    if (n > 0 && static_cast<size_t>(n) > basis.size())
        n = static_cast<int32_t>(basis.size());
    const float* Y = basis.data();
    float sum = 0.0f;
    for (int32_t i = 0; i < n; ++i)
        sum = sum + Y[i] * pixel.Coeff(i);
    return sum < 0.0f ? 0.0f : sum;
}

}  // namespace lumo
