#include "relight/light_source.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "io/sgi_writer.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

// A slide projector's intensity toward d; the lookup must succeed.
Rgb Intensity(LightSrc& light, const Vec3& d, const MessageSink& report) {
    Rgb out;
    EXPECT_TRUE(light.GetIntenInDir(d, out, report).ok());
    return out;
}

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

void ExpectVec(const Vec3& want, const Vec3& got, float tol = 1e-6f) {
    EXPECT_NEAR(want.x, got.x, tol);
    EXPECT_NEAR(want.y, got.y, tol);
    EXPECT_NEAR(want.z, got.z, tol);
}

bool Finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// A w x h slide whose pixel (x, y) is (10x, 10y, 200).
Photo Slide(int32_t w, int32_t h) {
    Photo p;
    EXPECT_TRUE(p.Alloc(w, h).ok());
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* px = &p.pixels[3 * static_cast<size_t>(y * w + x)];
            px[0] = static_cast<uint8_t>(10 * x);
            px[1] = static_cast<uint8_t>(10 * y);
            px[2] = 200;
        }
    }
    return p;
}

// The projector of the worked example: at (0, 0, 3) aimed at the origin,
// 90 degree fields, a 4 x 4 slide.
LightSrc Projector() {
    LightSrc l;
    l.SetKind(SlideProjector);
    l.slidehangle = l.slidevangle = 90.0f;
    l.slide = Slide(4, 4);
    return l;
}

TEST(LightSrcTest, InitGivesTheDefaultWhiteDirectionalLight) {
    LightSrc l;
    l.kind = Point;
    l.color[0] = 0.2f;
    l.radius = 9;
    l.changed = 0;
    l.slidename[0] = 'x';
    l.slide = Slide(2, 2);
    l.Init();
    EXPECT_EQ(Directional, l.kind);
    EXPECT_EQ(1.0f, l.color[0]);
    EXPECT_EQ(1.0f, l.color[3]);
    ExpectVec({0, 0, -1}, l.direction);
    ExpectVec({0, 0, 3}, l.position);
    EXPECT_EQ(3.0f, l.radius);
    EXPECT_EQ(1, l.changed);
    EXPECT_STREQ("", l.slidename);
    EXPECT_EQ(30.0f, l.slidehangle);
    ExpectVec({0, 1, 0}, l.slideup);
    EXPECT_TRUE(l.slide.has_pixels());  // Init leaves the slide alone
}

TEST(LightSrcTest, PositionFollowsRadiusAndDirection) {
    LightSrc l;
    l.changed = 0;
    l.SetRadius(5);
    ExpectVec({0, 0, 5}, l.position);
    EXPECT_EQ(0, l.changed);  // the radius alone does not touch the slide frame
    l.SetDirection({1, 0, 0});
    ExpectVec({-5, 0, 0}, l.position);
    EXPECT_EQ(1, l.changed);
    const struct {
        const char* name;
        void (*set)(LightSrc&);
    } setters[] = {
        {"kind", [](LightSrc& x) { x.SetKind(Point); }},
        {"look-at",
         [](LightSrc& x) {
             x.SetSlideLookAt({1, 2, 3});
         }},
        {"up",
         [](LightSrc& x) {
             x.SetSlideUp({1, 0, 0});
         }},
    };
    for (const auto& s : setters) {
        l.changed = 0;
        s.set(l);
        EXPECT_EQ(1, l.changed) << s.name;
    }
}

TEST(LightSrcTest, ColorBytesAreTruncatedAndClamped) {
    LightSrc l;
    const struct {
        float value;
        int byte;
    } cases[] = {{1.5f, 255}, {-0.2f, 0}, {0.5f, 127}, {1.0f, 255}, {NAN, 0}};
    for (const auto& c : cases) {
        l.color[1] = c.value;
        EXPECT_EQ(c.byte, l.GetColorByte(1)) << c.value;
    }
    EXPECT_EQ(-1, l.GetColorByte(3));
    EXPECT_EQ(-1, l.GetColorByte(-1));
}

