#include "relight/sh_basis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace lumo {
namespace {

constexpr double kPi = 3.14159265358979323846;

class ShBasisTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(InitCoeffArr(kMaxShBands).ok()); }

    // The basis at one direction into Y_.
    void Eval(float cost, float cosp, float sinp, int32_t lmax) {
        EvalShBasis(cost, cosp, sinp, lmax, Y_);
    }
    float Basis(int l, int m) const { return Y_[l * l + l + m]; }

    float Y_[kMaxShTerms] = {};
};

// The real basis with the Condon-Shortley phase, in double precision, from the
// standard library's Legendre functions (which leave the phase out) and
// factorials from the gamma function: independent of the float recurrences.
double ReferenceY(int l, int m, double theta, double phi) {
    const int am = std::abs(m);
    const double phase = (am % 2 == 1) ? -1.0 : 1.0;
    const double P = phase * std::assoc_legendre(l, am, std::cos(theta));
    const double K = std::sqrt((2.0 * l + 1.0) / (4.0 * kPi) * std::tgamma(l - am + 1.0) /
                               std::tgamma(l + am + 1.0));
    if (m == 0) return K * P;
    const double trig = m < 0 ? std::sin(am * phi) : std::cos(am * phi);
    return std::sqrt(2.0) * K * P * trig;
}

TEST_F(ShBasisTest, FactorialIsExactWhileFloatsHoldItAndCloseAfter) {
    EXPECT_EQ(1.0f, Factorial(-3));
    EXPECT_EQ(1.0f, Factorial(0));
    EXPECT_EQ(1.0f, Factorial(1));
    double exact = 1.0;
    for (int n = 2; n <= 34; ++n) {
        exact *= n;
        if (n <= 13) {
            EXPECT_EQ(static_cast<float>(exact), Factorial(n)) << "n=" << n;
        } else {
            EXPECT_NEAR(1.0, Factorial(n) / exact, 1e-5) << "n=" << n;
        }
    }
    EXPECT_TRUE(std::isinf(Factorial(35)));  // why the bands stop at 18
    EXPECT_TRUE(std::isinf(Factorial(60)));  // beyond the memo: computed, not stored
}

TEST_F(ShBasisTest, TablesHoldTheRecurrenceFactorsAndNormalisation) {
    ASSERT_TRUE(InitCoeffArr(5).ok());
    const ShTables& t = ShBasisTables();
    ASSERT_EQ(5, t.L);
    EXPECT_EQ(25u, t.CC3.size());
    EXPECT_EQ(25u, t.ShNorm.size());
    for (int l = 0; l < 5; ++l) {
        EXPECT_EQ(l * l, t.ShIndexBase[l]);
        EXPECT_EQ(1.0f - 2.0f * l, t.C1[l]);
        EXPECT_EQ(2.0f * l + 1.0f, t.C2[l]);
    }
    // (l, m) = (4, 1): (2l-1)/(l-m) = 7/3, (l+m-1)/(l-m) = 4/3; nothing at m = l - 1.
    EXPECT_FLOAT_EQ(7.0f / 3.0f, t.CC3[16 + 4 + 1]);
    EXPECT_FLOAT_EQ(4.0f / 3.0f, t.CC4[16 + 4 + 1]);
    EXPECT_EQ(0.0f, t.CC3[16 + 4 + 3]);
    EXPECT_EQ(0.0f, t.CC3[16 + 4 - 1]);
    EXPECT_FLOAT_EQ(0.28209479f, t.ShNorm[0]);
    EXPECT_FLOAT_EQ(0.48860251f, t.ShNorm[2]);  // K(1, 0)
    EXPECT_FLOAT_EQ(0.48860251f, t.ShNorm[3]);  // K(1, 1) = sqrt(2) * sqrt(3/(8 pi))
    EXPECT_EQ(0.0f, t.ShNorm[1]);               // m < 0 holds nothing
}

TEST_F(ShBasisTest, InitCoeffArrRefusesBandCountsItCannotNormalise) {
    EXPECT_EQ("[InitCoeffArr]: No memory for C1, C2, CC3, CC4\n",
              InitCoeffArr(kMaxShBands + 1).message());
    EXPECT_FALSE(InitCoeffArr(-1).ok());
    EXPECT_TRUE(InitCoeffArr(0).ok());
}

