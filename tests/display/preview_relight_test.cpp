// With preview on, a light change relights only the pixels the next frame
// shows, and a frame that would show pixels relit under older lights (the
// view moved) relights them first: what the viewer's display callback does
// before drawing, run here through the real drawing in a headless context.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>

#include "display/frame_output.h"
#include "display/headless_context.h"
#include "display/main_frame.h"
#include "display/shown_pixels.h"
#include "display/slab_textures.h"
#include "model/model.h"
#include "model/model_setup.h"
#include "model/view_inspection.h"
#include "tests/support/scene_fixture.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

constexpr int32_t kView = 64;
constexpr int32_t kSide = 256;

class PreviewRelightTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(context_.Open(kView, kView).ok()) << "no surfaceless EGL context";
        testing::SlabFixture slab;
        slab.cols = slab.rows = 1;
        slab.width = slab.height = kSide;
        slab.colour = [](int, int) { return testing::Rgb8{200, 200, 200}; };
        testing::WriteBrdfSlab(dir_, slab);
        here_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        model_ = std::make_unique<Model>();
        ASSERT_TRUE(InitModel(*model_, "scene.lid").ok());
        model_->options.drawslabmode = 0;
        model_->options.preview = 1;
        InitGLState(*model_);
        ASSERT_TRUE(ResizeMainFrame(model_->view, kView, kView).ok());
    }
    void TearDown() override { std::filesystem::current_path(here_); }

    SlabRecord& Slab() { return model_->scene.info->slabs[0]; }

    // A redisplay as the viewer makes it.
    Photo Frame() {
        EXPECT_TRUE(UpdateShownPixels(*model_).ok());
        if (!ShownPixelsFresh(*model_)) model_->view.recon_request = 1;
        if (model_->view.recon_request != 0) {
            EXPECT_TRUE(ReconstructModel(*model_).ok());
        }
        EXPECT_TRUE(DrawMainFrame(*model_, textures_).ok());
        FinishFrame();
        Photo frame;
        EXPECT_TRUE(ReadMainFrame(model_->view, frame).ok());
        return frame;
    }

    void MakeLightRed() {
        float* c = model_->lights.table[0].color;
        c[0] = 1.0f;
        c[1] = c[2] = 0.0f;
        model_->view.recon_request = 1;
    }

    // Pixels of the frame's centred square of side `side` still showing the
    // white light's green.
    static int StalePixels(const Photo& frame, int32_t side = kView) {
        int stale = 0;
        const int32_t lo = (kView - side) / 2;
        for (int32_t y = lo; y < lo + side; ++y)
            for (int32_t x = lo; x < lo + side; ++x)
                stale += frame.pixels[(static_cast<size_t>(y) * kView + x) * 3 + 1] != 0;
        return stale;
    }

    static size_t Area(const PixelRect& r) {
        return r.empty() ? 0
                         : static_cast<size_t>(r.x1 - r.x0 + 1) *
                               static_cast<size_t>(r.y1 - r.y0 + 1);
    }

    HeadlessContext context_;
    testing::TempDir dir_;
    std::filesystem::path here_;
    std::unique_ptr<Model> model_;
    SlabTextures textures_;
};

