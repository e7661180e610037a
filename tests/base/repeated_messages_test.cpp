// A message said many times is said once, as it is, and once more at the end
// with its count.
#include "base/repeated_messages.h"

#include <gtest/gtest.h>

#include <string>

namespace lumo {
namespace {

TEST(RepeatedMessagesTest, TheFirstGoesThroughAsItIsAndRepeatsAreCountedAtTheEnd) {
    std::string out;
    RepeatedMessages said([&](std::string_view t) { out += t; });
    said.Say("[Zfile::read]: Cannot open zfile\n");
    said.Say("other\n");
    for (int i = 0; i < 63; ++i)
        said.Say("[Zfile::read]: Cannot open zfile\n");
    EXPECT_EQ("[Zfile::read]: Cannot open zfile\nother\n", out);
    EXPECT_EQ(64u, said.Count("[Zfile::read]: Cannot open zfile\n"));
    said.Finish();
    // Only what came again is said again, with the count of all of them.
    EXPECT_EQ(
        "[Zfile::read]: Cannot open zfile\nother\n"
        "[Zfile::read]: Cannot open zfile (64 times)\n",
        out);
    // Finish forgets: the next one is new again.
    said.Say("other\n");
    said.Finish();
    EXPECT_EQ(0u, said.Count("other\n"));
    EXPECT_EQ(
        "[Zfile::read]: Cannot open zfile\nother\n"
        "[Zfile::read]: Cannot open zfile (64 times)\nother\n",
        out);
}

TEST(RepeatedMessagesTest, AnEmptySinkSaysNothing) {
    RepeatedMessages said{MessageSink()};
    said.Say("x\n");
    said.Say("x\n");
    EXPECT_EQ(2u, said.Count("x\n"));
    said.Finish();
}

}  // namespace
}  // namespace lumo
