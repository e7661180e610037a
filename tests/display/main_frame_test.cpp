// Drawing the main frame shows the model as it is. Steering the current light
// from its arcball and reconstructing the images on request are the caller's
// (the viewer's display callback, lumotool render); a draw that did either
// would make a grab show a relight no redisplay asked for.
#include "display/main_frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>

#include "display/headless_context.h"
#include "display/light_view_draw.h"
#include "display/slab_textures.h"
#include "model/light_steering.h"
#include "model/model.h"
#include "model/model_setup.h"
#include "tests/support/scene_fixture.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

constexpr int32_t kSize = 64;

bool SameDirection(const Vec3& a, const Vec3& b) {
    const float fa[3] = {a.x, a.y, a.z};
    const float fb[3] = {b.x, b.y, b.z};
    return std::memcmp(fa, fb, sizeof fa) == 0;
}

class MainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(context_.Open(kSize, kSize).ok()) << "no surfaceless EGL context";
        testing::WriteBrdfSlab(dir_, testing::SlabFixture{});
        here_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        model_ = std::make_unique<Model>();
        ASSERT_TRUE(InitModel(*model_, "scene.lid").ok());
        InitGLState(*model_);
        ASSERT_TRUE(ResizeMainFrame(model_->view, kSize, kSize).ok());
        SetUpLightView(*model_);
    }
    void TearDown() override { std::filesystem::current_path(here_); }

    uint64_t Generation() const { return model_->scene.info->slabs[0].image_generation; }

    HeadlessContext context_;
    testing::TempDir dir_;
    std::filesystem::path here_;
    std::unique_ptr<Model> model_;
    SlabTextures textures_;
};

TEST_F(MainFrameTest, DrawingNeitherSteersTheLightNorReconstructs) {
    // A drag in the light-editing view that no redraw has followed yet, and a
    // light change asking for a reconstruction.
    ArcBallPress(*model_, 150, 150);
    ArcBallMove(*model_, 220, 110, FreeRotation);
    model_->view.recon_request = 1;
    const Vec3 direction = model_->lights.table[0].direction;
    const uint64_t generation = Generation();
    for (int32_t mode : {0, 1}) {
        model_->options.drawslabmode = mode;
        ApplyDrawSlabMode(model_->options);
        EXPECT_TRUE(DrawMainFrame(*model_, textures_).ok()) << "mode " << mode;
        EXPECT_EQ(1, model_->view.recon_request) << "mode " << mode;
        EXPECT_EQ(generation, Generation()) << "mode " << mode;
        EXPECT_TRUE(SameDirection(direction, model_->lights.table[0].direction))
            << "mode " << mode;
    }
    // What the display callback does before drawing: the light follows the
    // drag and the images are reconstructed.
    SteerCurrentLight(*model_);
    EXPECT_TRUE(ReconstructModel(*model_).ok());
    EXPECT_EQ(0, model_->view.recon_request);
    EXPECT_NE(generation, Generation());
    EXPECT_FALSE(SameDirection(direction, model_->lights.table[0].direction));
}

TEST_F(MainFrameTest, ASizeWhoseCacheCannotBeHadFailsWithItsMessage) {
    const Status s = ResizeMainFrame(model_->view, INT32_MAX, INT32_MAX);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ("No memory for string memory allocation\n", s.message());
    EXPECT_TRUE(model_->view.others_cache.empty());
}

// A slab whose per-frame geometry cannot be allocated stops the frame with the
// geometry's message, in either drawing mode; the program decides what follows.
TEST_F(MainFrameTest, ASlabWhoseGeometryCannotBeHadFailsWithItsMessage) {
    SlabRecord& slab = model_->scene.info->slabs[0];
    const int32_t u = slab.samples_u, v = slab.samples_v;
    slab.samples_u = slab.samples_v = 2000000000;
    const struct {
        int32_t mode;
        const char* message;
    } cases[] = {
        {0, "[SlabRecord::CalCurrSTCorner]: no memory for sr\n"},
        {1, "[SlabRecord::CalCurrSTCenter]: no memory for sr\n"},
    };
    for (const auto& c : cases) {
        model_->options.drawslabmode = c.mode;
        ApplyDrawSlabMode(model_->options);
        EXPECT_EQ(c.message, DrawMainFrame(*model_, textures_).message())
            << "mode " << c.mode;
    }
    slab.samples_u = u;
    slab.samples_v = v;
}

}  // namespace
}  // namespace lumo
