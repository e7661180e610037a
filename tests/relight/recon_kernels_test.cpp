// The vector kernels against the scalar evaluation, bit for bit: a kernel that
// rounds differently may still give the same bytes on a small test image, so
// the floats themselves are compared.
#include "relight/recon_kernels.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <vector>

#include "relight/recon_common.h"
#include "tests/relight/relight_fixture.h"

namespace lumo::kernels {
namespace {

void ExpectSameBits(float want, float got, const char* what, int a, int b) {
    EXPECT_EQ(std::bit_cast<uint32_t>(want), std::bit_cast<uint32_t>(got))
        << what << " " << a << " " << b << ": " << want << " vs " << got;
}

class KernelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetHarmonicCounts();
        InitCoeffArr(kMaxShBands);
    }
    void TearDown() override { ResetHarmonicCounts(); }
};

TEST_F(KernelTest, LaneBasisIsTheScalarBasisOnEveryLane) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f), phi(-3.2f, 3.2f);
    for (int round = 0; round < 40; ++round) {
        V8 x, cp, sp;
        for (int lane = 0; lane < kShLanes; ++lane) {
            const float p = phi(rng);
            x[lane] = u(rng);
            cp[lane] = std::cos(p);
            sp[lane] = std::sin(p);
        }
        if (round == 0) {  // the poles and a cosine rounded past 1
            x[0] = 1.0f;
            x[1] = -1.0f;
            x[2] = 1.0000001f;
            cp[3] = 1.0f;
            sp[3] = 0.0f;
        }
        const int32_t lmax = round % kMaxShBands;
        V8 Y[kMaxTerms];
        EvalBasisLanes(ShBasisTables(), x, cp, sp, lmax, Y);
        for (int lane = 0; lane < kShLanes; ++lane) {
            EvalShBasis(x[lane], cp[lane], sp[lane], lmax);
            for (int i = 0; i < (lmax + 1) * (lmax + 1); ++i)
                ExpectSameBits(ShBasisTables().ShBasis[static_cast<size_t>(i)],
                               Y[i][lane], "lane/index", lane, i);
        }
    }
}

TEST_F(KernelTest, TileDotProductsAreTheScalarPixelSums) {
    const double density[3] = {0.9, 0.6, 0.3};
    const ShCoeffImage img = lumo::testing::RandomCoefficients(23, 7, 5, -1, density, 11);
    BrdfImage brdf;
    ASSERT_TRUE(BuildBrdfImage(img, brdf).ok());
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int16_t active : {int16_t{25}, int16_t{9}, int16_t{1}, int16_t{0}}) {
        activeHarmonics = active;
        const int32_t terms = std::min<int32_t>(active, brdf.stored_terms());
        // A shared basis for every pixel.
        EvalShBasis(0.3f, 0.6f, -0.8f, 4);
        const std::vector<float> Y(ShBasisTables().ShBasis.begin(),
                                   ShBasisTables().ShBasis.begin() + 25);
        for (int32_t t = 0; t < brdf.tile_count; ++t) {
            V8 acc[3];
            DotShared(brdf, t, Y.data(), terms, acc);
            for (int lane = 0; lane < kShLanes; ++lane) {
                const int32_t e =
                    brdf.tile_pixel[static_cast<size_t>(t * kShLanes + lane)];
                if (e < 0) continue;
                for (int ch = 0; ch < 3; ++ch) {
                    const ShPixel& p = brdf.sh[ch][static_cast<size_t>(e)];
                    if (!p.present()) continue;
                    ExpectSameBits(EvalShPixel(p, brdf.stored_terms()),
                                   ClampNegative(acc[ch])[lane], "pixel/channel", e, ch);
                }
            }
        }
        // A basis per lane.
        for (int32_t t = 0; t < brdf.tile_count; ++t) {
            V8 x, cp, sp;
            for (int lane = 0; lane < kShLanes; ++lane) {
                x[lane] = u(rng);
                const float p = 3.0f * u(rng);
                cp[lane] = std::cos(p);
                sp[lane] = std::sin(p);
            }
            V8 Yl[kMaxTerms];
            EvalBasisLanes(ShBasisTables(), x, cp, sp, 4, Yl);
            V8 acc[3];
            DotLanes(brdf, t, Yl, terms, acc);
            for (int lane = 0; lane < kShLanes; ++lane) {
                const int32_t e =
                    brdf.tile_pixel[static_cast<size_t>(t * kShLanes + lane)];
                if (e < 0) continue;
                EvalShBasis(x[lane], cp[lane], sp[lane], 4);
                for (int ch = 0; ch < 3; ++ch) {
                    const ShPixel& p = brdf.sh[ch][static_cast<size_t>(e)];
                    if (!p.present()) continue;
                    ExpectSameBits(EvalShPixel(p, brdf.stored_terms()),
                                   ClampNegative(acc[ch])[lane], "pixel/channel", e, ch);
                }
            }
        }
    }
}

TEST_F(KernelTest, SeveralLightsAccumulateInLightOrder) {
    const double density[3] = {1, 1, 1};
    const ShCoeffImage img = lumo::testing::RandomCoefficients(8, 1, 3, -1, density, 5);
    BrdfImage brdf;
    ASSERT_TRUE(BuildBrdfImage(img, brdf).ok());
    activeHarmonics = 9;
    std::vector<std::vector<float>> bases;
    const float f[6] = {255.0f, 12.75f, 300.0f, 0.0f, 99.5f, 1.0f};
    for (int m = 0; m < 6; ++m) {
        EvalShBasis(0.9f - 0.3f * m, std::cos(1.0f * m), std::sin(1.0f * m), 2);
        bases.emplace_back(ShBasisTables().ShBasis.begin(),
                           ShBasisTables().ShBasis.begin() + 9);
    }
    const float* Y[6];
    for (int m = 0; m < 6; ++m)
        Y[m] = bases[static_cast<size_t>(m)].data();
    V8 total = {};
    AccumulateLights<4>(brdf.TileCoeff(0, 1), Y, f, 9, total);
    AccumulateLights<1>(brdf.TileCoeff(0, 1), Y + 4, f + 4, 9, total);
    AccumulateLights<1>(brdf.TileCoeff(0, 1), Y + 5, f + 5, 9, total);
    for (int lane = 0; lane < kShLanes; ++lane) {
        float want = 0.0f;
        for (int m = 0; m < 6; ++m) {
            std::copy(bases[static_cast<size_t>(m)].begin(),
                      bases[static_cast<size_t>(m)].end(),
                      ShBasisTables().ShBasis.begin());
            want = want + EvalShPixel(brdf.sh[1][static_cast<size_t>(lane)], 9) * f[m];
        }
        ExpectSameBits(want, total[lane], "lane", lane, 0);
    }
}

TEST_F(KernelTest, ByteConversionMatchesTheScalarOne) {
    const float values[kShLanes] = {-1.0f,  -0.0f,  0.999f, 254.9f,
                                    255.0f, 255.5f, 1e30f,  NAN};
    V8 v;
    for (int lane = 0; lane < kShLanes; ++lane)
        v[lane] = values[lane];
    int32_t bytes[kShLanes];
    ToBytes(v, bytes);
    for (int lane = 0; lane < kShLanes; ++lane)
        EXPECT_EQ(ToByte(values[lane]), bytes[lane]) << values[lane];
    EXPECT_EQ(0, ToByte(NAN));
    EXPECT_EQ(254, ToByte(254.9f));
    EXPECT_EQ(255, ToByte(300.7f));
}

}  // namespace
}  // namespace lumo::kernels
