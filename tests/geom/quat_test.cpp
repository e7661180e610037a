#include "geom/quat.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lumo {
namespace {

void ExpectNear(const Quat& want, const Quat& got) {
    EXPECT_NEAR(want.x, got.x, 1e-6);
    EXPECT_NEAR(want.y, got.y, 1e-6);
    EXPECT_NEAR(want.z, got.z, 1e-6);
    EXPECT_NEAR(want.w, got.w, 1e-6);
}

TEST(QuatTest, ComposesAndConjugates) {
    const float h = static_cast<float>(std::sqrt(0.5));
    const Quat quarter_z{0, 0, h, h};  // a quarter turn about z
    ExpectNear(Quat{0, 0, 1, 0}, QuatMul(quarter_z, quarter_z));
    ExpectNear(Quat{0, 0, 0, 1}, QuatMul(quarter_z, QuatConj(quarter_z)));
    // a * b is b first: a quarter turn about x, then one about z.
    const Quat quarter_x{h, 0, 0, h};
    ExpectNear(Quat{0.5f, 0.5f, 0.5f, 0.5f}, QuatMul(quarter_z, quarter_x));
}

TEST(QuatTest, SlerpRunsAlongTheShorterArcAtAnEvenPace) {
    const float h = static_cast<float>(std::sqrt(0.5));
    const Quat identity{0, 0, 0, 1};
    const Quat half_z{0, 0, 1, 0};
    const struct {
        Quat b;
        float u;
        Quat want;
    } cases[] = {
        {half_z, 0.0f, identity},
        {half_z, 1.0f, half_z},
        {half_z, 0.5f, Quat{0, 0, h, h}},
        // -q is the same rotation: the path takes the shorter way round.
        {Quat{0, 0, -h, -h}, 1.0f, Quat{0, 0, h, h}},
        // Nearly equal ends: normalised linear interpolation.
        {Quat{0, 0, 1e-4f, 1}, 0.5f, Quat{0, 0, 5e-5f, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.u);
        ExpectNear(c.want, Slerp(identity, c.b, c.u));
    }
}

}  // namespace
}  // namespace lumo
