// The fitter's pieces: the light-position and manifest readers, the solver,
// and the same bytes for any number of threads.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bake/baked_slab.h"
#include "bake/direction_set.h"
#include "base/str_printf.h"
#include "fit/band_choice.h"
#include "fit/byte_error_sums.h"
#include "fit/capture.h"
#include "fit/fit_capture.h"
#include "fit/light_positions.h"
#include "fit/sh_fit.h"
#include "relight/slab_frame.h"
#include "testing/hsh_fit.h"
#include "testing/whole_fit_reference.h"
#include "tests/support/synthetic_capture.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using lumo::testing::ReadFileBytes;
using lumo::testing::TempDir;

TEST(LightPositionsTest, ReadsNamesWithSpacesNormalisesAndResolves) {
    TempDir dir;
    const std::string path = dir.Write(
        "sub/a.lp", "2\r\nmy photo 1.png  0 0 2\r\n/abs/p.tif -3 4 0\r\n\r\n\n");
    std::vector<LightPhoto> photos;
    ASSERT_TRUE(ReadLightPositions(path, photos).ok());
    ASSERT_EQ(2u, photos.size());
    EXPECT_EQ((std::filesystem::path(dir.File("sub")) / "my photo 1.png").string(),
              photos[0].path);
    EXPECT_EQ(0.0, photos[0].direction[0]);
    EXPECT_EQ(1.0, photos[0].direction[2]);
    EXPECT_EQ(2, photos[0].line);
    EXPECT_EQ("/abs/p.tif", photos[1].path);
    EXPECT_DOUBLE_EQ(-0.6, photos[1].direction[0]);
    EXPECT_DOUBLE_EQ(0.8, photos[1].direction[1]);
    EXPECT_EQ(3, photos[1].line);
}

