// The piecewise coefficient-file writer writes what WriteBrdfFile writes for
// the same coefficients, whatever order the rows come in and whichever
// pixels are absent.
#include "relight/brdf_stream_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "relight/brdf_writer.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::ReadFileBytes;
using lumo::testing::TempDir;

struct WriterCase {
    const char* name;
    int width, height, lcnt;
    int absent_every;  // 0: every pixel present; k: every k-th pixel absent in a channel
    int rows_per_call;
    bool shuffled;
};

TEST(BrdfStreamWriterTest, WritesWhatTheWholeImageWriterWrites) {
    const WriterCase cases[] = {
        {"all present, rows in order", 13, 9, 3, 0, 1, false},
        {"all present, strips shuffled", 13, 9, 2, 0, 4, true},
        {"absent pixels, one channel each", 17, 11, 4, 5, 3, true},
        {"every pixel absent in some channel", 8, 8, 1, 1, 8, false},
        {"one pixel", 1, 1, 5, 0, 1, false},
    };
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const int T = c.lcnt * c.lcnt;
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> value(-2.0f, 2.0f);
        ShCoeffImage image(c.width, c.height, c.lcnt);
        // Per channel, row-major: the coefficients and the present flags.
        std::vector<float> coeff[3];
        std::vector<uint8_t> present[3];
        for (int ch = 0; ch < 3; ++ch) {
            for (int y = 0; y < c.height; ++y) {
                for (int x = 0; x < c.width; ++x) {
                    std::vector<float> v(static_cast<size_t>(T));
                    for (float& f : v)
                        f = value(rng);
                    const int e = y * c.width + x;
                    const bool has =
                        c.absent_every == 0 || (e + ch) % c.absent_every != 0;
                    if (has) image.Set(ch, x, y, v);
                    coeff[ch].insert(coeff[ch].end(), v.begin(), v.end());
                    present[ch].push_back(has ? 1 : 0);
                }
            }
        }
        ASSERT_TRUE(WriteBrdfFile(dir.File("whole.urdf.sh").c_str(), image).ok());

        std::vector<int> starts;
        for (int y = 0; y < c.height; y += c.rows_per_call)
            starts.push_back(y);
        if (c.shuffled) std::shuffle(starts.begin(), starts.end(), rng);
        BrdfStreamWriter w;
        ASSERT_TRUE(w.Open(dir.File("stream.urdf.sh"), c.width, c.height, c.lcnt).ok());
        for (int y0 : starts) {
            const int y1 = std::min(c.height, y0 + c.rows_per_call);
            for (int ch = 0; ch < 3; ++ch) {
                const size_t at = static_cast<size_t>(y0) * static_cast<size_t>(c.width);
                ASSERT_TRUE(w.WriteRows(ch, y0, y1, coeff[ch].data() + at * T,
                                        present[ch].data() + at)
                                .ok());
            }
        }
        ASSERT_TRUE(w.Finish().ok());
        const std::string want = ReadFileBytes(dir.File("whole.urdf.sh"));
        ASSERT_FALSE(want.empty());
        EXPECT_TRUE(want == ReadFileBytes(dir.File("stream.urdf.sh")));
    }
}

TEST(BrdfStreamWriterTest, RefusesWhatItCannotWrite) {
    TempDir dir;
    BrdfStreamWriter w;
    EXPECT_EQ("[WriteBrdfFile]: cannot create " + dir.File("missing/x.urdf.sh") + "\n",
              w.Open(dir.File("missing/x.urdf.sh"), 4, 4, 2).message());
    BrdfStreamWriter v;
    ASSERT_TRUE(v.Open(dir.File("x.urdf.sh"), 4, 4, 2).ok());
    const std::vector<float> coeff(4 * 4 * 4, 0.0f);
    const std::vector<uint8_t> present(16, 1);
    EXPECT_EQ("[WriteBrdfFile]: cannot write\n",
              v.WriteRows(3, 0, 1, coeff.data(), present.data()).message());
    EXPECT_EQ("[WriteBrdfFile]: cannot write\n",
              v.WriteRows(0, 2, 5, coeff.data(), present.data()).message());
}

}  // namespace
}  // namespace lumo
