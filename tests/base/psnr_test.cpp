#include "base/psnr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace lumo {
namespace {

TEST(PsnrTest, FollowsTheMeanSquaredErrorAndCapsIdenticalPictures) {
    const std::vector<uint8_t> a = {0, 10, 200, 255};
    std::vector<uint8_t> b = a;
    EXPECT_EQ(kPsnrCap, Psnr(a, b));
    b[1] = 12;  // one error of 2 over 4 values: mse 1
    EXPECT_DOUBLE_EQ(4.0, SquaredError(a, b));
    EXPECT_DOUBLE_EQ(10.0 * std::log10(255.0 * 255.0), Psnr(a, b));
    EXPECT_EQ(0.0, Psnr(a, std::vector<uint8_t>(3)));  // sizes differ
    EXPECT_EQ(0.0, Psnr({}, {}));
    EXPECT_EQ(kPsnrCap, PsnrFromMse(0.0));
}

}  // namespace
}  // namespace lumo
