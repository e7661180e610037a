// The baker's small files: scene descriptions read back by the scene reader,
// and the slide image through the SGI writer and reader.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bake/bake_camera.h"
#include "bake/slide_pattern.h"
#include "io/sgi_image.h"
#include "io/sgi_writer.h"
#include "scene/lid_reader.h"
#include "scene/lid_writer.h"
#include "tests/support/temp_dir.h"

namespace lumo::tool {
namespace {

std::unique_ptr<LidInfo> ReadBack(const std::string& text) {
    lumo::testing::TempDir dir;
    const std::string path = dir.Write("scene.lid", text);
    auto info = std::make_unique<LidInfo>();
    const Status s = ReadLidFile(path.c_str(), *info);
    EXPECT_TRUE(s.ok()) << s.message();
    return info;
}

TEST(BakeFilesTest, LidTextReadsBackAsTheBakedSlab) {
    const BakeSlab slab = DemoSlab(3, 48);
    struct Case {
        const char* name;
        LidSpec spec;
        int plane;  // the camera grid's corner plane
    };
    const Case cases[] = {
        {"brdf", {"demo\ntwo lines", "scene", true, 16, 0.0f, LidGrid::kUV}, 0},
        {"image set", {"", "scene.dat", false, 0, 3.0f, LidGrid::kUV}, 0},
        {"qr", {"", "photos", false, 0, 0.0f, LidGrid::kQR}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = SlabLidText(ToLidSlab(slab), c.spec);
        const auto info = ReadBack(text);
        ASSERT_EQ(1, info->slab_count);
        const SlabRecord& s = info->slabs[0];
        EXPECT_EQ(c.spec.name, s.name);
        EXPECT_EQ(c.spec.brdf ? kFormatBRDF : kFormatRGB, s.format);
        EXPECT_EQ(48, s.samples_s);
        EXPECT_EQ(48, s.samples_t);
        const bool qr = c.spec.grid == LidGrid::kQR;
        EXPECT_EQ(qr ? 0 : 3, s.samples_u);
        EXPECT_EQ(qr ? 3 : 0, s.samples_q);
        EXPECT_EQ(qr ? 3 : 0, s.samples_r);
        EXPECT_EQ(9u, s.viewenablemask[qr ? 1 : 0].size());
        if (c.spec.brdf) {
            EXPECT_EQ(16, s.sh_count);
        }
        if (c.spec.dct_rate > 0) {
            EXPECT_EQ(3.0f, s.dct_quant_bit_rate);
        }
        for (int i = 0; i < 4; ++i) {
            const Vec4& cam = s.corner_vert[c.plane][i];
            EXPECT_EQ(static_cast<float>(slab.camera.corner[i].x), cam.x);
            EXPECT_EQ(static_cast<float>(slab.camera.corner[i].y), cam.y);
            EXPECT_EQ(static_cast<float>(slab.camera.corner[i].z), cam.z);
            EXPECT_EQ(1.0f, cam.w);
            const Vec4& st = s.corner_vert[kPlaneST][i];
            EXPECT_EQ(static_cast<float>(slab.image.corner[i].x), st.x);
            EXPECT_EQ(static_cast<float>(slab.image.corner[i].y), st.y);
            EXPECT_EQ(0.0f, st.z);
        }
        if (!c.spec.comment.empty()) {
            EXPECT_EQ(0u, text.find("# demo\n# two lines\n"));
        }
    }
}

TEST(BakeFilesTest, SlideShowsAnUpwardArrowInAFrameAndSurvivesTheSgiFiles) {
    const Photo slide = SlidePattern(128);
    ASSERT_EQ(128, slide.width);
    ASSERT_EQ(128, slide.height);
    auto px = [&](int x, int y) { return &slide.pixels[3 * (y * 128 + x)]; };
    // Black frame, white arrow head above its shaft (row 0 at the bottom).
    EXPECT_EQ(0, px(0, 0)[0]);
    EXPECT_EQ(0, px(127, 64)[1]);
    EXPECT_EQ(255, px(64, 40)[0]);   // shaft
    EXPECT_EQ(255, px(64, 100)[2]);  // head
    EXPECT_NE(255, px(52, 40)[0]);   // beside the shaft
    // The four quadrants differ, so turns and mirrors show.
    const uint8_t* q[4] = {px(20, 20), px(100, 20), px(20, 100), px(100, 100)};
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            EXPECT_NE(std::string(q[i], q[i] + 3), std::string(q[j], q[j] + 3))
                << i << " " << j;
        }
    }
    lumo::testing::TempDir dir;
    const std::string path = dir.File("slide.rgb");
    ASSERT_TRUE(WriteSGIRGB(path.c_str(), slide).ok());
    Photo back;
    bool loaded = false;
    ASSERT_TRUE(ReadSGIRGB(back, path.c_str(), {}, {}, loaded).ok());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(slide.width, back.width);
    EXPECT_EQ(slide.pixels, back.pixels);
    EXPECT_FALSE(SlidePattern(8).has_pixels());
}

}  // namespace
}  // namespace lumo::tool
