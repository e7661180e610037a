#include "io/photo.h"

#include <gtest/gtest.h>

namespace lumo {
namespace {

// A photo whose byte i holds i, for telling rows apart.
Photo Numbered(int w, int h) {
    Photo p;
    EXPECT_TRUE(p.Alloc(w, h).ok());
    for (size_t i = 0; i < p.pixels.size(); ++i)
        p.pixels[i] = static_cast<uint8_t>(i);
    return p;
}

TEST(PhotoTest, AllocGivesZeroedPixelsAndKeepsTheWindow) {
    Photo p;
    p.x1 = 5;
    ASSERT_TRUE(p.Alloc(3, 2).ok());
    EXPECT_EQ(3, p.width);
    EXPECT_EQ(2, p.height);
    EXPECT_EQ(std::vector<uint8_t>(18, 0), p.pixels);
    EXPECT_EQ(5, p.x1);
}

TEST(PhotoTest, AllocRefusesImpossibleSizes) {
    Photo p;
    for (auto [w, h] :
         {std::pair{-1, 4}, std::pair{4, -1}, std::pair{0x7fffffff, 0x7fffffff}}) {
        const Status s = p.Alloc(w, h);
        EXPECT_FALSE(s.ok());
        EXPECT_EQ("[ReadSGIRGB]: no enough memory for buf\n", s.message());
    }
}

TEST(PhotoTest, InvertExchangesRowsAndKeepsTheMiddle) {
    Photo p = Numbered(2, 3);
    p.Invert();
    const std::vector<uint8_t> expected = {12, 13, 14, 15, 16, 17, 6, 7, 8,
                                           9,  10, 11, 0,  1,  2,  3, 4, 5};
    EXPECT_EQ(expected, p.pixels);

    Photo one = Numbered(4, 1);
    const std::vector<uint8_t> before = one.pixels;
    one.Invert();
    EXPECT_EQ(before, one.pixels);
}

TEST(PhotoTest, ClearZeroesAndResetEmpties) {
    Photo p = Numbered(2, 2);
    p.Clear();
    EXPECT_EQ(std::vector<uint8_t>(12, 0), p.pixels);
    p.Reset();
    EXPECT_FALSE(p.has_pixels());
    EXPECT_EQ(0, p.width);
}

}  // namespace
}  // namespace lumo
