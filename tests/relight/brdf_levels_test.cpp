// Coefficient levels: each coefficient the mean of its block (cut blocks at
// odd edges averaging what there is, absent pixels counting as zeros), kept
// with the coefficients; and the engine relighting a reduced image from its
// level gives the means of the full-resolution relight.
#include "relight/brdf_levels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <vector>

#include "base/half_float.h"
#include "relight/reconstruct.h"
#include "tests/relight/relight_fixture.h"

namespace lumo {
namespace {

using testing::DirLight;
using testing::FillPhotos;
using testing::MakeBrdfSlab;
using testing::SlabSpec;

struct LevelCase {
    int32_t W, H, level;
    double density;  // chance that a pixel is present in channels 0 and 1
    bool half;
};

void PrintTo(const LevelCase& c, std::ostream* os) {
    *os << c.W << " x " << c.H << " level " << c.level << " density " << c.density
        << (c.half ? " half" : "");
}

class BrdfLevelsTest : public ::testing::TestWithParam<LevelCase> {};

// Every coefficient of ReduceBrdf's level against the block means taken pixel
// by pixel through the image's own accessor.
TEST_P(BrdfLevelsTest, EachCoefficientIsTheMeanOfItsBlock) {
    const LevelCase c = GetParam();
    SlabSpec spec;
    spec.nu = spec.nv = 1;
    spec.W = c.W;
    spec.H = c.H;
    spec.lcnt = 3;
    spec.density[0] = spec.density[1] = c.density;
    spec.density[2] = 0.0;  // a channel without coefficients anywhere
    spec.half = c.half;
    spec.seed = static_cast<uint32_t>(c.W * 31 + c.level);
    SlabRecord slab;
    MakeBrdfSlab(slab, spec);
    const BrdfImage& full = slab.brdf[0];
    BrdfImage level;
    ASSERT_TRUE(ReduceBrdf(full, c.level, level).ok());

    const int32_t b = 1 << c.level;
    const int32_t w = (c.W + b - 1) / b, h = (c.H + b - 1) / b;
    ASSERT_EQ(w, level.width);
    ASSERT_EQ(h, level.height);
    EXPECT_EQ(full.harcnt, level.harcnt);
    EXPECT_EQ(full.half, level.half);
    int32_t xmin = w, xmax = -1, ymin = h, ymax = -1;
    for (int32_t Y = 0; Y < h; ++Y) {
        for (int32_t X = 0; X < w; ++X) {
            for (int ch = 0; ch < 3; ++ch) {
                std::vector<double> mean(static_cast<size_t>(full.harcnt), 0.0);
                bool present = false;
                int count = 0;
                for (int32_t y = Y * b; y < std::min((Y + 1) * b, c.H); ++y) {
                    for (int32_t x = X * b; x < std::min((X + 1) * b, c.W); ++x) {
                        ++count;
                        const ShPixel p =
                            full.Pixel(ch, static_cast<size_t>(y) * c.W + x);
                        if (!p.present()) continue;
                        present = true;
                        for (int32_t i = 0; i < full.harcnt; ++i)
                            mean[static_cast<size_t>(i)] += p.Coeff(i);
                    }
                }
                const ShPixel got = level.Pixel(ch, static_cast<size_t>(Y) * w + X);
                ASSERT_EQ(present, got.present()) << X << "," << Y << " ch " << ch;
                if (!present) continue;
                xmin = std::min(xmin, X);
                xmax = std::max(xmax, X);
                ymin = std::min(ymin, Y);
                ymax = std::max(ymax, Y);
                for (int32_t i = 0; i < full.harcnt; ++i) {
                    const double want = mean[static_cast<size_t>(i)] / count;
                    // A half level keeps the mean rounded to a half.
                    const double room = c.half ? std::fabs(want) / 1024.0 + 1e-7
                                               : std::fabs(want) * 1e-6 + 1e-9;
                    ASSERT_NEAR(want, got.Coeff(i), room)
                        << X << "," << Y << " ch " << ch << " coefficient " << i;
                }
            }
        }
    }
    EXPECT_EQ(xmin, level.xmin);
    EXPECT_EQ(xmax, level.xmax);
    EXPECT_EQ(ymin, level.ymin);
    EXPECT_EQ(ymax, level.ymax);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, BrdfLevelsTest,
    ::testing::Values(LevelCase{19, 11, 1, 1.0, false}, LevelCase{19, 11, 2, 0.6, false},
                      LevelCase{21, 13, 3, 0.3, false}, LevelCase{5, 3, 3, 0.8, false},
                      LevelCase{19, 11, 2, 0.6, true},
                      // whole tiles within one block
                      LevelCase{32, 9, 3, 1.0, false}, LevelCase{40, 17, 4, 1.0, true}));

TEST(BrdfLevelTest, ALevelIsBuiltOnceAndGoesWithItsCoefficients) {
    SlabSpec spec;
    spec.nu = spec.nv = 1;
    SlabRecord slab;
    MakeBrdfSlab(slab, spec);
    BrdfImage& full = slab.brdf[0];
    EXPECT_EQ(&full, BrdfLevel(full, 0));
    const BrdfImage* two = BrdfLevel(full, 2);
    ASSERT_NE(nullptr, two);
    EXPECT_EQ(LevelSide(spec.W, 2), two->width);
    EXPECT_EQ(two, BrdfLevel(full, 2));
    // Level 1 was never asked for.
    ASSERT_EQ(2u, full.levels.size());
    EXPECT_EQ(0, full.levels[0].width);
    EXPECT_EQ(nullptr, BrdfLevel(full, kMaxBrdfLevel + 1));
    full.Reset();
    EXPECT_TRUE(full.levels.empty());
}

// With preview on and the image wanted at level 2, the engine relights the
// shown part of a reduced picture from level 2's coefficients: the means of
// the full relight's blocks, where no pixel of a block was clamped. The image's
// own picture keeps its pixels; left out later, the image keeps its level.
TEST(ReducedRelightTest, ALevelRelightsToTheMeansOfTheFullRelight) {
    SlabSpec spec;
    spec.nu = spec.nv = 1;
    spec.W = 37;
    spec.H = 23;
    SlabRecord slab;
    MakeBrdfSlab(slab, spec);
    std::vector<LightSrc> lights = {DirLight({0.3f, -0.2f, -1.0f}, 0.4f, 0.3f, 0.2f)};
    ReconRequest request;
    request.lights = lights;
    request.terms = 9;
    request.progress = {};
    ASSERT_TRUE(RelightSlabDirectional(slab, request).ok());
    const Photo full = slab.photo[0][0];

    FillPhotos(slab, 42);
    const PixelRect shown{5, 30, 2, 20};
    slab.shown = {shown};
    slab.shown_level = {2};
    request.preview = 1;
    ASSERT_TRUE(RelightSlabDirectional(slab, request).ok());
    ASSERT_EQ(1u, slab.fresh_level.size());
    EXPECT_EQ(2, slab.fresh_level[0]);
    EXPECT_TRUE(slab.fresh[0].Contains(shown));
    for (const uint8_t v : slab.photo[0][0].pixels)
        ASSERT_EQ(42, v);
    ASSERT_EQ(1u, slab.reduced_photo.size());
    const Photo& small = slab.reduced_photo[0];
    ASSERT_EQ(10, small.width);
    ASSERT_EQ(6, small.height);
    int compared = 0;
    for (int32_t Y = shown.y0 / 4; Y <= shown.y1 / 4; ++Y) {
        for (int32_t X = shown.x0 / 4; X <= shown.x1 / 4; ++X) {
            for (int ch = 0; ch < 3; ++ch) {
                double sum = 0;
                int n = 0;
                bool clamped = false;
                for (int32_t y = 4 * Y; y < std::min(4 * Y + 4, spec.H); ++y) {
                    for (int32_t x = 4 * X; x < std::min(4 * X + 4, spec.W); ++x) {
                        const int v =
                            full.pixels[(static_cast<size_t>(y) * spec.W + x) * 3 +
                                        static_cast<size_t>(ch)];
                        clamped = clamped || v == 0 || v == 255;
                        sum += v;
                        ++n;
                    }
                }
                if (clamped) continue;
                ++compared;
                // Each full pixel was truncated to its byte: the means agree
                // within one level and the truncations.
                ASSERT_NEAR(sum / n,
                            small.pixels[(static_cast<size_t>(Y) * small.width + X) * 3 +
                                         static_cast<size_t>(ch)],
                            1.5)
                    << X << "," << Y << " ch " << ch;
            }
        }
    }
    EXPECT_GT(compared, 20);

    // Out of view, the image is left out and still shows its reduced picture.
    slab.shown = {PixelRect()};
    ASSERT_TRUE(RelightSlabDirectional(slab, request).ok());
    EXPECT_TRUE(slab.fresh[0].empty());
    EXPECT_EQ(2, slab.fresh_level[0]);

    // Preview off: full resolution again, level 0.
    request.preview = 0;
    ASSERT_TRUE(RelightSlabDirectional(slab, request).ok());
    EXPECT_EQ(0, slab.fresh_level[0]);
    EXPECT_EQ(full.pixels, slab.photo[0][0].pixels);
}

}  // namespace
}  // namespace lumo
