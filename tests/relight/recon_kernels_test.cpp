// The vector kernels against the scalar evaluation, bit for bit: a kernel that
// rounds differently may still give the same bytes on a small test image, so
// the floats themselves are compared. The test is built twice, for the
// baseline instruction set and for AVX2, the two builds of the tile loops.
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
#ifdef __AVX2__
        // The build of this test for the AVX2 clones of the kernels.
        if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2 on this machine";
#endif
        ResetHarmonicCounts();
        InitCoeffArr(kMaxShBands);
    }
    void TearDown() override {
        ResetHarmonicCounts();
    }
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
    for (int32_t active : {25, 9, 1, 0}) {
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
                    const ShPixel p = brdf.Pixel(ch, static_cast<size_t>(e));
                    if (!p.present()) continue;
                    V8 v = acc[ch];
                    ClampNegative(v);
                    ExpectSameBits(EvalShPixel(p, terms), v[lane], "pixel/channel", e,
                                   ch);
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
                    const ShPixel p = brdf.Pixel(ch, static_cast<size_t>(e));
                    if (!p.present()) continue;
                    V8 v = acc[ch];
                    ClampNegative(v);
                    ExpectSameBits(EvalShPixel(p, terms), v[lane], "pixel/channel", e,
                                   ch);
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
    V8 total[3] = {};
    const float* fs[3] = {f, f, f};
    AccumulateLights<4>(brdf.TileCoeff(0, 0), Y, fs, 9, total);
    const float* f4[3] = {f + 4, f + 4, f + 4};
    AccumulateLights<1>(brdf.TileCoeff(0, 0), Y + 4, f4, 9, total);
    const float* f5[3] = {f + 5, f + 5, f + 5};
    AccumulateLights<1>(brdf.TileCoeff(0, 0), Y + 5, f5, 9, total);
    for (int lane = 0; lane < kShLanes; ++lane) {
        float want = 0.0f;
        for (int m = 0; m < 6; ++m) {
            std::copy(bases[static_cast<size_t>(m)].begin(),
                      bases[static_cast<size_t>(m)].end(),
                      ShBasisTables().ShBasis.begin());
            want = want + EvalShPixel(brdf.Pixel(1, static_cast<size_t>(lane)), 9) * f[m];
        }
        ExpectSameBits(want, total[1][lane], "lane", lane, 0);
    }
}

TEST_F(KernelTest, LanePixelGeometryIsTheScalarGeometry) {
    SlabRecord slab;
    lumo::testing::SlabSpec spec;
    spec.W = 30;
    spec.H = 20;
    lumo::testing::MakeBrdfSlab(slab, spec);
    // A tilted image plane, so that no component is trivially zero.
    slab.corner_vert[kPlaneST][1] = Vec4(0.6f, -0.4f, 0.2f, 1);
    slab.corner_vert[kPlaneST][2] = Vec4(0.45f, 0.55f, 0.3f, 1);
    slab.normal = Vec3(-0.15f, -0.1f, 0.98f);
    VecNormalize(slab.normal);
    const SlabFrame frame = MakeSlabFrame(slab);
    const Vec3 E = EyePoint(slab, 1, 0);
    Zfile z;  // smaller than the image: its last columns and rows have no depth
    z.width = 25;
    z.height = 17;
    std::mt19937 rng(8);
    std::uniform_real_distribution<float> d(1.5f, 2.5f);
    for (int i = 0; i < 25 * 17; ++i)
        z.depth.push_back(i % 9 == 0 ? 1e30f : d(rng));
    const Vec3 lights[] = {{0.3f, 0.2f, 1.5f}, {-4, 2, 9},    {0, 0, 0.01f},
                           {0.05f, -0.1f, 40}, {1e-3f, 0, 3}, {-0.5f, -0.5f, 0}};
    for (const Vec3& light : lights) {
        for (const Zfile* map :
             {static_cast<const Zfile*>(&z), static_cast<const Zfile*>(nullptr)}) {
            for (int first = 0; first < 30 * 20; first += kShLanes) {
                float x[kShLanes], y[kShLanes], depth[kShLanes];
                bool has[kShLanes];
                for (int lane = 0; lane < kShLanes; ++lane) {
                    const int e = (first + lane) % (30 * 20);
                    x[lane] = static_cast<float>(e % 30);
                    y[lane] = static_cast<float>(e / 30);
                    depth[lane] = DepthFor(frame, map, e % 30, e / 30);
                    has[lane] = depth[lane] >= 0.0f;
                    if (!has[lane]) depth[lane] = 0.0f;
                }
                ShAngles got[kShLanes];
                V3 L;
                PixelAnglesLanes(frame, E, light, x, y, depth, has, got, &L);
                for (int lane = 0; lane < kShLanes; ++lane) {
                    const int e = (first + lane) % (30 * 20);
                    const Vec3 X = SurfacePoint(frame, E, map, e % 30, e / 30);
                    const Vec3 want_L = TowardLight(light, X);
                    const ShAngles want = LightAngles(want_L, frame.n, frame.s, frame.t);
                    ExpectSameBits(want_L.x, L.x[lane], "L.x pixel", e, 0);
                    ExpectSameBits(want_L.z, L.z[lane], "L.z pixel", e, 0);
                    ExpectSameBits(want.cost, got[lane].cost, "cost pixel", e, 0);
                    ExpectSameBits(want.cosp, got[lane].cosp, "cosp pixel", e, 0);
                    ExpectSameBits(want.sinp, got[lane].sinp, "sinp pixel", e, 0);
                }
            }
        }
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