TEST(LightSrcTest, SlideFrameOfTheWorkedExample) {
    LightSrc l = Projector();
    l.UpdateSlideFrame(MessageSink());
    ExpectVec({0, 0, 2}, l.slidecenter);
    ExpectVec({0, 0, -1}, l.slidenormal);
    ExpectVec({0, 1, 0}, l.slideup);
    ExpectVec({1, 0, 0}, l.slidex);
    EXPECT_NEAR(2.0f, l.slidewidth, 1e-6);
    EXPECT_NEAR(2.0f, l.slideheight, 1e-6);
    EXPECT_EQ(0, l.changed);
    // Straight down the axis: the centre of the slide, s = t = 0.5, that is
    // between pixels (1, 1) and (2, 2) of the 4 x 4 slide: x = y = 2 exactly.
    const Rgb c = l.SlideIntensity({0, 0, -1});
    EXPECT_NEAR(20.0f / 255.0f, c.r, 1e-6);
    EXPECT_NEAR(20.0f / 255.0f, c.g, 1e-6);
    EXPECT_NEAR(200.0f / 255.0f, c.b, 1e-6);
}

TEST(LightSrcTest, DirectionsOffTheSlideOrWithinItsMarginGiveNoLight) {
    LightSrc l = Projector();
    l.UpdateSlideFrame(MessageSink());
    const float r = 1.0f / std::sqrt(2.0f);
    const struct {
        const char* name;
        Vec3 d;
        bool lit;
    } cases[] = {
        {"45 degrees to the side: the slide's edge", {r, 0, -r}, false},
        {"45 degrees up", {0, r, -r}, false},
        {"further off", {0.9f, 0, -0.43589f}, false},
        {"pointing away", {0, 0, 1}, false},
        {"along the slide plane", {1, 0, 0}, false},
        {"inside the margin", {0.44f, 0, -0.898f}, true},
    };
    for (const auto& c : cases) {
        const Rgb got = l.SlideIntensity(c.d);
        EXPECT_EQ(c.lit, got.r + got.g + got.b > 0.0f) << c.name;
    }
}

TEST(LightSrcTest, ColourScalesTheSlide) {
    LightSrc l = Projector();
    l.color[0] = 0.5f;
    l.color[2] = 0.0f;
    Rgb got;
    ASSERT_TRUE(l.GetIntenInDir({0, 0, -1}, got, MessageSink()).ok());
    EXPECT_NEAR(0.5f * 20.0f / 255.0f, got.r, 1e-6);
    EXPECT_EQ(0.0f, got.b);
}

TEST(LightSrcTest, UpVectorAlwaysRestartsFromWorldUp) {
    LightSrc l = Projector();
    l.SetSlideUp({1, 0, 0});
    std::string dump;
    Intensity(l, {0, 0, -1}, [&](std::string_view t) { dump += t; });
    ExpectVec({0, 1, 0}, l.slideup);
    EXPECT_NE(std::string::npos, dump.find("slideup:     0.000000 1.000000 0.000000\n"));
}

TEST(LightSrcTest, FrameIsPrintedOnceAtTheFirstLookupAfterAChange) {
    LightSrc l = Projector();
    std::snprintf(l.slidename, sizeof l.slidename, "%s", "proj.rgb");
    CaptureStdout();
    l.SetSlideLookAt({0, 0, 0});
    EXPECT_EQ("", GetCapturedStdout());  // not at the setter
    CaptureStdout();
    Intensity(l, {0, 0, -1}, WriteToStdout);
    Intensity(l, {0.1f, 0, -0.99f}, WriteToStdout);
    EXPECT_EQ(
        "slidename: proj.rgb\n"
        "light pos:   0.000000 0.000000 3.000000\n"
        "slidelookat: 0.000000 0.000000 0.000000\n"
        "slidecenter: 0.000000 0.000000 2.000000\n"
        "slidenormal: 0.000000 0.000000 -1.000000\n"
        "slideup:     0.000000 1.000000 0.000000\n"
        "slidex:      1.000000 -0.000000 0.000000\n"  // normal x up gives -0 in y
        "width: 2.000000  height: 2.000000\n"
        "slidehangle: 90.000000 slidevangle: 90.000000\n",
        GetCapturedStdout());
}

