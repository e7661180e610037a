// The vector kernels against the scalar evaluation, bit for bit: a kernel that
// rounds differently may still give the same bytes on a small test image, so
// the floats themselves are compared. The test is built three times, for the
// baseline instruction set, for AVX2 and for AVX-512, the builds of the tile
// loops; the AVX-512 build also checks the sixteen-lane kernels (two tiles
// per vector).
#include "relight/recon_lane_geometry.h"
#include "relight/recon_slide_lanes.h"
#include "relight/recon_sums.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "relight/recon_common.h"
#include "relight/recon_lanes.h"
#include "tests/relight/relight_fixture.h"

namespace lumo::kernels {

// Single-tile forms of the kernels, which only these tests call (beside the
// kernels, not in the anonymous namespace, so that they overload them): each is the
// lane-group kernel on one tile (V8), as the tile loops would run it.

// The three channels' dot products of tile t with one shared basis Y.
LUMO_KERNEL void DotShared(const BrdfImage& brdf, int32_t t, const float* Y,
                           int32_t terms, V8 acc[3]) {
    const float* const rgb[3] = {Y, Y, Y};
    DotSharedRgb(brdf, t, rgb, terms, acc);
}

// The same for tile t alone.
LUMO_KERNEL void DotLanes(const BrdfImage& brdf, int32_t t, const V8* Y, int32_t terms,
                          V8 acc[3]) {
    DotLanes(brdf.TileCoeff(t, 0), 0, Y, terms, acc);
}

// The same with the bases given per channel and light, Y[ch][g].
template <int G, class V>
LUMO_KERNEL void AccumulateLightsRgb(const float* c, ptrdiff_t second,
                                     const float* const* const Y[3],
                                     const float* const f[3], int32_t terms, V total[3]) {
    float packed[kMaxTerms * G * 3];
    PackLightBases<G>(Y, terms, packed);
    AccumulateLightsRgb<G, V>(c, second, packed, f, terms, total);
}

// One tile's lights (c: coefficient 0 of channel 0 of the tile).
template <int G>
LUMO_KERNEL void AccumulateLightsRgb(const float* c, const float* const* const Y[3],
                                     const float* const f[3], int32_t terms,
                                     V8 total[3]) {
    AccumulateLightsRgb<G, V8>(c, 0, Y, f, terms, total);
}

// As AccumulateLightsRgb with one basis per light for all three channels.
template <int G>
LUMO_KERNEL void AccumulateLights(const float* c, const float* const* Y,
                                  const float* const f[3], int32_t terms, V8 total[3]) {
    const float* const* const rgb[3] = {Y, Y, Y};
    AccumulateLightsRgb<G, V8>(c, 0, rgb, f, terms, total);
}
// Both for eight pixels given as arrays, into ShAngles (and *toward when given).
LUMO_KERNEL void PixelAnglesLanes(const SlabFrame& frame, const Vec3& E,
                                  const Vec3& light_position, const float x[kShLanes],
                                  const float y[kShLanes], const float depth[kShLanes],
                                  const bool has_depth[kShLanes], ShAngles out[kShLanes],
                                  V3* toward = nullptr) {
    V8 vx, vy, vd;
    uint32_t has = 0;
    for (int lane = 0; lane < kShLanes; ++lane) {
        vx[lane] = x[lane];
        vy[lane] = y[lane];
        vd[lane] = depth[lane];
        if (has_depth[lane]) has |= 1u << lane;
    }
    V3 L;
    TowardLightLanes(frame, E, light_position, vx, vy, vd, has, L);
    if (toward != nullptr) *toward = L;
    V8 cost, cosp, sinp;
    AnglesLanes(frame, L, 0xFFu, cost, cosp, sinp);
    for (int lane = 0; lane < kShLanes; ++lane) {
        out[lane].cost = cost[lane];
        out[lane].cosp = cosp[lane];
        out[lane].sinp = sinp[lane];
    }
}

namespace {

// The same float bit for bit; a not-a-number matches any not-a-number: which
// sign an invalid operation's result takes depends on the compiler's operand
// order, and every such value gives the same pixel byte (ToByte).
void ExpectSameBits(float want, float got, const char* what, int a, int b) {
    if (std::isnan(want)) {
        EXPECT_TRUE(std::isnan(got)) << what << " " << a << " " << b << ": " << got;
        return;
    }
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
#ifdef __AVX512F__
        // The build for the sixteen-lane loops.
        if (!ReconWideLanesAvailable()) GTEST_SKIP() << "no AVX-512 on this machine";
#endif
        ASSERT_TRUE(InitCoeffArr(kMaxShBands).ok());
    }