// A listing made on another machine names its pictures by paths that only
// held there; a picture of the same file name beside the listing stands in
// for one, but never for a path that names something here, and a name found
// nowhere is reported as written.
TEST(LightPositionsTest, PathsWrittenElsewhereFindThePictureBesideTheListing) {
    TempDir dir;
    dir.Write("cap/IMG_0001.JPG", "x");
    dir.Write("cap/sub/IMG_0002.JPG", "x");
    dir.Write("elsewhere/IMG_0002.JPG", "x");
    const std::filesystem::path cap = dir.File("cap");
    const std::string elsewhere = dir.File("elsewhere/IMG_0002.JPG");
    struct Case {
        std::string written, found;
    } const cases[] = {
        {"C:\\dome\\jpeg-exports\\IMG_0001.JPG", (cap / "IMG_0001.JPG").string()},
        {"/home/someone/dome/IMG_0001.JPG", (cap / "IMG_0001.JPG").string()},
        {"jpeg-exports/IMG_0001.JPG", (cap / "IMG_0001.JPG").string()},
        {"sub/IMG_0002.JPG", (cap / "sub/IMG_0002.JPG").string()},
        {elsewhere, elsewhere},
        {"C:\\dome\\IMG_0003.JPG", (cap / "C:\\dome\\IMG_0003.JPG").string()},
        {"/nowhere/IMG_0003.JPG", "/nowhere/IMG_0003.JPG"},
        {"IMG_0003.JPG", (cap / "IMG_0003.JPG").string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        std::vector<LightPhoto> photos;
        ASSERT_TRUE(ParseLightPositions("1\n" + c.written + " 0 0 1\n",
                                        dir.File("cap/a.lp"), photos)
                        .ok());
        ASSERT_EQ(1u, photos.size());
        EXPECT_EQ(c.found, photos[0].path);
    }
}

TEST(LightPositionsTest, RefusesWhatItCannotTrust) {
    struct Case {
        const char* text;
        const char* why;
    };
    const Case cases[] = {
        {"", "1: expected the number of photographs"},
        {"two\na.png 0 0 1\n", "1: expected the number of photographs"},
        {"1.5\na.png 0 0 1\n", "1: expected the number of photographs"},
        {"-1\n", "1: expected the number of photographs"},
        {"1\na.png 0 1\n", "2: expected IMAGE X Y Z"},
        {"1\na.png 0 nan 1\n", "2: malformed number 'nan'"},
        {"1\na.png 0 1e999 1\n", "2: malformed number '1e999'"},
        {"2\na.png 0 0 1\nb.png 0 0,5 1\n", "3: malformed number '0,5'"},
        {"1\na.png 0 0 0\n", "2: zero direction"},
        {"2\na.png 0 0 1\n", "1: the count says 2 photographs but 1 lines follow"},
        {"1\na.png 0 0 1\n\nb.png 0 0 1\n",
         "4: the count says 1 photographs but 2 lines follow"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string path = dir.Write("x.lp", c.text);
        std::vector<LightPhoto> photos;
        EXPECT_EQ("[ReadLightPositions]: " + path + ":" + c.why + "\n",
                  ReadLightPositions(path, photos).message());
    }
    std::vector<LightPhoto> photos;
    EXPECT_EQ("[ReadLightPositions]: " + dir.File("none.lp") + ":0: cannot open\n",
              ReadLightPositions(dir.File("none.lp"), photos).message());
}

TEST(CaptureManifestTest, ReadsTheGridRowMajorAndResolvesPaths) {
    TempDir dir;
    const std::string path = dir.Write("m/cap.json",
                                       R"({"grid": [2, 1],
            "camera_plane": [[-1,-1,3],[1,-1,3],[1,1,3],[-1,1,3]],
            "image_plane": [[-1,-1,0],[1,-1,0],[1,1,0],[-1,1,0]],
            "cameras": [{"column": 1, "row": 0, "lp": "b/l.lp"},
                        {"column": 0, "row": 0, "lp": "/abs/a.lp"}]})");
    Capture c;
    ASSERT_TRUE(ReadCaptureManifest(path, c).ok());
    EXPECT_EQ(2, c.slab.columns);
    EXPECT_EQ(1, c.slab.rows);
    ASSERT_EQ(2u, c.cameras.size());
    EXPECT_EQ("/abs/a.lp", c.cameras[0].lp);
    EXPECT_EQ((std::filesystem::path(dir.File("m")) / "b/l.lp").string(),
              c.cameras[1].lp);
    EXPECT_EQ(1, c.cameras[1].column);
    EXPECT_EQ(3.0, c.slab.camera.corner[2].z);
}

TEST(CaptureManifestTest, RefusesAManifestThatContradictsItself) {
    const std::string planes =
        R"("camera_plane": [[-1,-1,3],[1,-1,3],[1,1,3],[-1,1,3]],
           "image_plane": [[-1,-1,0],[1,-1,0],[1,1,0],[-1,1,0]],)";
    const std::string cam = R"({"column": 0, "row": 0, "lp": "a.lp"})";
    std::string zeros = "[0";
    for (int i = 0; i < 2000; ++i)
        zeros += ",0";
    zeros += "]";
    struct Case {
        std::string text;
        std::string why;
    };
    const Case cases[] = {
        {"[1, 2]", "expected a JSON object"},
        {R"({"grid": [0, 1]})", "\"grid\" must be [COLUMNS, ROWS], each 1..999"},
        {R"({"grid": [1.5, 1]})", "\"grid\" must be [COLUMNS, ROWS], each 1..999"},
        {R"({"grid": [1, 1], "camera_plane": [[0,0,1]]})",
         "\"camera_plane\" must be four corners [x, y, z]"},
        {R"({"grid": [1, 1], "camera_plane": [[-1,-1,3],[1,-1,3],[1,1,3],[-1,1,3]],
             "image_plane": [[-1,-1,3],[1,-1,3],[1,1,3],[-1,1,3]]})",
         "the camera plane lies in the image plane"},
        {R"({"grid": [1, 1], )" + planes + R"( "cameras": {}})",
         "\"cameras\" must be an array"},
        {R"({"grid": [1, 1], )" + planes +
             R"( "cameras": [{"column": 0, "lp": "a.lp"}]})",
         "camera 0 must have an integer \"column\" and \"row\" and an \"lp\" path"},
        {R"({"grid": [1, 1], )" + planes + R"( "cameras": [)" + cam + "," + cam + "]}",
         "camera (0, 0) is listed twice"},
        {R"({"grid": [1, 2], )" + planes + R"( "cameras": [)" + cam + "]}",
         "camera (0, 1) is missing"},
        {R"({"grid": [1, 1], )" + planes +
             R"( "cameras": [{"column": -1, "row": 0, "lp": "a.lp"}]})",
         "camera 0 at column -1, row 0 lies outside the 1 x 1 grid"},
        // Text whose value would be many times its size, refused while read.
        {std::string(5000, '[') + std::string(5000, ']'), "nested more than 16 deep"},
        {zeros, "more than " + std::to_string(zeros.size() / 24) +
                    " elements in one array or object"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string path = dir.Write("m.json", c.text);
        Capture capture;
        EXPECT_EQ("[ReadCaptureManifest]: " + path + ": " + c.why + "\n",
                  ReadCaptureManifest(path, capture).message());
    }
}