TEST(LightSrcTest, ProjectorsWithoutAFrameGiveNoLightAndStayFinite) {
    const struct {
        const char* name;
        Vec3 direction;
        Vec3 lookat;
    } cases[] = {
        {"look-at point on the light", {0, 0, -1}, {0, 0, 3}},
        {"axis straight down the y axis", {0, -1, 0}, {0, 0, 0}},
        {"axis straight up the y axis", {0, 1, 0}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LightSrc l = Projector();
        l.SetDirection(c.direction);
        l.SetSlideLookAt(c.lookat);
        const Rgb along = Intensity(l, c.direction, MessageSink());
        const Rgb down = Intensity(l, {0, 0, -1}, MessageSink());
        EXPECT_EQ(Rgb{}, along);
        EXPECT_EQ(Rgb{}, down);
        EXPECT_EQ(0, l.slidevalid);
        EXPECT_TRUE(Finite(l.slidenormal));
        EXPECT_TRUE(Finite(l.slideup));
        EXPECT_TRUE(Finite(l.slidex));
        EXPECT_TRUE(Finite(l.slidecenter));
    }
}

TEST(SampleSlideTest, BilinearInsideAndClampedAtTheLastColumnAndRow) {
    const Photo p = Slide(4, 3);
    // x = 1.5, y = 1: halfway between columns 1 and 2 of row 1.
    Rgb c = SampleSlide(p, 1.5f / 4, 1.0f / 3);
    EXPECT_NEAR(15.0f / 255.0f, c.r, 1e-6);
    EXPECT_NEAR(10.0f / 255.0f, c.g, 1e-5);
    // Last column: the right neighbour is the pixel itself, not the next row.
    c = SampleSlide(p, 3.5f / 4, 0.0f);
    EXPECT_NEAR(30.0f / 255.0f, c.r, 1e-6);
    EXPECT_NEAR(0.0f, c.g, 1e-6);
    // Last row: the lower neighbour is the row itself, not past the image.
    c = SampleSlide(p, 0.0f, 2.5f / 3);
    EXPECT_NEAR(20.0f / 255.0f, c.g, 1e-5);
    // A slide that failed to load gives no light.
    EXPECT_EQ(Rgb{}, SampleSlide(Photo(), 0.5f, 0.5f));
}

TEST(LightSrcTest, SlideNameLoadsTheSlideImage) {
    lumo::testing::TempDir dir;
    const Photo want = Slide(5, 3);
    const std::string path = dir.File("slide.rgb");
    ASSERT_TRUE(WriteSGIRGB(path.c_str(), want).ok());
    LightSrc l = Projector();
    l.slide.Reset();
    ASSERT_TRUE(l.SetSlideName(path).ok());
    EXPECT_EQ(path, l.GetSlideName());
    EXPECT_EQ(5, l.slide.width);
    EXPECT_EQ(3, l.slide.height);
    EXPECT_EQ(want.pixels, l.slide.pixels);

    // A slide that cannot be read is reported; the projector then gives no light.
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(l.SetSlideName(dir.File("missing.rgb")).ok());
    EXPECT_NE("", ::testing::internal::GetCapturedStderr());
    EXPECT_FALSE(l.slide.has_pixels());
    EXPECT_EQ(Rgb{}, Intensity(l, {0, 0, -1}, MessageSink()));

    // Names are cut to the record's 255 characters, never overflowing it.
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(l.SetSlideName(std::string(400, 'n')).ok());
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::string(255, 'n'), l.GetSlideName());
}

TEST(LightSrcTest, SlideOperationsOnOtherKindsFailWithTheirMessages) {
    LightSrc l;
    Rgb out{1.0f, 1.0f, 1.0f};
    EXPECT_EQ("[LightSrc::GetIntenInDir]: you are not using slide projector!!\n",
              l.GetIntenInDir({0, 0, -1}, out, MessageSink()).message());
    EXPECT_EQ((Rgb{1.0f, 1.0f, 1.0f}), out);
    EXPECT_EQ("This source is not a slide projector!!\n",
              l.SetSlideName("slide.rgb").message());
    l.SetKind(SlideProjector);
    EXPECT_EQ("This source is not a slide projector!!\n", l.SetSlideName("").message());
}

}  // namespace
}  // namespace lumo