    // The scalar basis of the last EvalShBasis call here.
    float Ys_[kMaxShTerms] = {};
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
            EvalShBasis(x[lane], cp[lane], sp[lane], lmax, Ys_);
            for (int i = 0; i < (lmax + 1) * (lmax + 1); ++i)
                ExpectSameBits(Ys_[static_cast<size_t>(i)], Y[i][lane], "lane/index",
                               lane, i);
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
        EvalShBasis(0.3f, 0.6f, -0.8f, 4, Ys_);
        const std::vector<float> Y(Ys_, Ys_ + 25);
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
                    ExpectSameBits(EvalShPixel(Ys_, p, terms), v[lane], "pixel/channel",
                                   e, ch);
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
                EvalShBasis(x[lane], cp[lane], sp[lane], 4, Ys_);
                for (int ch = 0; ch < 3; ++ch) {
                    const ShPixel p = brdf.Pixel(ch, static_cast<size_t>(e));
                    if (!p.present()) continue;
                    V8 v = acc[ch];
                    ClampNegative(v);
                    ExpectSameBits(EvalShPixel(Ys_, p, terms), v[lane], "pixel/channel",
                                   e, ch);
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
        EvalShBasis(0.9f - 0.3f * m, std::cos(1.0f * m), std::sin(1.0f * m), 2, Ys_);
        bases.emplace_back(Ys_, Ys_ + 9);
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
            want = want + EvalShPixel(bases[static_cast<size_t>(m)],
                                      brdf.Pixel(1, static_cast<size_t>(lane)), 9) *
                              f[m];
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

// The checks below run on eight lanes in every build and, in the AVX-512
// build, on sixteen as well.
template <class V>
void CheckLaneBasis() {
    constexpr int kLanes = kLanesOf<V>;
    float Ys_[kMaxShTerms];
    std::mt19937 rng(13);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f), phi(-3.2f, 3.2f);
    for (int round = 0; round < 24; ++round) {
        V x, cp, sp;
        for (int lane = 0; lane < kLanes; ++lane) {
            const float p = phi(rng);
            x[lane] = u(rng);
            cp[lane] = std::cos(p);
            sp[lane] = std::sin(p);
        }
        x[round % kLanes] = round % 2 ? 1.0f : -1.0f;  // a pole
        const int32_t lmax = round % 6;
        // The unrolled degrees and the general recurrence.
        V Y[kMaxTerms], Yf[kMaxTerms];
        EvalBasisLanes(ShBasisTables(), x, cp, sp, lmax, Y);
        switch (lmax) {
            case 1:
                EvalBasisLanesFixed<1>(ShBasisTables(), x, cp, sp, Yf);
                break;
            case 2:
                EvalBasisLanesFixed<2>(ShBasisTables(), x, cp, sp, Yf);
                break;
            case 3:
                EvalBasisLanesFixed<3>(ShBasisTables(), x, cp, sp, Yf);
                break;
            case 4:
                EvalBasisLanesFixed<4>(ShBasisTables(), x, cp, sp, Yf);
                break;
            default:
                EvalBasisLanes(ShBasisTables(), x, cp, sp, lmax, Yf);
                break;
        }
        for (int lane = 0; lane < kLanes; ++lane) {
            EvalShBasis(x[lane], cp[lane], sp[lane], lmax, Ys_);
            for (int i = 0; i < (lmax + 1) * (lmax + 1); ++i) {
                const float want = Ys_[static_cast<size_t>(i)];
                ExpectSameBits(want, Y[i][lane], "lane/index", lane, i);
                ExpectSameBits(want, Yf[i][lane], "unrolled lane/index", lane, i);
            }
        }
    }
}

// Sums over lane groups of consecutive tiles (the last one alone) against the
// scalar pixel sums: one basis per lane, and several lights in order.
template <class V>
void CheckGroupSums() {
    constexpr int kLanes = kLanesOf<V>;
    float Ys_[kMaxShTerms];
    constexpr int kTiles = kLanes / kShLanes;
    // Every pixel present in red: 85 pixels, 11 tiles.
    const double density[3] = {1.0, 0.7, 0.4};
    const ShCoeffImage img = lumo::testing::RandomCoefficients(17, 5, 4, -1, density, 21);
    BrdfImage brdf;
    ASSERT_TRUE(BuildBrdfImage(img, brdf).ok());
    ASSERT_EQ(brdf.tile_count % 2, 1) << "the last group should hold one tile";
    const int32_t terms = brdf.stored_terms();
    std::mt19937 rng(22);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    // Three lights' bases and factors, the lights summed in order.
    std::vector<std::vector<float>> bases;
    const float f[3] = {255.0f, 40.5f, 7.0f};
    for (int m = 0; m < 3; ++m) {
        EvalShBasis(0.8f - 0.5f * m, std::cos(2.0f * m), std::sin(2.0f * m), 3, Ys_);
        bases.emplace_back(Ys_, Ys_ + 16);
    }
    const float* Ym[3] = {bases[0].data(), bases[1].data(), bases[2].data()};
    for (int32_t t = 0; t < brdf.tile_count; t += kTiles) {
        const int32_t tiles = std::min<int32_t>(kTiles, brdf.tile_count - t);
        const ptrdiff_t second =
            tiles > 1 ? brdf.TileCoeff(t + 1, 0) - brdf.TileCoeff(t, 0) : 0;
        V x, cp, sp;
        for (int lane = 0; lane < kLanes; ++lane) {
            x[lane] = u(rng);
            const float p = 3.0f * u(rng);
            cp[lane] = std::cos(p);
            sp[lane] = std::sin(p);
        }
        V Y[kMaxTerms];
        EvalBasisLanes(ShBasisTables(), x, cp, sp, 3, Y);
        V acc[3];
        DotLanes(brdf.TileCoeff(t, 0), second, Y, terms, acc);
        V total[3] = {};
        const float* fs[3] = {f, f, f};
        const float* const* Yrgb[3] = {Ym, Ym, Ym};
        AccumulateLightsRgb<3>(brdf.TileCoeff(t, 0), second, Yrgb, fs, terms, total);
        for (int lane = 0; lane < tiles * kShLanes; ++lane) {
            const int32_t e = brdf.tile_pixel[static_cast<size_t>(t * kShLanes + lane)];
            if (e < 0) continue;
            EvalShBasis(x[lane], cp[lane], sp[lane], 3, Ys_);
            for (int ch = 0; ch < 3; ++ch) {
                const ShPixel p = brdf.Pixel(ch, static_cast<size_t>(e));
                if (!p.present()) continue;
                V v = acc[ch];
                ClampNegative(v);
                ExpectSameBits(EvalShPixel(Ys_, p, terms), v[lane], "pixel/channel", e,
                               ch);
            }
            for (int ch = 0; ch < 3; ++ch) {
                const ShPixel p = brdf.Pixel(ch, static_cast<size_t>(e));
                if (!p.present()) continue;
                float want = 0.0f;
                for (int m = 0; m < 3; ++m) {
                    want = want +
                           EvalShPixel(bases[static_cast<size_t>(m)], p, terms) * f[m];
                }
                ExpectSameBits(want, total[ch][lane], "lights pixel/channel", e, ch);
            }
        }
    }
}

// Surface points, directions and angles of lanes of an image against the
// scalar geometry, over depth maps that cover the image, part of it or none.
template <class V>
void CheckGeometry() {
    constexpr int kLanes = kLanesOf<V>;
    SlabRecord slab;
    lumo::testing::SlabSpec spec;
    spec.W = 30;
    spec.H = 20;
    lumo::testing::MakeBrdfSlab(slab, spec);
    slab.corner_vert[kPlaneST][1] = Vec4(0.6f, -0.4f, 0.2f, 1);
    slab.corner_vert[kPlaneST][2] = Vec4(0.45f, 0.55f, 0.3f, 1);
    slab.normal = Vec3(-0.15f, -0.1f, 0.98f);
    VecNormalize(slab.normal);
    const SlabFrame frame = MakeSlabFrame(slab);
    const Vec3 E = EyePoint(slab, 1, 0);
    Zfile z;
    z.width = 25;
    z.height = 17;
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> d(1.5f, 2.5f);
    for (int i = 0; i < 25 * 17; ++i)
        z.depth.push_back(i % 9 == 0 ? 1e30f : (i % 13 == 0 ? -2.0f : d(rng)));
    const Vec3 lights[] = {
        {0.3f, 0.2f, 1.5f}, {-4, 2, 9}, {1e-3f, 0, 3}, {-0.5f, -0.5f, 0}};
    for (const Vec3& light : lights) {
        for (const Zfile* map :
             {static_cast<const Zfile*>(&z), static_cast<const Zfile*>(nullptr)}) {
            const DepthLookup depth(frame, map);
            for (int first = 0; first < 30 * 20; first += kLanes) {
                int32_t pix[kLanes], px[kLanes], py[kLanes];
                for (int lane = 0; lane < kLanes; ++lane)  // skip a pixel now and then
                    pix[lane] = (first + lane + (lane > 5 ? 1 : 0)) % (30 * 20);
                PixelColumnsRows(pix, kLanes, 30, px, py);
                V vx, vy, vd;
                uint32_t has = 0;
                for (int lane = 0; lane < kLanes; ++lane) {
                    ASSERT_EQ(pix[lane] % 30, px[lane]) << pix[lane];
                    ASSERT_EQ(pix[lane] / 30, py[lane]) << pix[lane];
                    const float dz = depth.At(px[lane], py[lane]);
                    ExpectSameBits(DepthFor(frame, map, px[lane], py[lane]), dz, "depth",
                                   pix[lane], 0);
                    vx[lane] = static_cast<float>(px[lane]);
                    vy[lane] = static_cast<float>(py[lane]);
                    vd[lane] = dz >= 0.0f ? dz : 0.0f;
                    if (dz >= 0.0f) has |= 1u << lane;
                }
                V3T<V> L;
                TowardLightLanes(frame, E, light, vx, vy, vd, has, L);
                V cost, cosp, sinp;
                const uint32_t wanted = ~(1u << (first % kLanes)) & ((1u << kLanes) - 1);
                AnglesLanes(frame, L, wanted, cost, cosp, sinp);
                for (int lane = 0; lane < kLanes; ++lane) {
                    const Vec3 X = SurfacePoint(frame, E, map, px[lane], py[lane]);
                    const Vec3 want_L = TowardLight(light, X);
                    ExpectSameBits(want_L.x, L.x[lane], "L.x pixel", pix[lane], 0);
                    ExpectSameBits(want_L.y, L.y[lane], "L.y pixel", pix[lane], 0);
                    ExpectSameBits(want_L.z, L.z[lane], "L.z pixel", pix[lane], 0);
                    if (!(wanted & (1u << lane))) continue;
                    const ShAngles want = LightAngles(want_L, frame.n, frame.s, frame.t);
                    ExpectSameBits(want.cost, cost[lane], "cost pixel", pix[lane], 0);
                    ExpectSameBits(want.cosp, cosp[lane], "cosp pixel", pix[lane], 0);
                    ExpectSameBits(want.sinp, sinp[lane], "sinp pixel", pix[lane], 0);
                }
            }
        }
    }
}

// A projector's intensities on lanes against LightSrc::SlideIntensity, over
// directions inside the slide, near and beyond its edges, away from it, and
// projectors without slide pixels or without a frame.
template <class V>
void CheckSlide() {
    constexpr int kLanes = kLanesOf<V>;
    LightSrc p = lumo::testing::DirLight({0.1f, -0.2f, -1.0f}, 1.0f, 0.6f, 2.5f);
    p.SetKind(SlideProjector);
    p.SetRadius(2.5f);
    p.SetSlideLookAt({0.1f, 0.05f, 0.0f});
    p.slidehangle = 40.0f;
    p.slidevangle = 25.0f;
    ASSERT_TRUE(p.slide.Alloc(7, 5).ok());
    std::mt19937 rng(31);
    for (uint8_t& v : p.slide.pixels)
        v = static_cast<uint8_t>(rng() % 256);
    p.UpdateSlideFrame(MessageSink());
    LightSrc bare = p;  // no slide pixels: no light
    bare.slide.Reset();
    LightSrc frameless = p;  // the axis along y: no frame
    frameless.SetDirection({0.0f, -1.0f, 0.0f});
    frameless.SetSlideLookAt({0.0f, 0.0f, 0.0f});
    frameless.UpdateSlideFrame(MessageSink());
    ASSERT_EQ(frameless.slidevalid, 0);
    std::uniform_real_distribution<float> u(-0.6f, 0.6f);
    for (const LightSrc* light : {&p, &bare, &frameless}) {
        for (int round = 0; round < 60; ++round) {
            // Directions toward the light (L), the negated ones leaving it.
            V3T<V> L;
            for (int lane = 0; lane < kLanes; ++lane) {
                Vec3 d(u(rng), u(rng), round % 7 == 0 ? u(rng) : -1.0f);
                if (lane == 0 && round % 3 == 0) d = Vec3(1.0f, 0.0f, 0.001f);
                VecNormalize(d);
                L.x[lane] = -d.x;
                L.y[lane] = -d.y;
                L.z[lane] = -d.z;
            }
            const uint32_t wanted = round % 5 == 0 ? 0x5u : (1u << kLanes) - 1;
            V in[3];
            SlideIntensityLanes(*light, L, wanted, in);
            for (int lane = 0; lane < kLanes; ++lane) {
                const Rgb want =
                    wanted & (1u << lane)
                        ? light->SlideIntensity(Vec3(-L.x[lane], -L.y[lane], -L.z[lane]))
                        : Rgb{};
                ExpectSameBits(want.r, in[0][lane], "r round/lane", round, lane);
                ExpectSameBits(want.g, in[1][lane], "g round/lane", round, lane);
                ExpectSameBits(want.b, in[2][lane], "b round/lane", round, lane);
            }
        }
    }
}

// The lanes' sin(acos(c)) against the library's calls, bit for bit, on a
// table of inputs: both ends, zeros, the arccosine's branch points (2^-26,
// 0.5) and their neighbours, the floats next to -1 and 1, tiny and
// subnormal values, not-a-number, and a dense sample of the whole range.
// (bench/arccos_sine_check.cpp runs every float in -1..1 once.)
template <class V>
void CheckArccosSine() {
    constexpr int kLanes = kLanesOf<V>;
    std::vector<float> inputs;
    const float around[] = {1.0f,        0.5f,       0x1p-26f,  0x1.000002p-26f,
                            0x1p-25f,    0.25f,      0.75f,     0.9999999f,
                            1e-38f,      0x1p-149f,  0x1p-126f, 0x1.fffffcp-127f,
                            0.70710677f, 0.8660254f, 1e-8f,     0.0f};
    for (const float a : around) {
        for (const float x : {a, std::nextafter(a, 0.0f), std::nextafter(a, 2.0f)}) {
            if (x > 1.0f) continue;
            inputs.push_back(x);
            inputs.push_back(-x);
        }
    }
    // Inputs where acosf is not the correctly rounded arccosine.
    for (const float x : {0x1.110b3cp-26f, -0x1.bbbd2ep-24f, -0x1.ddde98p-23f,
                          0x1.1110b4p-22f, -0x1.eeef4cp-22f})
        inputs.push_back(x);
    std::mt19937 rng(47);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int i = 0; i < 200000; ++i)
        inputs.push_back(u(rng));
    // Near the ends the angle changes fastest.
    for (uint32_t k = 0; k < 20000; ++k) {
        const float x = std::bit_cast<float>(0x3f800000u - 1 - k * 97);
        inputs.push_back(x);
        inputs.push_back(-x);
    }
    while (inputs.size() % kLanes != 0)
        inputs.push_back(0.5f);
    for (size_t first = 0; first < inputs.size(); first += kLanes) {
        V c{};
        for (int lane = 0; lane < kLanes; ++lane)
            c[lane] = inputs[first + static_cast<size_t>(lane)];
        V phi, sine;
        ArccosLanes(c, phi);
        ArccosSineLanes(c, (1u << kLanes) - 1, sine);
        for (int lane = 0; lane < kLanes; ++lane) {
            const float x = c[lane];
            ASSERT_EQ(std::bit_cast<uint32_t>(std::acos(x)),
                      std::bit_cast<uint32_t>(phi[lane]))
                << "acos(" << std::hexfloat << x << ")";
            const float want = std::sin(std::acos(x));
            ASSERT_EQ(std::bit_cast<uint32_t>(want), std::bit_cast<uint32_t>(sine[lane]))
                << "sin(acos(" << std::hexfloat << x << "))";
            ASSERT_EQ(std::bit_cast<uint32_t>(std::sin(-std::acos(x))),
                      std::bit_cast<uint32_t>(-sine[lane]))
                << "sin(-acos(" << std::hexfloat << x << "))";
        }
    }
    // Lanes outside -1..1 (not a number) take the library's calls.
    V c = V{} + 0.25f;
    c[1] = std::numeric_limits<float>::quiet_NaN();
    V sine;
    ArccosSineLanes(c, (1u << kLanes) - 1, sine);
    EXPECT_TRUE(std::isnan(sine[1]));
    ExpectSameBits(std::sin(std::acos(0.25f)), sine[0], "lane beside NaN", 0, 0);
}

// LightAngles' special directions on lanes: along the normal and just off
// it, in the plane along +-s and +-t (phi 0, pi, +-pi/2, with the sign of a
// zero dot product), tilted ones, and a direction that is not a number.
template <class V>
void CheckAngleEdges() {
    constexpr int kLanes = kLanesOf<V>;
    SlabFrame frame;
    frame.n = Vec3(0, 0, 1);
    frame.s = Vec3(1, 0, 0);
    frame.t = Vec3(0, 1, 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<Vec3> dirs = {
        {0, 0, 1},         {0, 0, -1},          {1e-6f, 0, 1},        {1, 0, 0},
        {-1, 0, 0},        {0, 1, 0},           {0, -1, 0},           {1, -0.0f, 0},
        {-1, -0.0f, 0.5f}, {0.3f, -0.4f, 0.8f}, {-0.3f, 0.4f, -0.8f}, {nan, 0, 1},
        {1, 1e-30f, 0},    {-1, -1e-30f, 0},    {0.6f, 0.8f, 1e-7f},  {2e-7f, -1, 0}};
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    while (dirs.size() % kLanes != 0 || dirs.size() < 64)
        dirs.push_back(Vec3(u(rng), u(rng), u(rng)));
    for (Vec3& d : dirs) {
        if (d.x == d.x) VecNormalize(d);
    }
    for (size_t first = 0; first < dirs.size(); first += kLanes) {
        // Through arrays: GCC takes lane stores for reads of an unset vector.
        float xyz[3][kLanes];
        for (int lane = 0; lane < kLanes; ++lane) {
            const Vec3& d = dirs[first + static_cast<size_t>(lane)];
            xyz[0][lane] = d.x;
            xyz[1][lane] = d.y;
            xyz[2][lane] = d.z;
        }
        V3T<V> L;
        std::memcpy(&L.x, xyz[0], sizeof L.x);
        std::memcpy(&L.y, xyz[1], sizeof L.y);
        std::memcpy(&L.z, xyz[2], sizeof L.z);
        V cost, cosp, sinp;
        AnglesLanes(frame, L, (1u << kLanes) - 1, cost, cosp, sinp);
        for (int lane = 0; lane < kLanes; ++lane) {
            const int k = static_cast<int>(first) + lane;
            const ShAngles want =
                LightAngles(dirs[static_cast<size_t>(k)], frame.n, frame.s, frame.t);
            ExpectSameBits(want.cost, cost[lane], "cost direction", k, 0);
            ExpectSameBits(want.cosp, cosp[lane], "cosp direction", k, 0);
            ExpectSameBits(want.sinp, sinp[lane], "sinp direction", k, 0);
        }
    }
}

TEST_F(KernelTest, ArccosSineIsTheLibrarysOnEveryLaneWidth) {
    // The C library here (glibc) is the one the lanes copy: AnglesLanes uses
    // them rather than a library call per lane.
    EXPECT_TRUE(ArccosSineLanesExact());
    CheckArccosSine<V8>();
    CheckAngleEdges<V8>();
#ifdef __AVX512F__
    CheckArccosSine<V16>();
    CheckAngleEdges<V16>();
#endif
}

TEST_F(KernelTest, BasisOnEveryLaneWidth) {
    CheckLaneBasis<V8>();
#ifdef __AVX512F__
    CheckLaneBasis<V16>();
#endif
}

TEST_F(KernelTest, LaneGroupSumsOnEveryLaneWidth) {
    CheckGroupSums<V8>();
#ifdef __AVX512F__
    CheckGroupSums<V16>();
#endif
}

TEST_F(KernelTest, PixelGeometryOnEveryLaneWidth) {
    CheckGeometry<V8>();
#ifdef __AVX512F__
    CheckGeometry<V16>();
#endif
}

TEST_F(KernelTest, SlideIntensityOnEveryLaneWidth) {
    CheckSlide<V8>();
#ifdef __AVX512F__
    CheckSlide<V16>();
#endif
}

}  // namespace
}  // namespace lumo::kernels
