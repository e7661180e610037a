// The mode a scene opens in: corner for scenes whose relightable slabs are all
// one camera wide or high (centre mode has nothing to blend there), centre
// otherwise; and lumotool render's automatic choice.
#include <gtest/gtest.h>

#include <vector>

#include "model/start_mode.h"

namespace lumo {
namespace {

struct SlabShape {
    int32_t u, v;
    uint8_t format;
};

struct ModeCase {
    const char* what;
    std::vector<SlabShape> slabs;
    int32_t viewer;
    int32_t render;
};

TEST(StartModeTest, CornerOnlyWhereCentreModeHasNothingToBlend) {
    const ModeCase cases[] = {
        {"one fitted camera", {{1, 1, kFormatBRDF}}, kCornerMode, kCornerMode},
        {"a row of relightable cameras", {{5, 1, kFormatBRDF}}, kCornerMode, kCornerMode},
        {"a column of relightable cameras",
         {{1, 4, kFormatBRDF}},
         kCornerMode,
         kCornerMode},
        {"a 2 x 2 relightable grid", {{2, 2, kFormatBRDF}}, kCentreMode, kCentreMode},
        {"a one-camera light field", {{1, 1, kFormatRGB}}, kCentreMode, kCornerMode},
        {"a light field grid", {{4, 4, kFormatRGB}}, kCentreMode, kCentreMode},
        {"one thin relightable slab beside a full one",
         {{1, 1, kFormatBRDF}, {3, 3, kFormatBRDF}},
         kCentreMode,
         kCornerMode},
        {"thin relightable slabs and a light field grid",
         {{1, 1, kFormatBRDF}, {3, 3, kFormatRGB}},
         kCornerMode,
         kCornerMode},
        {"no slab", {}, kCentreMode, kCentreMode},
    };
    for (const ModeCase& c : cases) {
        LidInfo info;
        info.slab_count = static_cast<int32_t>(c.slabs.size());
        for (size_t i = 0; i < c.slabs.size(); ++i) {
            info.slabs[i].samples_u = c.slabs[i].u;
            info.slabs[i].samples_v = c.slabs[i].v;
            info.slabs[i].format = c.slabs[i].format;
        }
        EXPECT_EQ(c.viewer, ViewerStartMode(info, 0)) << c.what;
        EXPECT_EQ(c.render, RenderAutoMode(info, 0)) << c.what;
    }
}

TEST(StartModeTest, TheQrGridDecidesWhenTheSlabIsDrawnThroughIt) {
    SlabRecord slab;
    slab.samples_u = 1;
    slab.samples_v = 1;
    slab.samples_q = 3;
    slab.samples_r = 3;
    EXPECT_FALSE(HasCentreCells(slab, 0));
    EXPECT_TRUE(HasCentreCells(slab, 1));
    slab.samples_r = 1;
    EXPECT_FALSE(HasCentreCells(slab, 1));
}

}  // namespace
}  // namespace lumo
