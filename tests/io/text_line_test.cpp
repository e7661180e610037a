#include "io/text_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace lumo {
namespace {

struct Line {
    std::string text;
    bool at_eof;
    bool operator==(const Line&) const = default;
};

std::vector<Line> ReadAll(const std::string& contents, TextLineOptions options) {
    std::FILE* f = std::tmpfile();
    std::fwrite(contents.data(), 1, contents.size(), f);
    std::rewind(f);
    std::vector<Line> lines;
    std::string line;
    bool at_eof = false;
    while (ReadTextLine(f, options, line, at_eof))
        lines.push_back({line, at_eof});
    std::fclose(f);
    return lines;
}

TEST(TextLineTest, SplitsLinesKeepingLineFeedsAndFlagsALastLineWithoutOne) {
    EXPECT_EQ((std::vector<Line>{{"a b\n", false}, {"\n", false}, {"c", true}}),
              ReadAll("a b\n\nc", {}));
    EXPECT_TRUE(ReadAll("", {}).empty());
}

TEST(TextLineTest, LongLinesContinueAsTheNextLine) {
    EXPECT_EQ((std::vector<Line>{{"abc", false}, {"de\n", false}}),
              ReadAll("abcde\n", {.max_chars = 3}));
}

TEST(TextLineTest, TextModeDropsOnlyACarriageReturnBeforeALineFeed) {
    EXPECT_EQ((std::vector<Line>{{"a\n", false}, {"b\rc\n", false}}),
              ReadAll("a\r\nb\rc\r\n", {.drop_cr = true}));
    EXPECT_EQ((std::vector<Line>{{"a\r\n", false}}),
              ReadAll("a\r\n", {.drop_cr = false}));
}

}  // namespace
}  // namespace lumo
