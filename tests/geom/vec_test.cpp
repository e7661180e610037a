#include "geom/vec.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lumo {
namespace {

TEST(VecTest, ElementwiseOperationsAllowOutputAliasingAnInput) {
    Vec3 a(1, 2, 3);
    const Vec3 b(4, 6, 8);
    VecSub(a, b, a);
    EXPECT_EQ(a.x, -3);
    EXPECT_EQ(a.y, -4);
    EXPECT_EQ(a.z, -5);

    Vec3 c(1, 1, 1);
    VecAdd(b, c, c);
    EXPECT_EQ(c.x, 5);
    EXPECT_EQ(c.y, 7);
    EXPECT_EQ(c.z, 9);

    Vec3 l(8, 8, 8);
    VecLerp(Vec3(4, 0, 0), l, 0.25f, l);  // 0.25*a + 0.75*b
    EXPECT_EQ(l.x, 7);
    EXPECT_EQ(l.y, 6);
    EXPECT_EQ(l.z, 6);
}

TEST(VecTest, CrossUsesTheInputValuesEvenWhenOutputIsAnInput) {
    Vec3 a(1, 0, 0);
    const Vec3 b(0, 1, 0);
    VecCross(a, b, a);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.z, 1);

    Vec3 c(0, 1, 0);
    VecCross(Vec3(0, 0, 1), c, c);  // z x y = -x
    EXPECT_EQ(c.x, -1);
    EXPECT_EQ(c.y, 0);
    EXPECT_EQ(c.z, 0);
}

TEST(VecTest, LerpWeightBelongsToTheFirstArgument) {
    Vec3 out;
    VecLerp(Vec3(1, 2, 3), Vec3(5, 6, 7), 1.0f, out);
    EXPECT_EQ(out.x, 1);
    VecLerp(Vec3(1, 2, 3), Vec3(5, 6, 7), 0.0f, out);
    EXPECT_EQ(out.x, 5);
}

TEST(VecTest, AddScaledAccumulatesAndScaleWorksInPlace) {
    Vec3 out(1, 1, 1);
    VecAddScaled(Vec3(2, 4, 6), 0.5f, out);
    EXPECT_EQ(out.x, 2);
    EXPECT_EQ(out.y, 3);
    EXPECT_EQ(out.z, 4);
    Vec3 v(1, -2, 3);
    EXPECT_EQ(&VecScale(v, 2.0f), &v);
    EXPECT_EQ(v.y, -4);
}

TEST(VecTest, Vec3OperationsLeaveTheFourthFloatOfAVec4) {
    Vec4 d(3, 0, 4, 7);
    VecNormalize(d);
    EXPECT_FLOAT_EQ(d.x, 0.6f);
    EXPECT_FLOAT_EQ(d.z, 0.8f);
    EXPECT_EQ(d.w, 7);
    Vec4 dst(0, 0, 0, 9);
    VecCopy(Vec3(1, 2, 3), dst);
    EXPECT_EQ(dst.w, 9);
    EXPECT_EQ(dst.z, 3);
}

TEST(VecTest, LengthDotAndNormalize) {
    EXPECT_EQ(VecLength(Vec3(2, 3, 6)), 7.0f);
    EXPECT_EQ(VecDot(Vec3(1, 2, 3), Vec3(4, -5, 6)), 12.0f);
    Vec3 z;
    VecNormalize(z);  // a zero vector gives non-finite values, not a crash
    EXPECT_FALSE(std::isfinite(z.x));
}

TEST(VecTest, DotRoundsOnceFromDoubleIntermediates) {
    // In float, 1e8 + 1 - 1e8 loses the 1; formed in double it survives.
    EXPECT_EQ(VecDot(Vec3(1e8f, 1, -1e8f), Vec3(1, 1, 1)), 1.0f);
}

}  // namespace
}  // namespace lumo
