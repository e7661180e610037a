// The header checks of the picture wrapper: real pictures of every size lumo
// is meant for pass, headers that claim more than a picture may hold or more
// than their file can hold are refused, at the bounds exactly.
#include "io/image_limits.h"

#include <gtest/gtest.h>

#include <string>

namespace lumo {
namespace {

image_module::Header Header(int64_t w, int64_t h, int64_t c, const char* format,
                            const char* compression = "", int32_t bits = 8) {
    image_module::Header hd;
    hd.width = w;
    hd.height = h;
    hd.channels = c;
    hd.depth = 1;
    hd.file_bits = bits;
    hd.format = format;
    hd.compression = compression;
    return hd;
}

TEST(ImageLimitsTest, RealPicturesPass) {
    const struct {
        const char* what;
        image_module::Header header;
        uint64_t bytes;
    } cases[] = {
        {"24 MP JPEG", Header(6000, 4000, 3, "jpeg"), 4'000'000},
        {"50 MP JPEG", Header(8660, 5773, 3, "jpeg"), 9'000'000},
        {"50 MP 16-bit TIFF", Header(8660, 5773, 3, "tiff", "none", 16), 300'000'000},
        {"16384 x 8192 HDR map", Header(16384, 8192, 3, "hdr", "", 32), 300'000'000},
        {"16384 x 8192 RGBA OpenEXR", Header(16384, 8192, 4, "openexr", "piz", 16),
         100'000'000},
        {"32768 x 16384 HDR map", Header(32768, 16384, 3, "hdr", "", 32), 1'000'000'000},
        {"a blank PNG at deflate's limit", Header(4096, 4096, 3, "png"),
         4096 * (1 + 4096 * 3) / 1032},
        {"a blank 16384 x 8192 JPEG", Header(16384, 8192, 3, "jpeg"), 1000},
        {"an LZW TIFF (no bound)", Header(16384, 8192, 3, "tiff", "lzw"), 1000},
    };
    for (const auto& c : cases)
        EXPECT_EQ("", ImageHeaderRefusal(c.header, c.bytes)) << c.what;
}

TEST(ImageLimitsTest, ImpossibleHeadersAreRefused) {
    const std::string flat = "not a two-dimensional picture";
    auto volume = Header(4, 4, 3, "openexr");
    volume.depth = 4;
    const struct {
        const char* what;
        image_module::Header header;
        uint64_t bytes;
        std::string why;
    } cases[] = {
        {"no width", Header(0, 4, 3, "png"), 100, flat},
        {"no channels", Header(4, 4, 0, "png"), 100, flat},
        {"a volume", volume, 1000, flat},
        {"over the cap", Header(32769, 16384, 4, "jpeg"), 1 << 30,
         "32769 x 16384 pixels of 4 channels are more than the 2147483648 values a "
         "picture may "
         "have"},
        {"2^31 x 1 x 2", Header(int64_t{1} << 30, 2, 2, "jpeg"), 1 << 30,
         "1073741824 x 2 pixels of 2 channels are more than the 2147483648 values a "
         "picture "
         "may have"},
        {"width beyond ints", Header(int64_t{1} << 31, 1, 1, "jpeg"), 1 << 30,
         "2147483648 x 1 pixels of 1 channels are more than the 2147483648 values a "
         "picture "
         "may have"},
        {"PNG one byte short of deflate's limit", Header(4096, 4096, 3, "png"),
         4096 * (1 + 4096 * 3) / 1032 - 1,
         "its header claims 4096 x 4096 pixels of 3 channels, more than its 48773 bytes "
         "can "
         "hold"},
        {"uncompressed TIFF cut short", Header(100, 100, 3, "tiff", "none", 16), 59999,
         "its header claims 100 x 100 pixels of 3 channels, more than its 59999 bytes "
         "can hold"},
        {"PackBits TIFF", Header(1000, 1000, 1, "tiff", "packbits"), 15624,
         "its header claims 1000 x 1000 pixels of 1 channels, more than its 15624 bytes "
         "can "
         "hold"},
        {"uncompressed OpenEXR of halves", Header(100, 100, 4, "openexr", "none", 16),
         79999,
         "its header claims 100 x 100 pixels of 4 channels, more than its 79999 bytes "
         "can hold"},
        {"HDR", Header(1000, 1000, 3, "hdr", "", 32), 62499,
         "its header claims 1000 x 1000 pixels of 3 channels, more than its 62499 bytes "
         "can "
         "hold"},
        {"binary PPM", Header(100, 100, 3, "pnm"), 29999,
         "its header claims 100 x 100 pixels of 3 channels, more than its 29999 bytes "
         "can hold"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string got = ImageHeaderRefusal(c.header, c.bytes);
        if (c.why.empty()) {
            EXPECT_NE("", got);
        } else {
            EXPECT_EQ(c.why, got);
        }
    }
    // At the cap exactly, and the files that hold exactly enough, pass.
    EXPECT_EQ("", ImageHeaderRefusal(Header(32768, 16384, 4, "jpeg"), 1000));
    EXPECT_EQ("", ImageHeaderRefusal(Header(100, 100, 3, "tiff", "none", 16), 60000));
    EXPECT_EQ("", ImageHeaderRefusal(Header(1000, 1000, 3, "hdr", "", 32), 62500));
}

}  // namespace
}  // namespace lumo