TEST_F(ShBasisTest, LowBandsMatchTheirClosedForms) {
    const struct {
        double theta, phi;
    } dirs[] = {{0.3, 0.7}, {1.2, -2.5}, {2.9, 3.1}, {kPi / 2, 0.0}, {0.01, 1.0}};
    for (const auto& d : dirs) {
        SCOPED_TRACE(::testing::Message() << "theta=" << d.theta << " phi=" << d.phi);
        const double ct = std::cos(d.theta), st = std::sin(d.theta);
        Eval(static_cast<float>(ct), static_cast<float>(std::cos(d.phi)),
             static_cast<float>(std::sin(d.phi)), 2);
        const double c1 = 0.48860251, c2 = 1.09254843, c3 = 0.31539157, c4 = 0.54627421;
        const double expected[9] = {
            0.28209479,
            -c1 * st * std::sin(d.phi),
            c1 * ct,
            -c1 * st * std::cos(d.phi),
            c4 * st * st * std::sin(2 * d.phi),
            -c2 * st * ct * std::sin(d.phi),
            c3 * (3 * ct * ct - 1),
            -c2 * st * ct * std::cos(d.phi),
            c4 * st * st * std::cos(2 * d.phi),
        };
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(expected[i], Y_[i], 2e-6) << "index " << i;
    }
}

TEST_F(ShBasisTest, EveryBandMatchesAnIndependentDoubleEvaluation) {
    const double dirs[][2] = {
        {0.4, 0.3}, {1.1, 2.0}, {1.9, -1.2}, {2.7, 4.0}, {1.5707, 0.9}};
    for (const auto& d : dirs) {
        Eval(static_cast<float>(std::cos(d[0])), static_cast<float>(std::cos(d[1])),
             static_cast<float>(std::sin(d[1])), kMaxShBands - 1);
        for (int l = 0; l < kMaxShBands; ++l) {
            for (int m = -l; m <= l; ++m) {
                const double want = ReferenceY(l, m, d[0], d[1]);
                // Float recurrences lose a little per band.
                const double tol = 2e-6 * (l + 1) * (1.0 + std::fabs(want));
                EXPECT_NEAR(want, Basis(l, m), tol)
                    << "l=" << l << " m=" << m << " theta=" << d[0] << " phi=" << d[1];
            }
        }
    }
}

TEST_F(ShBasisTest, AlongTheNormalOnlyZonalTermsRemain) {
    Eval(1.0f, 1.0f, 0.0f, 7);
    for (int l = 0; l < 8; ++l) {
        EXPECT_NEAR(std::sqrt((2 * l + 1) / (4 * kPi)), Basis(l, 0), 1e-6) << "l=" << l;
        for (int m = 1; m <= l; ++m) {
            EXPECT_EQ(0.0f, Basis(l, m)) << "l=" << l;
            EXPECT_EQ(0.0f, Basis(l, -m)) << "l=" << l;
        }
    }
}

TEST_F(ShBasisTest, CosineJustAboveOneIsTakenAsSinThetaZero) {
    // sin theta is 0 there, so the basis is exactly the one at cos theta = 1
    // apart from the zonal terms' own powers of cos theta.
    Eval(1.0f, 1.0f, 0.0f, 3);
    float at_one[16];
    std::memcpy(at_one, Y_, sizeof at_one);
    Eval(1.0000001f, 1.0f, 0.0f, 3);
    for (int l = 0; l < 4; ++l) {
        EXPECT_NEAR(at_one[l * l + l], Basis(l, 0), 1e-5) << "l=" << l;
        for (int m = 1; m <= l; ++m) {
            EXPECT_EQ(0.0f, Basis(l, m)) << "l=" << l << " m=" << m;
            EXPECT_EQ(0.0f, Basis(l, -m)) << "l=" << l << " m=" << -m;
        }
    }
}

TEST_F(ShBasisTest, EvaluationWritesOnlyItsDegrees) {
    std::fill(std::begin(Y_), std::end(Y_), 42.0f);
    Eval(0.3f, 0.6f, 0.8f, 0);
    EXPECT_FLOAT_EQ(0.28209479f, Y_[0]);
    for (int i = 1; i < kMaxShTerms; ++i)
        EXPECT_EQ(42.0f, Y_[i]) << i;

    Y_[0] = 7.0f;
    Eval(0.3f, 0.6f, 0.8f, -1);  // nothing to evaluate
    EXPECT_EQ(7.0f, Y_[0]);
    Eval(0.3f, 0.6f, 0.8f, kMaxShBands);  // beyond every table
    EXPECT_EQ(7.0f, Y_[0]);
}

