#include "base/lenient_number.h"

#include <gtest/gtest.h>

namespace lumo {
namespace {

TEST(LenientNumberTest, IntegersReadTheLeadingSignAndDigits) {
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"-7", -7},
        {"+3", 3},
        {"4.5", 4},
        {"-", 0},
        {" 5", 0},
        {"0x10", 0},
        {"007", 7},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
        {"-2147483648", -2147483647 - 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.value, LenientInt(c.text)) << '"' << c.text << '"';
}

TEST(LenientNumberTest, RealsReadTheLeadingDecimalNumber) {
    struct Case {
        const char* text;
        float value;
    } cases[] = {
        {"2.5e1x", 25.0f},  {".5", 0.5f},    {"1e", 1.0f},    {"1e+", 1.0f},
        {"-3.25", -3.25f},  {"abc", 0.0f},   {"", 0.0f},      {".", 0.0f},
        {"inf", 0.0f},      {"nan", 0.0f},   {"0x1p3", 0.0f}, {"7,5", 7.0f},
        {"1.5E-2", 0.015f}, {"+.25", 0.25f},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.value, LenientFloat(c.text)) << '"' << c.text << '"';
}

}  // namespace
}  // namespace lumo
