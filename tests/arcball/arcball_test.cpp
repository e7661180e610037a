#include "arcball/arcball.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lumo {
namespace {

constexpr float kEps = 1e-6f;

void ExpectVec(const Vec4& v, float x, float y, float z, float eps = kEps) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

// The controller as the light-editing view prepares it.
ArcBall Prepared() {
    ArcBall b;
    b.Reset();
    b.SetSphere(Vec4(0, 0, 0, 1), 0.75);
    return b;
}

Vec4 Mouse(float x, float y) {
    return Vec4(x, y, 0, 0);
}

void Drag(ArcBall& b, Vec4 from, Vec4 to) {
    b.SetMouse(from);
    b.StartDrag();
    b.SetMouse(to);
    b.Update();
    b.FinishDrag();
}

TEST(ArcBallTest, PreparedControllerGivesTheIdentity) {
    ArcBall b = Prepared();
    b.Update();
    Mat4 m;
    b.GetMatrix(m);
    Mat4 identity;
    MatIdentity(identity);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(identity[i], m[i]) << i;
}

TEST(ArcBallTest, PointOnSphereLiftsInsideAndPullsOutsideOntoTheRim) {
    const ArcBall b = Prepared();
    ExpectVec(b.PointOnSphere(Mouse(0, 0)), 0, 0, 1);
    ExpectVec(b.PointOnSphere(Mouse(0.75f, 0)), 1, 0, 0);
    ExpectVec(b.PointOnSphere(Mouse(1.5f, 0)), 1, 0, 0);
    const Vec4 p = b.PointOnSphere(Mouse(0.3f, -0.2f));
    EXPECT_NEAR(1.0f, p.x * p.x + p.y * p.y + p.z * p.z, kEps);
    EXPECT_GT(p.z, 0);
}

TEST(ArcBallTest, DragFromCentreToRimIsAHalfTurnAboutY) {
    ArcBall b = Prepared();
    b.SetMouse(Mouse(0, 0));
    b.StartDrag();
    b.SetMouse(Mouse(0.75f, 0));
    b.Update();
    EXPECT_NEAR(0, b.rotation_drag.x, kEps);
    EXPECT_NEAR(1, b.rotation_drag.y, kEps);
    EXPECT_NEAR(0, b.rotation_drag.z, kEps);
    EXPECT_NEAR(0, b.rotation_drag.w, kEps);
    // The matrix handed to OpenGL turns (0, 0, 1) to (0, 0, -1).
    Mat4 m;
    b.GetMatrix(m);
    Vec4 z(0, 0, 1, 0);
    MatTransform(z, m);
    ExpectVec(z, 0, 0, -1);
}

TEST(ArcBallTest, FinishedDragBecomesTheBaseOfTheNext) {
    ArcBall b = Prepared();
    // A quarter of the way to the rim twice along x composes two rotations
    // about y; the second drag starts from the first's result.
    Drag(b, Mouse(0, 0), Mouse(0.375f, 0));
    const Quat first = b.rotation_now;
    Drag(b, Mouse(0, 0), Mouse(0.375f, 0));
    const Quat expected = QuatMul(first, first);
    EXPECT_NEAR(expected.y, b.rotation_now.y, kEps);
    EXPECT_NEAR(expected.w, b.rotation_now.w, kEps);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(b.matrix_now[i], b.matrix_down[i]);
}

TEST(ArcBallTest, MatrixRowsAreTheTurnedAxes) {
    // A quarter turn about z: x goes to y.
    const float h = std::sqrt(0.5f);
    const Mat4 m = QuatToMatrix(QuatConj(Quat{0, 0, h, h}));
    Vec4 x(1, 0, 0, 0);
    MatTransform(x, m);
    ExpectVec(x, 0, 1, 0);
    // Its stored rows (indices 4r..4r+2) are the axes turned by the rotation.
    ExpectVec(Vec4(m[0], m[1], m[2], 0), 0, 1, 0);
    ExpectVec(Vec4(m[4], m[5], m[6], 0), -1, 0, 0);
    // A zero quaternion has a zero rotation part.
    const Mat4 zero = QuatToMatrix(Quat{});
    EXPECT_EQ(1.0f, zero[0]);  // 1 - (yy + zz) with s = 0
    EXPECT_EQ(0.0f, zero[1]);
    EXPECT_EQ(1.0f, zero[15]);
}

TEST(ArcBallTest, AxisSetChangesOnlyWhileIdle) {
    ArcBall b = Prepared();
    b.SetMouse(Mouse(0, 0));
    b.StartDrag();
    b.SelectAxes(ViewAxes);
    EXPECT_EQ(FreeRotation, b.axis_set);
    b.FinishDrag();
    b.SelectAxes(ViewAxes);
    EXPECT_EQ(ViewAxes, b.axis_set);
}

TEST(ArcBallTest, IdleUpdatePicksTheNearestViewAxis) {
    ArcBall b = Prepared();
    b.SelectAxes(ViewAxes);
    // On the rim halfway between x and y: the z axis, whose circle is the rim.
    const float r = 0.75f * std::sqrt(0.5f);
    b.SetMouse(Mouse(r, r));
    b.Update();
    EXPECT_EQ(2, b.axis_index);
    // At the centre the x and y circles both pass; the tie keeps x.
    b.SetMouse(Mouse(0, 0));
    b.Update();
    EXPECT_EQ(0, b.axis_index);
}

TEST(ArcBallTest, ConstrainedDragTurnsOnlyAboutTheAxis) {
    ArcBall b = Prepared();
    b.SelectAxes(ViewAxes);
    b.SetMouse(Mouse(0.75f, 0));  // on the rim along x: nearest is the y or z circle
    b.Update();
    b.axis_index = 1;  // constrain to y
    b.SetMouse(Mouse(0, 0));
    b.StartDrag();
    b.SetMouse(Mouse(0.5f, 0.5f));
    b.Update();
    EXPECT_NEAR(0, b.rotation_now.x, kEps);
    EXPECT_NEAR(0, b.rotation_now.z, kEps);
    EXPECT_GT(std::fabs(b.rotation_now.y), 0.1f);
}

TEST(ArcBallTest, ObjectAxesFollowTheCopysOwnMatrix) {
    ArcBall a = Prepared();
    Drag(a, Mouse(0, 0), Mouse(0.75f, 0));  // half turn about y
    ArcBall copy = Prepared();
    copy = a;
    Vec4 axes[3];
    ASSERT_EQ(3, copy.Axes(ObjectAxes, axes));
    ExpectVec(axes[0], -1, 0, 0);  // x turned half about y
    ExpectVec(axes[2], 0, 0, -1);
    copy.matrix_down[0] = 0.5f;
    Vec4 original[3];
    a.Axes(ObjectAxes, original);
    EXPECT_NEAR(-1, original[0].x, kEps);
    Vec4 fixed[3];
    ASSERT_EQ(1, a.Axes(FixedAxis, fixed));
    ExpectVec(fixed[0], -0.48f, 0.80f, 0.36f);
}

TEST(ArcBallTest, ConstraintFallbacks) {
    // A point on the axis: (1, 0, 0) for +z; the perpendicular (-y, x, 0) else;
    // (1, 0, 0) for -z, where that perpendicular vanishes.
    ExpectVec(ConstrainPoint(Vec4(0, 0, 1, 0), Vec4(0, 0, 1, 0)), 1, 0, 0);
    ExpectVec(ConstrainPoint(Vec4(0, 1, 0, 0), Vec4(0, 1, 0, 0)), -1, 0, 0);
    ExpectVec(ConstrainPoint(Vec4(0, 0, -1, 0), Vec4(0, 0, -1, 0)), 1, 0, 0);
    // A point behind is brought to the viewer's side.
    const Vec4 c = ConstrainPoint(Vec4(0.6f, 0, -0.8f, 0), Vec4(0, 1, 0, 0));
    ExpectVec(c, -0.6f, 0, 0.8f);
    ExpectVec(HalfCircleStart(Vec4(0, 0, 1, 0)), 0, 1, 0);
    ExpectVec(HalfCircleStart(Vec4(0, 0, -1, 0)), 1, 0, 0);
    ExpectVec(HalfCircleStart(Vec4(1, 0, 0, 0)), 0, -1, 0);
}

TEST(ArcBallTest, NearestAxisTiesKeepTheLowerIndexAndEmptySetsGive0) {
    const Vec4 axes[2] = {Vec4(1, 0, 0, 0), Vec4(0, 1, 0, 0)};
    EXPECT_EQ(0, NearestAxis(Vec4(0, 0, 1, 0), axes, 2));
    EXPECT_EQ(1, NearestAxis(Vec4(1, 0, 0, 0), axes, 2));
    EXPECT_EQ(0, NearestAxis(Vec4(1, 0, 0, 0), axes, 0));
}

TEST(ArcBallTest, BisectAndArcFromQuat) {
    ExpectVec(Bisect(Vec4(1, 0, 0, 0), Vec4(0, 1, 0, 0)), std::sqrt(0.5f),
              std::sqrt(0.5f), 0);
    ExpectVec(Bisect(Vec4(1, 0, 0, 0), Vec4(-1, 0, 0, 0)), 0, 0, 1);
    const Arc identity = ArcFromQuat(Quat{0, 0, 0, 1});
    ExpectVec(identity.from, 0, 1, 0);
    ExpectVec(identity.to, 0, 1, 0);
    const Arc negative = ArcFromQuat(Quat{0, 1, 0, -0.0001f});
    ExpectVec(negative.from, 1, 0, 0);  // (-q.y/s, q.x/s) negated for w < 0
}

TEST(ArcBallTest, AStaleAxisIndexCannotReadPastTheSet) {
    ArcBall b = Prepared();
    b.SelectAxes(ViewAxes);
    b.SetMouse(Mouse(0.53f, 0.53f));
    b.Update();
    ASSERT_EQ(2, b.axis_index);
    b.SelectAxes(FixedAxis);  // one axis; no idle update in between
    b.SetMouse(Mouse(0, 0));
    b.StartDrag();
    b.SetMouse(Mouse(0.2f, 0.1f));
    b.Update();
    EXPECT_TRUE(std::isfinite(b.rotation_now.w));
}

}  // namespace
}  // namespace lumo
