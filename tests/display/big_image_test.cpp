// Large pictures through the real drawing in a headless context: a fine
// pattern drawn small is filtered (mipmaps), not aliased; a picture larger
// than the GL's largest texture is still shown; "actual pixels" puts one
// image pixel on one frame pixel; a pan moves the frame by whole pixels.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include "display/frame_output.h"
#include "display/headless_context.h"
#include "display/main_frame.h"
#include "display/slab_textures.h"
#include "model/model.h"
#include "model/model_setup.h"
#include "model/view_inspection.h"
#include "tests/support/scene_fixture.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

constexpr int32_t kView = 600;

struct Region {
    double mean = 0.0;
    double stddev = 0.0;
};

class BigImageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(context_.Open(kView, kView).ok()) << "no surfaceless EGL context";
        testing::SlabFixture slab;
        slab.cols = slab.rows = 1;
        slab.width = slab.height = 8;
        testing::WritePhotoSlab(dir_, slab, false);
        here_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        model_ = std::make_unique<Model>();
        ASSERT_TRUE(InitModel(*model_, "scene.lid").ok());
        model_->options.drawslabmode = 0;  // one camera: corner mode
        InitGLState(*model_);
        ASSERT_TRUE(ResizeMainFrame(model_->view, kView, kView).ok());
    }
    void TearDown() override { std::filesystem::current_path(here_); }

    // Gives the one camera a w x h picture, pixel (x, y) from `colour`.
    void SetPicture(int32_t w, int32_t h,
                    const std::function<void(int32_t, int32_t, uint8_t*)>& colour) {
        SlabRecord& slab = model_->scene.info->slabs[0];
        slab.samples_s = w;
        slab.samples_t = h;
        Photo& p = slab.photo[0][0];
        p.width = w;
        p.height = h;
        p.pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                colour(x, y,
                       &p.pixels[(static_cast<size_t>(y) * static_cast<size_t>(w) +
                                  static_cast<size_t>(x)) *
                                 3]);
        slab.image_generation += 1;
    }

    Photo Draw() {
        EXPECT_TRUE(DrawMainFrame(*model_, textures_).ok());
        FinishFrame();
        Photo frame;
        EXPECT_TRUE(ReadMainFrame(model_->view, frame).ok());
        return frame;
    }

    static int Value(const Photo& f, int32_t x, int32_t y, int c) {
        return f.pixels[(static_cast<size_t>(y) * static_cast<size_t>(f.width) +
                         static_cast<size_t>(x)) *
                            3 +
                        static_cast<size_t>(c)];
    }

    // Mean and standard deviation of the green channel over the centred
    // square of side `side`.
    static Region Measure(const Photo& f, int32_t side) {
        double sum = 0.0, sum2 = 0.0;
        const int32_t x0 = (f.width - side) / 2, y0 = (f.height - side) / 2;
        for (int32_t y = y0; y < y0 + side; ++y)
            for (int32_t x = x0; x < x0 + side; ++x) {
                const double v = Value(f, x, y, 1);
                sum += v;
                sum2 += v * v;
            }
        const double n = static_cast<double>(side) * side;
        Region r;
        r.mean = sum / n;
        r.stddev = std::sqrt(std::max(0.0, sum2 / n - r.mean * r.mean));
        return r;
    }

    HeadlessContext context_;
    testing::TempDir dir_;
    std::filesystem::path here_;
    std::unique_ptr<Model> model_;
    SlabTextures textures_;
};

void Checker(int32_t x, int32_t y, uint8_t* rgb) {
    const uint8_t v = ((x + y) & 1) != 0 ? 255 : 0;
    rgb[0] = rgb[1] = rgb[2] = v;
}

TEST_F(BigImageTest, AOnePixelCheckerboardDrawnAtAQuarterOfItsSizeIsGrey) {
    SetPicture(2048, 2048, Checker);
    SetInspectScale(model_->view, ActualPixelsScale(*model_) / 4.0f);
    const Photo frame = Draw();
    EXPECT_EQ(TextureFilter::kMipmapped, textures_.filter());
    const Region r = Measure(frame, 400);  // inside the 512 x 512 picture
    EXPECT_NEAR(127.5, r.mean, 4.0);
    EXPECT_LT(r.stddev, 3.0) << "aliased: the picture is striped";
}