TEST(CaptureTest, OneCameraSpansThePictureFacingTheCamera) {
    Capture c = SingleCameraCapture("x.lp");
    SetPhotoSize(c, 300, 200);
    const tool::BakeFrame f = tool::FrameOf(c.slab);
    EXPECT_EQ(1.0, f.s.x);
    EXPECT_EQ(1.0, f.t.y);
    EXPECT_EQ(1.0, f.normal.z);
    EXPECT_DOUBLE_EQ(1.2, c.slab.image.corner[1].x - c.slab.image.corner[0].x);
    EXPECT_DOUBLE_EQ(0.8, c.slab.image.corner[3].y - c.slab.image.corner[0].y);
}

// Directions and slab frame of the demo: the fit recovers coefficients it
// was given exactly when the data determine them, and stays bounded on a dome.
struct SolverFixture {
    std::unique_ptr<SlabRecord> record = std::make_unique<SlabRecord>();
    SolverFixture() { tool::FillSlabRecord(tool::DemoSlab(1, 8), "s", *record); }

    std::vector<float> Basis(const std::vector<tool::Vec3d>& dirs, int bands) {
        std::vector<const double*> ptrs;
        for (const tool::Vec3d& d : dirs)
            ptrs.push_back(&d.x);
        return BasisRows(*record, ptrs, bands);
    }
};

TEST(ShFitTest, RecoversCoefficientsOnTheSphereAndStaysBoundedOnADome) {
    SolverFixture fx;
    constexpr int kBands = 4, kTerms = 16;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> truth(kTerms);
    for (float& c : truth)
        c = u(rng);

    std::vector<tool::Vec3d> sphere = tool::SphereDirections(80);
    std::vector<tool::Vec3d> dome;
    for (const tool::Vec3d& d : tool::SphereDirections(160)) {
        if (d.z > 0) dome.push_back(d);
    }
    struct Case {
        const char* name;
        std::vector<tool::Vec3d>* dirs;
        double lambda;
        double tolerance;  // on the largest coefficient error
    };
    const Case cases[] = {{"sphere, no penalty", &sphere, 0.0, 1e-4},
                          {"sphere, default", &sphere, kDefaultFitLambda, 0.02},
                          {"dome, default", &dome, kDefaultFitLambda, 1e9}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = static_cast<int>(c.dirs->size());
        const std::vector<float> basis = fx.Basis(*c.dirs, kBands);
        std::vector<float> values(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k) {
            double v = 0;
            for (int i = 0; i < kTerms; ++i)
                v += double{basis[static_cast<size_t>(k * kTerms + i)]} * truth[i];
            values[static_cast<size_t>(k)] = static_cast<float>(v);
        }
        std::vector<float> X;
        ASSERT_TRUE(SolveFit(basis, n, kBands, c.lambda, X).ok());
        double worst = 0, residual = 0;
        std::vector<double> got(kTerms, 0.0);
        for (int i = 0; i < kTerms; ++i) {
            for (int k = 0; k < n; ++k)
                got[i] += double{X[static_cast<size_t>(k * kTerms + i)]} * values[k];
            worst = std::max(worst, std::fabs(got[i] - truth[i]));
        }
        for (int k = 0; k < n; ++k) {
            double v = 0;
            for (int i = 0; i < kTerms; ++i)
                v += double{basis[static_cast<size_t>(k * kTerms + i)]} * got[i];
            residual = std::max(residual, std::fabs(v - values[k]));
        }
        EXPECT_LT(worst, c.tolerance);
        // Whatever the coefficients, the fitted values stay close to the data.
        EXPECT_LT(residual, 0.05);
    }
}

TEST(ShFitTest, DirectionsThatDetermineNothingAreRefused) {
    SolverFixture fx;
    const std::vector<tool::Vec3d> same(20, tool::Vec3d(0.3, 0.4, 0.866));
    std::vector<float> X;
    EXPECT_EQ(
        "[FitCapture]: the light directions do not determine 3 bands; raise --lambda\n",
        SolveFit(fx.Basis(same, 3), 20, 3, 0.0, X).message());
    EXPECT_TRUE(SolveFit(fx.Basis(same, 3), 20, 3, 1e-3, X).ok());
}

