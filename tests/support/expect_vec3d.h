// Component-wise comparison of the baker's double-precision vectors.
#pragma once

#include <gtest/gtest.h>

#include "bake/vec3d.h"

// In the baker's namespace, beside Vec3d, so that the bake tests (which use
// gtest's `testing::` unqualified) see no lumo::testing.
namespace lumo::tool {

// Each of x, y and z of `got` within `tol` of `want`'s.
inline void ExpectNear(const Vec3d& want, const Vec3d& got, double tol) {
    EXPECT_NEAR(want.x, got.x, tol);
    EXPECT_NEAR(want.y, got.y, tol);
    EXPECT_NEAR(want.z, got.z, tol);
}

}  // namespace lumo::tool