TEST_F(BigImageTest, ActualPixelsPutsOneImagePixelOnOneFramePixel) {
    SetPicture(2048, 2048, Checker);
    const float scale = ActualPixelsScale(*model_);
    ASSERT_GT(scale, 1.0f);
    SetInspectScale(model_->view, scale);
    const Photo frame = Draw();
    EXPECT_EQ(TextureFilter::kPixels, textures_.filter());
    int alternating = 0, pairs = 0;
    for (int32_t y = 100; y < 500; ++y)
        for (int32_t x = 100; x < 500; ++x) {
            ++pairs;
            const int v = Value(frame, x, y, 1);
            if ((v == 0 || v == 255) && Value(frame, x + 1, y, 1) == 255 - v &&
                Value(frame, x, y + 1, 1) == 255 - v)
                ++alternating;
        }
    EXPECT_GE(alternating, pairs * 99 / 100) << alternating << " of " << pairs;

    // A pan moves the frame by whole pixels: right by 7, down by 3.
    PanBy(model_->view, 7.0f, 3.0f);
    const Photo moved = Draw();
    int same = 0;
    for (int32_t y = 100; y < 500; ++y)
        for (int32_t x = 100; x < 500; ++x)
            // Frame rows run bottom first: down by 3 is 3 rows lower.
            same += Value(moved, x + 7, y - 3, 1) == Value(frame, x, y, 1) ? 1 : 0;
    EXPECT_GE(same, pairs * 99 / 100);

    // Back at the start-up view the picture is shown small again.
    ResetView(model_->view);
    Draw();
    EXPECT_EQ(TextureFilter::kMipmapped, textures_.filter());
}

// Four quadrants of distinct colours (two halves when `rows` is false): the
// reduced picture shows each where the full one would.
void Quadrants(int32_t w, int32_t h, int32_t x, int32_t y, bool rows, uint8_t* rgb) {
    const bool right = x >= w / 2, top = rows && y >= h / 2;
    rgb[0] = right ? 220 : 30;
    rgb[1] = top ? 200 : 60;
    rgb[2] = right == top ? 40 : 180;
}

TEST_F(BigImageTest, APictureLargerThanTheLargestTextureIsReducedNotLost) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    ASSERT_GT(largest, 0);
    struct Case {
        int32_t limit;  // 0: the GL's own
        int32_t width, height;
        int32_t uploaded_w, uploaded_h;
        // Whether the pattern's rows differ: a very wide picture is minified
        // across so much that its few rows blur together, as they should.
        bool rows;
    };
    const Case cases[] = {
        {256, 1000, 600, 250, 150, true},
        {0, largest + 1, 64, (largest + 2) / 2, 32, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        SlabTextures textures;
        textures.SetSizeLimit(c.limit);
        SetPicture(c.width, c.height, [&](int32_t x, int32_t y, uint8_t* rgb) {
            Quadrants(c.width, c.height, x, y, c.rows, rgb);
        });
        EXPECT_TRUE(DrawMainFrame(*model_, textures).ok());
        FinishFrame();
        Photo frame;
        ASSERT_TRUE(ReadMainFrame(model_->view, frame).ok());
        int32_t w = 0, h = 0;
        textures.UploadedSize(0, w, h);
        EXPECT_EQ(c.uploaded_w, w);
        EXPECT_EQ(c.uploaded_h, h);
        // The picture spans about 458 pixels around the centre; frame rows
        // run bottom first, as the picture's rows do.
        const int32_t lo = kView / 2 - 120, hi = kView / 2 + 120;
        for (int32_t y : {lo, hi})
            for (int32_t x : {lo, hi}) {
                uint8_t want[3];
                Quadrants(2, 2, x > kView / 2 ? 1 : 0, y > kView / 2 ? 1 : 0, c.rows,
                          want);
                for (int ch = 0; ch < 3; ++ch)
                    EXPECT_NEAR(want[ch], Value(frame, x, y, ch), 2)
                        << "pixel (" << x << ", " << y << ") channel " << ch;
            }
    }
}

TEST(ReduceToFitTest, HalvesUntilBothSidesFitAveragingEachBlock) {
    Photo p;
    p.width = 5;
    p.height = 3;
    p.pixels.resize(5 * 3 * 3);
    for (size_t i = 0; i < p.pixels.size(); ++i)
        p.pixels[i] = static_cast<uint8_t>(10 * (i / 3));  // pixel index * 10, grey
    const Photo one = ReduceToFit(p, 4);
    ASSERT_EQ(3, one.width);
    ASSERT_EQ(2, one.height);
    // (0,0): pixels 0, 1, 5, 6 -> 30; (2,0): pixel 4 and 9 counted twice -> 65;
    // (0,1): row 2 only, pixels 10, 11 -> 105.
    EXPECT_EQ(30, one.pixels[0]);
    EXPECT_EQ(65, one.pixels[2 * 3]);
    EXPECT_EQ(105, one.pixels[3 * 3]);
    const Photo two = ReduceToFit(p, 1);
    EXPECT_EQ(1, two.width);
    EXPECT_EQ(1, two.height);
}

}  // namespace
}  // namespace lumo