TEST_F(ShBasisTest, EvaluationBeyondTheTablesWaitsForThemToGrow) {
    ASSERT_TRUE(InitCoeffArr(2).ok());
    std::fill(std::begin(Y_), std::end(Y_), 42.0f);
    Eval(0.5f, 0.6f, 0.8f, 4);
    EXPECT_EQ(2, ShBasisTables().L);
    EXPECT_EQ(42.0f, Y_[0]);
    ASSERT_TRUE(EnsureShBands(5).ok());
    EXPECT_EQ(5, ShBasisTables().L);
    ASSERT_TRUE(EnsureShBands(3).ok());  // never shrinks
    EXPECT_EQ(5, ShBasisTables().L);
    Eval(0.5f, 0.6f, 0.8f, 4);
    EXPECT_NEAR(ReferenceY(4, -3, std::acos(0.5), std::atan2(0.8, 0.6)), Basis(4, -3),
                1e-5);
}

TEST_F(ShBasisTest, EvaluationsIntoSeparateBuffersDoNotMeet) {
    Eval(-0.35f, 0.28f, -0.96f, 6);
    std::vector<float> other(49, -1.0f);
    EvalShBasis(0.8f, 0.6f, 0.8f, 6, other.data());
    std::vector<float> again(49, -1.0f);
    EvalShBasis(-0.35f, 0.28f, -0.96f, 6, again.data());
    for (int i = 0; i < 49; ++i)
        EXPECT_EQ(again[i], Y_[i]) << i;
    EXPECT_NE(other[2], Y_[2]) << "the directions differ at Y(1, 0)";
}

TEST_F(ShBasisTest, PixelSumsTheGivenTermsAndClampsBelowZero) {
    ASSERT_TRUE(InitCoeffArr(3).ok());
    Eval(0.2f, 0.6f, 0.8f, 2);
    const float* Y = Y_;
    const std::span<const float> basis(Y_, 9);

    // Coefficients laid out as a tile lane: coefficient i at i * kShTermStride.
    std::vector<float> lane(9 * kShTermStride, 0.0f);
    auto set = [&](const std::vector<float>& a) {
        std::fill(lane.begin(), lane.end(), 0.0f);
        for (size_t i = 0; i < a.size(); ++i)
            lane[i * kShTermStride] = a[i];
        return ShPixel{lane.data()};
    };
    const std::vector<float> a = {9.0f,  0.5f, -0.25f, 2.0f, 0.1f,
                                  -0.3f, 0.7f, 0.2f,   -1.0f};
    float expected = 0.0f;
    for (int i = 0; i < 9; ++i)
        expected = expected + Y[i] * a[i];
    ASSERT_GT(expected, 0.0f);
    EXPECT_EQ(expected, EvalShPixel(basis, set(a), 9));

    // Only the first `terms` coefficients count; none for 0 or less.
    EXPECT_EQ(0.0f + Y[0] * 9.0f, EvalShPixel(basis, set(a), 1));
    EXPECT_EQ(0.0f, EvalShPixel(basis, set(a), 0));
    EXPECT_EQ(0.0f, EvalShPixel(basis, set(a), -3));
    float own = 0.0f;
    for (int i = 0; i < 4; ++i)
        own = own + Y[i] * a[i];
    EXPECT_EQ(own, EvalShPixel(basis, set(a), 4));
    EXPECT_EQ(own, EvalShPixel(basis.first(4), set(a), 9)) << "at most the basis's size";

    // -0.2 -> 0, 3.7 -> 3.7: only a lower clamp.
    EXPECT_EQ(0.0f, EvalShPixel(basis, set({-0.2f / Y[0]}), 9));
    EXPECT_FLOAT_EQ(3.7f, EvalShPixel(basis, set({3.7f / Y[0]}), 9));
    EXPECT_EQ(0.0f, EvalShPixel(basis, ShPixel{}, 9));
}

}  // namespace
}  // namespace lumo
