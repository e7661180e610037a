#include "tests/support/scene_fixture.h"

#include <gtest/gtest.h>

#include <sstream>

#include "base/str_printf.h"
#include "io/photo.h"
#include "io/sgi_writer.h"
#include "relight/brdf_writer.h"

namespace lumo::testing {
namespace {

// Y(0, 0): the band-0 basis value, the same in every direction.
constexpr double kY00 = 0.28209479177387814;

std::string Corners(const char* keyword, double z) {
    std::ostringstream t;
    t << keyword << "\n"
      << "-0.6 -0.6 " << z << " 1  0 0\n"
      << " 0.6 -0.6 " << z << " 1  1 0\n"
      << " 0.6  0.6 " << z << " 1  1 1\n"
      << "-0.6  0.6 " << z << " 1  0 1\n";
    return t.str();
}

std::string MaskBlock(const SlabFixture& s) {
    if (s.mask.empty()) return "";
    std::ostringstream t;
    t << "VIEW_ENABLE_MASK_BEGIN\n";
    for (int b = s.rows - 1; b >= 0; --b) {
        for (int a = 0; a < s.cols; ++a)
            t << s.mask[static_cast<size_t>(b * s.cols + a)] << ' ';
        t << "\n";
    }
    t << "VIEW_ENABLE_MASK_END\n";
    return t.str();
}

bool Enabled(const SlabFixture& s, int a, int b) {
    return s.mask.empty() || s.mask[static_cast<size_t>(b * s.cols + a)] != '0';
}

}  // namespace

std::string WriteBrdfSlab(const TempDir& dir, const SlabFixture& s,
                          const std::string& lid) {
    std::ostringstream t;
    t << "SLAB 0 " << s.base << "\nSAMPLES_UV " << s.cols << " " << s.rows
      << "\nSAMPLES_ST " << s.width << " " << s.height << "\nFORMAT BRDF\n"
      << Corners("SLAB_UV", 2) << Corners("SLAB_ST", 0) << MaskBlock(s);
    for (int b = 0; b < s.rows; ++b) {
        for (int a = 0; a < s.cols; ++a) {
            if (!Enabled(s, a, b)) continue;
            ShCoeffImage image(s.width, s.height, 2);
            const Rgb8 c = s.colour(a, b);
            for (int ch = 0; ch < 3; ++ch) {
                const float coeff[1] = {static_cast<float>((c[ch] + 0.5) / 255.0 / kY00)};
                for (int y = 0; y < s.height; ++y) {
                    for (int x = 0; x < s.width; ++x)
                        image.Set(ch, x, y, coeff);
                }
            }
            const std::string path =
                dir.File(StrPrintf("%s.%d.%d.urdf.sh", s.base.c_str(), a, b));
            const Status st = WriteBrdfFile(path.c_str(), image);
            EXPECT_TRUE(st.ok()) << st.message();
        }
    }
    return dir.Write(lid, t.str());
}

std::string WritePhotoSlab(const TempDir& dir, const SlabFixture& s, bool qr_grid,
                           const std::string& lid) {
    std::ostringstream t;
    t << "SLAB 0 " << s.base << "\n";
    if (qr_grid) {
        t << "SAMPLES_QR " << s.cols << " " << s.rows << "\n" << Corners("SLAB_QR", 2);
    } else {
        t << "SAMPLES_UV " << s.cols << " " << s.rows << "\n" << Corners("SLAB_UV", 2);
    }
    t << "SAMPLES_ST " << s.width << " " << s.height << "\nFORMAT RGB\n"
      << Corners("SLAB_ST", 0) << (qr_grid ? "" : MaskBlock(s));
    for (int b = 0; b < s.rows; ++b) {
        for (int a = 0; a < s.cols; ++a) {
            if (!qr_grid && !Enabled(s, a, b)) continue;
            Photo p;
            EXPECT_TRUE(p.Alloc(s.width, s.height).ok());
            const Rgb8 c = s.colour(a, b);
            for (size_t i = 0; i < p.pixels.size(); ++i) {
                p.pixels[i] = static_cast<uint8_t>(c[i % 3]);
            }
            const std::string path =
                dir.File(StrPrintf("%s.%02d.%02d.rgb", s.base.c_str(), a, b));
            const Status st = WriteSGIRGB(path.c_str(), p);
            EXPECT_TRUE(st.ok()) << st.message();
        }
    }
    return dir.Write(lid, t.str());
}

}  // namespace lumo::testing