TEST_F(PreviewRelightTest, AtActualPixelsALightChangeRelightsOnlyWhatIsInView) {
    SetInspectScale(model_->view, ActualPixelsScale(*model_));
    Frame();
    MakeLightRed();
    const Photo red = Frame();
    EXPECT_EQ(0, StalePixels(red));
    for (size_t i = 0; i + 2 < red.pixels.size(); i += 3)
        ASSERT_NEAR(200, red.pixels[i], 2) << "frame pixel " << i / 3;
    // The view shows 64 x 64 of the 256 x 256 picture: about that is relit.
    ASSERT_EQ(1u, Slab().fresh.size());
    const PixelRect fresh = Slab().fresh[0];
    EXPECT_TRUE(fresh.Contains(Slab().shown[0]));
    EXPECT_LE(Area(fresh), 80u * 80u);
    EXPECT_GE(Area(fresh), 64u * 64u);
    // Outside it the picture keeps the white light.
    const Photo& photo = Slab().photo[0][0];
    EXPECT_NE(0, photo.pixels[1]);  // pixel (0, 0), green
    EXPECT_EQ(0,
              photo.pixels[(static_cast<size_t>(kSide / 2) * kSide + kSide / 2) * 3 + 1]);

    // Moving the view brings white pixels into it: they are relit first.
    for (const float dx : {40.0f, -90.0f}) {
        PanBy(model_->view, dx, 25.0f);
        EXPECT_EQ(0, StalePixels(Frame())) << "pan " << dx;
        EXPECT_TRUE(Slab().fresh[0].Contains(Slab().shown[0]));
    }
    // Back at the start-up view the whole picture (about 49 pixels across)
    // is in view and relit.
    ResetView(model_->view);
    EXPECT_EQ(0, StalePixels(Frame(), 40));
    EXPECT_EQ(Area(PixelRect::Whole(kSide, kSide)), Area(Slab().fresh[0]));
}

TEST_F(PreviewRelightTest, WithPreviewOffEveryPixelIsBroughtUpToDate) {
    SetInspectScale(model_->view, ActualPixelsScale(*model_));
    Frame();
    MakeLightRed();
    Frame();
    ASSERT_LT(Area(Slab().fresh[0]), Area(PixelRect::Whole(kSide, kSide)));
    model_->options.preview = 0;
    Frame();
    EXPECT_TRUE(Slab().shown.empty());
    EXPECT_EQ(Area(PixelRect::Whole(kSide, kSide)), Area(Slab().fresh[0]));
    const Photo& photo = Slab().photo[0][0];
    for (size_t i = 0; i + 2 < photo.pixels.size(); i += 3)
        ASSERT_EQ(0, photo.pixels[i + 1]) << "pixel " << i / 3;
}

// Whether an image's last relight serves the next frame: its rectangle must
// hold what is shown, and its level be the wanted one or finer.
TEST(ShownPixelsFreshTest, ARelightServesItsRectangleAtItsLevelOrCoarser) {
    const PixelRect all{0, 99, 0, 99}, part{10, 50, 10, 50};
    struct Case {
        PixelRect fresh;
        int32_t fresh_level;
        PixelRect wanted;
        int32_t wanted_level;
        bool expected;
    } const cases[] = {
        {all, 0, part, 0, true},         // full resolution serves any level
        {all, 0, part, 3, true},         // finer than wanted
        {all, 2, part, 3, true},         // finer than wanted
        {all, 3, part, 3, true},         // as wanted
        {all, 3, part, 2, false},        // zoomed in past it
        {all, 3, all, 0, false},         // preview turned off: full resolution
        {part, 0, all, 0, false},        // the view moved out of it
        {part, 1, all, 3, false},        // likewise at a level
        {all, 3, PixelRect(), 0, true},  // nothing shown: nothing to relight
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected,
                  ImageFresh(c.fresh, c.fresh_level, c.wanted, c.wanted_level))
            << "fresh level " << c.fresh_level << " wanted level " << c.wanted_level
            << " wanted " << c.wanted.x0 << ".." << c.wanted.x1;
    }
}

// The level of images drawn at a given number of image pixels per window
// pixel: 2^L no more than that, and never a level where a side stops halving.
TEST(ShownPixelsFreshTest, TheReductionLevelKeepsATexelPerWindowPixel) {
    struct Case {
        float texels;
        int32_t w, h, expected;
    } const cases[] = {
        {0.0f, 512, 512, 0},    {1.0f, 512, 512, 0}, {1.99f, 512, 512, 0},
        {2.0f, 512, 512, 1},    {3.9f, 512, 512, 1}, {4.0f, 512, 512, 2},
        {11.7f, 6000, 4000, 3}, {1e6f, 8, 8, 3},     {1e6f, 9, 2, 1},
        {8.0f, 1, 100, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, ReductionLevel(c.texels, c.w, c.h))
            << c.texels << " texels per pixel, " << c.w << " x " << c.h;
}

}  // namespace
}  // namespace lumo