// The fit's files are the same bytes whatever the number of threads; the
// picture is large enough for several column blocks.
TEST(FitCaptureTest, SameBytesForAnyNumberOfThreads) {
    TempDir dir;
    testing::SyntheticCapture cap;
    cap.width = 41;
    cap.height = 37;
    cap.photos = 30;
    const std::string lp = testing::WriteSyntheticCapture(cap, dir.File("cap"));
    ASSERT_FALSE(lp.empty());
    std::string first;
    for (int threads : {1, 2, 3}) {
        SCOPED_TRACE(threads);
        FitOptions o;
        o.threads = threads;
        o.holdout = 3;
        FitSummary summary;
        const std::string out = dir.File("out" + std::to_string(threads));
        ASSERT_TRUE(FitCapture(
                        SingleCameraCapture(lp), out, o, [](std::string_view) {}, summary)
                        .ok());
        const std::string bytes = ReadFileBytes(out + "/scene.0.0.urdf.sh") +
                                  ReadFileBytes(out + "/fit-report.json");
        if (first.empty()) first = bytes;
        EXPECT_TRUE(first == bytes);
        EXPECT_GT(summary.fit_psnr, 45.0);
    }
}

// The band choice's sample cameras: a quarter and three quarters along each
// grid direction, without repeats, row-major indices.
// The error sums are exactly those of one term at a time, each photograph's
// a chain in column order: for any number of photographs (whole groups of
// interleaved chains and the rest) and columns (whole chunks and the rest),
// values on the byte boundaries, negative, above the top and absent pixels.
TEST(ByteErrorSumsTest, EqualTheScalarChainsExactly) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> spread(-0.3f, 1.3f);
    for (int rows : {1, 7, 8, 9, 17}) {
        for (size_t n :
             {size_t{1}, size_t{255}, size_t{256}, size_t{257}, size_t{2049}}) {
            SCOPED_TRACE(StrPrintf("%d rows, %zu columns", rows, n));
            std::vector<std::vector<float>> model(static_cast<size_t>(rows)),
                values(static_cast<size_t>(rows));
            std::vector<uint8_t> present(n);
            for (size_t j = 0; j < n; ++j)
                present[j] = rng() % 5 != 0;
            for (int r = 0; r < rows; ++r) {
                for (size_t j = 0; j < n; ++j) {
                    const uint32_t kind = rng() % 6;
                    float m = spread(rng);
                    if (kind == 0) m = static_cast<float>(rng() % 256) / 255.0f;
                    if (kind == 1) m = 1e30f;
                    if (kind == 2) m = -0.0f;
                    model[static_cast<size_t>(r)].push_back(m);
                    values[static_cast<size_t>(r)].push_back(
                        static_cast<float>(rng() % 256) / 255.0f);
                }
            }
            std::vector<const float*> mp, vp;
            for (int r = 0; r < rows; ++r) {
                mp.push_back(model[static_cast<size_t>(r)].data());
                vp.push_back(values[static_cast<size_t>(r)].data());
            }
            std::vector<double> sums(static_cast<size_t>(rows), -1.0);
            ByteErrorSums(mp.data(), vp.data(), present.data(), n, rows, sums.data());
            for (int r = 0; r < rows; ++r) {
                double want = 0.0;
                for (size_t j = 0; j < n; ++j) {
                    const float m = mp[static_cast<size_t>(r)][j];
                    const float kept = present[j] && m > 0.0f ? m : 0.0f;
                    const double d =
                        static_cast<double>(ToByte(kept * 255.0f)) -
                        255.0 * static_cast<double>(vp[static_cast<size_t>(r)][j]);
                    want += d * d;
                }
                EXPECT_EQ(sums[static_cast<size_t>(r)], want) << "photograph " << r;
            }
        }
    }
}

TEST(BandChoiceTest, SamplesUpToFourCamerasSpreadOverTheGrid) {
    struct GridCase {
        int columns, rows;
        std::vector<int> want;
    };
    const GridCase cases[] = {
        {1, 1, {0}},    {2, 2, {0, 1, 2, 3}},     {3, 1, {0, 2}},
        {1, 4, {1, 3}}, {8, 8, {18, 22, 50, 54}}, {5, 3, {1, 3, 11, 13}},
    };
    for (const GridCase& c : cases) {
        SCOPED_TRACE(StrPrintf("%d x %d", c.columns, c.rows));
        EXPECT_EQ(c.want, ChoiceSampleCameras(c.columns, c.rows));
    }
}

