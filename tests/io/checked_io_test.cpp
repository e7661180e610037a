#include "io/checked_io.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/clock.h"

namespace lumo {
namespace {

// A stream over a copy of `bytes`, closed by the caller.
std::FILE* MemoryStream(const void* bytes, size_t size) {
    std::FILE* f = std::tmpfile();
    std::fwrite(bytes, 1, size, f);
    std::rewind(f);
    return f;
}

TEST(ByteSwapTest, ReversesEachElementInPlace) {
    uint8_t three[6] = {1, 2, 3, 4, 5, 6};
    cp_byteswap(three, 3, 2);  // element size 3: bytes 0 and 2 swap, byte 1 stays
    const uint8_t expected3[6] = {3, 2, 1, 6, 5, 4};
    EXPECT_EQ(0, std::memcmp(three, expected3, 6));

    uint8_t bytes[4] = {1, 2, 3, 4};
    cp_byteswap(bytes, 1, 4);
    cp_byteswap(bytes, 4, 0);
    const uint8_t unchanged[4] = {1, 2, 3, 4};
    EXPECT_EQ(0, std::memcmp(bytes, unchanged, 4));
}

TEST(CheckedReadTest, ShortReadConvertsOnlyTheWholeElementsRead) {
    const uint8_t file[10] = {0, 0, 0, 1, 0, 0, 1, 0, 0xAA, 0xBB};
    std::FILE* f = MemoryStream(file, sizeof file);
    uint32_t out[4] = {0x11111111, 0x22222222, 0x33333333, 0x44444444};
    EXPECT_EQ(2u, cp_fread(out, 4, 4, f));
    EXPECT_EQ(1u, out[0]);
    EXPECT_EQ(256u, out[1]);
    // The partly read third element and the fourth keep what they held.
    EXPECT_EQ(0x33333333u, out[2]);
    EXPECT_EQ(0x44444444u, out[3]);
    std::fclose(f);
}

TEST(CheckedReadTest, ElementSizeOneNeverReorders) {
    const uint8_t file[4] = {1, 2, 3, 4};
    std::FILE* f = MemoryStream(file, sizeof file);
    uint8_t out[4] = {};
    EXPECT_EQ(4u, cp_fread(out, 1, 4, f));
    EXPECT_EQ(0, std::memcmp(out, file, 4));
    std::fclose(f);
}

TEST(CheckedWriteTest, WritesBigEndianAndRestoresTheCallersBuffer) {
    std::FILE* f = std::tmpfile();
    uint16_t halves[2] = {0x0102, 0x0304};
    uint32_t word = 0x0A0B0C0D;
    EXPECT_EQ(2u, cp_fwrite(halves, 2, 2, f));
    EXPECT_EQ(1u, cp_fwrite(&word, 4, 1, f));
    EXPECT_EQ(0x0102, halves[0]);
    EXPECT_EQ(0x0304, halves[1]);
    EXPECT_EQ(0x0A0B0C0Du, word);
    std::rewind(f);
    uint8_t bytes[8] = {};
    ASSERT_EQ(8u, std::fread(bytes, 1, 8, f));
    const uint8_t expected[8] = {1, 2, 3, 4, 0x0A, 0x0B, 0x0C, 0x0D};
    EXPECT_EQ(0, std::memcmp(bytes, expected, 8));
    std::fclose(f);
}

TEST(CheckedIoDeathTest, ElementSizeZeroEndsTheProgram) {
    uint8_t buf[4] = {};
    EXPECT_EXIT(cp_fread(buf, 0, 1, stdin), ::testing::ExitedWithCode(1),
                "^\\[cp_fread\\]: fread size < 1\n$");
    EXPECT_EXIT(cp_fwrite(buf, 0, 1, stdout), ::testing::ExitedWithCode(1),
                "^\\[cp_fwrite\\]: fwrite size < 1\n$");
}

TEST(ClockTest, SecondsHaveAMillisecondFraction) {
    const double t = GetSeconds();
    EXPECT_GT(t, 1.7e9);  // after 2023
    const double ms = (t - static_cast<long long>(t)) * 1000.0;
    EXPECT_NEAR(ms, static_cast<double>(static_cast<long long>(ms + 0.5)), 1e-3);
}

}  // namespace
}  // namespace lumo