// The yardstick's hemispherical harmonics are orthonormal over the upper
// hemisphere (a midpoint rule over theta and phi).
TEST(HshBasisTest, IsOrthonormalOverTheHemisphere) {
    const int terms = 16;
    const int nt = 200, np = 400;
    std::vector<double> gram(terms * terms, 0.0);
    for (int i = 0; i < nt; ++i) {
        const double t = (i + 0.5) * (M_PI / 2) / nt;
        for (int j = 0; j < np; ++j) {
            const double p = (j + 0.5) * 2 * M_PI / np;
            const double d[3] = {std::sin(t) * std::cos(p), std::sin(t) * std::sin(p),
                                 std::cos(t)};
            const std::vector<double> h = testing::HshBasis(d, terms);
            const double w = std::sin(t) * (M_PI / 2 / nt) * (2 * M_PI / np);
            for (int a = 0; a < terms; ++a) {
                for (int b = 0; b < terms; ++b)
                    gram[a * terms + b] += w * h[a] * h[b];
            }
        }
    }
    for (int a = 0; a < terms; ++a) {
        for (int b = 0; b < terms; ++b)
            EXPECT_NEAR(a == b ? 1.0 : 0.0, gram[a * terms + b], 1e-3) << a << "," << b;
    }
}

struct StreamCase {
    const char* name;
    int width, height, photos;
    ImageBits bits;
    const char* extension;
    int bands, holdout;
    float mask_below;  // 0: the black corner is absent; -1: every pixel present
};

// The streaming fit writes what the whole-image fit wrote (coefficient file,
// scene description and report) for every strip height and thread count:
// pictures narrower and wider than a column block (a block spanning many rows,
// a row spanning blocks), with and without absent pixels, held-out
// photographs, 8- and 16-bit and floating-point photographs.
TEST(FitCaptureTest, StreamingWritesTheWholeImageFitsBytes) {
    const StreamCase cases[] = {
        {"narrow, absent corner", 41, 37, 30, ImageBits::k8, "png", 4, 3, 0.0f},
        {"wide rows, all present", 700, 5, 20, ImageBits::k8, "png", 3, 0, -1.0f},
        {"16-bit, two bands", 23, 29, 12, ImageBits::k16, "png", 2, 2, 0.0f},
        {"jpeg, five bands", 64, 48, 40, ImageBits::k8, "jpg", 5, 4, 0.0f},
        {"floating point", 19, 13, 20, ImageBits::kFloat, "exr", 3, 2, 0.0f},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        testing::SyntheticCapture cap;
        cap.width = c.width;
        cap.height = c.height;
        cap.photos = c.photos;
        cap.bits = c.bits;
        cap.extension = c.extension;
        const std::string lp = testing::WriteSyntheticCapture(cap, dir.File("cap"));
        ASSERT_FALSE(lp.empty());
        FitOptions o;
        o.bands = c.bands;
        o.lambda = kDefaultFitLambda;
        o.holdout = c.holdout;
        o.mask_below = c.mask_below;
        FitSummary want_summary;
        ASSERT_TRUE(testing::WholeImageFitCapture(
                        SingleCameraCapture(lp), dir.File("ref"), o,
                        [](std::string_view) {}, want_summary)
                        .ok());
        const char* files[] = {"scene.0.0.urdf.sh", "scene.lid", "fit-report.json"};
        for (int strip : {1, 7, c.height}) {
            for (int threads : {1, 2}) {
                SCOPED_TRACE(StrPrintf("strip %d, threads %d", strip, threads));
                o.strip_rows = strip;
                o.threads = threads;
                FitSummary summary;
                const std::string out = dir.File("out");
                ASSERT_TRUE(
                    FitCapture(
                        SingleCameraCapture(lp), out, o, [](std::string_view) {}, summary)
                        .ok());
                for (const char* f : files) {
                    SCOPED_TRACE(f);
                    const std::string want = ReadFileBytes(dir.File("ref/") + f);
                    ASSERT_FALSE(want.empty());
                    EXPECT_TRUE(want == ReadFileBytes(out + "/" + f));
                }
                EXPECT_EQ(want_summary.fit_rms, summary.fit_rms);
                EXPECT_EQ(want_summary.holdout_rms, summary.holdout_rms);
                std::filesystem::remove_all(out);
            }
        }
    }
}

}  // namespace
}  // namespace lumo
