// The import of PTM, HSH and plane-set pictures: the coefficients written,
// evaluated as the engine evaluates them, against the sources' own formulas
// (a PTM to the byte from three bands up, HSH within its reported error),
// the report, and a failed import that leaves nothing behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/file_ptr.h"
#include "fit/rti_import.h"
#include "fit/rti_model.h"
#include "io/hsh_file.h"
#include "io/hsh_writer.h"
#include "io/plane_set.h"
#include "io/plane_set_writer.h"
#include "io/ptm_file.h"
#include "io/ptm_writer.h"
#include "relight/brdf_file.h"
#include "relight/sh_basis.h"
#include "relight/slab_frame.h"
#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;
using lumo::testing::ReadFileBytes;
using lumo::testing::TempDir;

// Light directions to check, none of them among the projection's: a spiral
// over the hemisphere down to 5 degrees above the horizon.
std::vector<std::array<double, 3>> CheckDirections() {
    std::vector<std::array<double, 3>> out;
    for (int k = 0; k < 40; ++k) {
        const double z = 0.087 + (1.0 - 0.087) * k / 39.0;
        const double r = std::sqrt(1.0 - z * z);
        const double phi = 0.7 + 2.1 * k;
        out.push_back({r * std::cos(phi), r * std::sin(phi), z});
    }
    return out;
}

// An imported coefficient file, evaluated for a light towards `d` as the
// engine evaluates a directional light on a slab framed x, y, z: the byte of
// pixel (x, y) (y from the bottom) and channel c.
class Relit {
  public:
    explicit Relit(const std::string& path) {
        FilePtr f = OpenFile(path.c_str(), "rb");
        EXPECT_TRUE(f != nullptr) << path;
        if (f) {
            EXPECT_TRUE(ReadBrdfData(f.get(), data_, MessageSink()).ok());
        }
    }
    const BrdfFileData& data() const { return data_; }

    void Light(const std::array<double, 3>& d) {
        const Vec3 L = {static_cast<float>(d[0]), static_cast<float>(d[1]),
                        static_cast<float>(d[2])};
        const Vec3 n = {0, 0, 1}, s = {1, 0, 0}, t = {0, 1, 0};
        const ShAngles a = LightAngles(L, n, s, t);
        ASSERT_TRUE(EnsureShBands(data_.lcnt).ok());
        basis_.assign(static_cast<size_t>(data_.harcnt), 0.0f);
        EvalShBasis(a.cost, a.cosp, a.sinp, data_.lcnt - 1, basis_.data());
    }
    int Byte(int x, int y, int c) const {
        // Every pixel is present: its index in the block is its pixel index.
        const size_t e = static_cast<size_t>(y) * static_cast<size_t>(data_.width) +
                         static_cast<size_t>(x);
        const float* a = data_.CC[c].data() + e * static_cast<size_t>(data_.harcnt);
        float sum = 0.0f;
        for (int i = 0; i < data_.harcnt; ++i)
            sum += basis_[static_cast<size_t>(i)] * a[i];
        return ToByte((sum > 0.0f ? sum : 0.0f) * 255.0f);
    }

  private:
    BrdfFileData data_;
    std::vector<float> basis_;
};

int Clamp255(double v) {
    return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0)));
}

// The PTM's own evaluation for a light towards d: L per channel, or RGB * L
// / 255 for LRGB, clamped to 0..255.
int PtmByte(const PtmFile& p, int x, int y, int c, const std::array<double, 3>& d) {
    const double u = d[0], v = d[1];
    const double terms[6] = {u * u, v * v, u * v, u, v, 1.0};
    const int block = p.Blocks() == 3 ? c : 0;
    double L = 0.0;
    for (int i = 0; i < 6; ++i)
        L += static_cast<double>(p.Coefficient(block, x, y, i)) * terms[i];
    if (p.HasColour()) {
        const size_t px = static_cast<size_t>(y) * static_cast<size_t>(p.width) +
                          static_cast<size_t>(x);
        L = p.rgb[3 * px + static_cast<size_t>(c)] * L / 255.0;
    }
    return Clamp255(L);
}

PtmFile TestPtm(PtmFormat format, const char* version) {
    PtmFile p;
    p.version = version;
    p.format = format;
    p.width = 9;
    p.height = 7;
    const float scale[6] = {0.9f, 1.1f, 0.7f, 0.6f, 0.5f, 1.2f};
    const int bias[6] = {128, 128, 128, 128, 128, 0};
    std::copy(scale, scale + 6, p.scale);
    std::copy(bias, bias + 6, p.bias);
    p.coeff.resize(p.Pixels() * 6 * static_cast<size_t>(p.Blocks()));
    for (size_t k = 0; k < p.coeff.size(); ++k)
        p.coeff[k] =
            static_cast<uint8_t>(k % 6 == 5 ? 120 + (k * 7) % 100 : (k * 53) % 256);
    if (p.HasColour()) {
        p.rgb.resize(p.Pixels() * 3);
        for (size_t k = 0; k < p.rgb.size(); ++k)
            p.rgb[k] = static_cast<uint8_t>(60 + (k * 29) % 190);
    }
    return p;
}

nlohmann::json Report(const std::string& dir) {
    return nlohmann::json::parse(ReadFileBytes(dir + "/import-report.json"));
}

std::vector<std::string> Files(const std::string& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Every PTM format relights as the PTM evaluates, to the byte (a value on a
// rounding boundary may go either way: at most one off), from 3 bands up.
TEST(RtiImportTest, PtmRelightsAsItEvaluatesFromThreeBands) {
    const struct {
        PtmFormat format;
        const char* version;
    } formats[] = {{PtmFormat::kRgb, "PTM_1.2"},     {PtmFormat::kLrgb, "PTM_1.2"},
                   {PtmFormat::kLrgb, "PTM_1.1"},    {PtmFormat::kLum, "PTM_1.2"},
                   {PtmFormat::kJpegRgb, "PTM_1.2"}, {PtmFormat::kJpegLrgb, "PTM_1.2"}};
    for (const auto& f : formats) {
        const PtmFile ptm = TestPtm(f.format, f.version);
        TempDir dir;
        const std::string source = dir.File("map.ptm");
        ASSERT_TRUE(WritePtmFile(source, ptm).ok());
        for (int bands : {3, 4, 5}) {
            SCOPED_TRACE(std::string(PtmFormatName(f.format)) + " " + f.version + ", " +
                         std::to_string(bands) + " bands");
            const std::string out = dir.File("out" + std::to_string(bands));
            ImportOptions options;
            options.bands = bands;
            ImportSummary summary;
            const Status s = ImportRti(source, out, options, MessageSink(), summary);
            ASSERT_TRUE(s.ok()) << s.message();
            EXPECT_EQ((std::vector<std::string>{"import-report.json", "scene.0.0.urdf.sh",
                                                "scene.lid"}),
                      Files(out));
            EXPECT_LT(summary.rms, 1e-3);
            Relit relit(out + "/scene.0.0.urdf.sh");
            ASSERT_EQ(bands, relit.data().lcnt);
            int off = 0, worst = 0, total = 0;
            for (const auto& d : CheckDirections()) {
                relit.Light(d);
                for (int y = 0; y < ptm.height; ++y) {
                    for (int x = 0; x < ptm.width; ++x) {
                        for (int c = 0; c < 3; ++c) {
                            const int diff =
                                std::abs(relit.Byte(x, y, c) - PtmByte(ptm, x, y, c, d));
                            worst = std::max(worst, diff);
                            off += diff != 0;
                            ++total;
                        }
                    }
                }
            }
            EXPECT_LE(worst, 1);
            EXPECT_LT(off, total / 100) << off << " of " << total << " bytes one off";
        }
    }
}

// Two bands cannot hold a biquadratic: the report says how far off it is,
// and the figure is the relit bytes' own error.
TEST(RtiImportTest, ReportedErrorIsTheRelitError) {
    const PtmFile ptm = TestPtm(PtmFormat::kRgb, "PTM_1.2");
    TempDir dir;
    const std::string source = dir.File("map.ptm");
    ASSERT_TRUE(WritePtmFile(source, ptm).ok());
    ImportOptions options;
    options.bands = 2;
    ImportSummary summary;
    ASSERT_TRUE(ImportRti(source, dir.File("out"), options, MessageSink(), summary).ok());
    const nlohmann::json report = Report(dir.File("out"));
    EXPECT_EQ(2, report["bands"]);
    EXPECT_EQ("PTM_FORMAT_RGB", report["format"]);
    EXPECT_EQ(9, report["width"]);
    EXPECT_EQ(7, report["height"]);
    EXPECT_DOUBLE_EQ(summary.rms, report["conversion"]["rms"].get<double>());
    EXPECT_GT(summary.rms, 1.0);
    // Over the hemisphere, sampled evenly, the unclamped error of the relit
    // model is the reported one (clamping only brings bytes closer).
    Relit relit(dir.File("out") + "/scene.0.0.urdf.sh");
    double squared = 0.0, samples = 0.0;
    const int n = 600;
    for (int k = 0; k < n; ++k) {
        const double z = 1.0 - (k + 0.5) / n;
        const double r = std::sqrt(1.0 - z * z);
        const std::array<double, 3> d = {r * std::cos(2.39996 * k),
                                         r * std::sin(2.39996 * k), z};
        relit.Light(d);
        for (int y = 0; y < ptm.height; ++y) {
            for (int x = 0; x < ptm.width; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const double e = relit.Byte(x, y, c) - PtmByte(ptm, x, y, c, d);
                    squared += e * e;
                    samples += 1;
                }
            }
        }
    }
    EXPECT_LE(std::sqrt(squared / samples), summary.rms + 0.5);
}

HshFile TestHsh(int terms) {
    HshFile h;
    h.width = 6;
    h.height = 5;
    h.terms = terms;
    for (int k = 0; k < terms; ++k) {
        h.scale.push_back(k == 0 ? 1.2f : 0.6f);
        h.bias.push_back(k == 0 ? 0.3f : -0.3f);
    }
    h.bytes.resize(30 * 3 * static_cast<size_t>(terms));
    for (size_t i = 0; i < h.bytes.size(); ++i)
        h.bytes[i] = static_cast<uint8_t>(i % static_cast<size_t>(terms) == 0
                                              ? 150 + i % 80
                                              : 128 + (i * 13) % 60 - 30);
    return h;
}

// HSH: relit within the conversion error the report gives; more bands, less
// error. The file's top row is the picture's top.
TEST(RtiImportTest, HshRelightsWithinItsReportedError) {
    for (int terms : {4, 9}) {
        const HshFile hsh = TestHsh(terms);
        TempDir dir;
        const std::string source = dir.File("map.rti");
        ASSERT_TRUE(WriteHshFile(source, hsh).ok());
        double previous = 1e9;
        for (int bands : {3, 4, 5}) {
            SCOPED_TRACE(std::to_string(terms) + " terms, " + std::to_string(bands) +
                         " bands");
            const std::string out = dir.File("out" + std::to_string(bands));
            ImportOptions options;
            options.bands = bands;
            ImportSummary summary;
            ASSERT_TRUE(ImportRti(source, out, options, MessageSink(), summary).ok());
            EXPECT_LE(summary.rms, previous);
            previous = summary.rms;
            Relit relit(out + "/scene.0.0.urdf.sh");
            double squared = 0.0, samples = 0.0;
            for (const auto& d : CheckDirections()) {
                relit.Light(d);
                double h[9];
                HshBasis(d.data(), terms, h);
                for (int y = 0; y < hsh.height; ++y) {
                    for (int x = 0; x < hsh.width; ++x) {
                        for (int c = 0; c < 3; ++c) {
                            double v = 0.0;
                            for (int k = 0; k < terms; ++k)
                                v += hsh.Term(x, hsh.height - 1 - y, c, k) * h[k];
                            const double e = relit.Byte(x, y, c) - Clamp255(255.0 * v);
                            squared += e * e;
                            samples += 1;
                        }
                    }
                }
            }
            EXPECT_LE(std::sqrt(squared / samples), summary.rms + 0.75) << summary.rms;
        }
    }
}

// Plane sets: a PTM layout relights exactly as its terms evaluate, an HSH
// layout as its file; both with the pictures' top row on top.
TEST(RtiImportTest, PlaneSetsRelightAsTheirTermsEvaluate) {
    const struct {
        const char* type;
        const char* colorspace;
        int planes;
    } cases[] = {{"ptm", "rgb", 18}, {"ptm", "lrgb", 9}, {"hsh", "rgb", 27}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.colorspace);
        TempDir dir;
        PlaneSetInfo info;
        info.width = 7;
        info.height = 4;
        info.format = "png";
        info.type = c.type;
        info.colorspace = c.colorspace;
        info.nplanes = c.planes;
        for (int k = 0; k < c.planes; ++k) {
            const bool constant =
                std::string(c.colorspace) == "lrgb" ? (k < 3 || k == 3) : k < 3;
            info.scale.push_back(constant ? 1.0f : 0.4f);
            info.bias.push_back(constant ? 0.0f : 0.5f);
        }
        std::vector<uint8_t> bytes(28 * static_cast<size_t>(c.planes));
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i < 84 ? 90 + (i * 7) % 150 : (i * 37) % 256);
        ASSERT_TRUE(WritePlaneSet(dir.File("set"), info, bytes).ok());
        ImportOptions options;
        options.bands = 4;
        ImportSummary summary;
        const Status s = ImportRti(dir.File("set/info.json"), dir.File("out"), options,
                                   MessageSink(), summary);
        ASSERT_TRUE(s.ok()) << s.message();
        PlaneSet set;
        ASSERT_TRUE(ReadPlaneSet(dir.File("set/info.json"), set).ok());
        RtiModel model;
        ASSERT_TRUE(LoadRtiModel(dir.File("set/info.json"), model).ok());
        const bool hsh = std::string(c.type) == "hsh";
        if (!hsh) {
            EXPECT_LT(summary.rms, 1e-3);
        }
        Relit relit(dir.File("out") + "/scene.0.0.urdf.sh");
        int worst = 0;
        for (const auto& d : CheckDirections()) {
            relit.Light(d);
            const double u = d[0], v = d[1];
            const double ptm_terms[6] = {1, u, v, u * u, u * v, v * v};
            double h[9];
            HshBasis(d.data(), 9, h);
            for (int y = 0; y < info.height; ++y) {
                const int row = info.height - 1 - y;
                for (int x = 0; x < info.width; ++x) {
                    for (int ch = 0; ch < 3; ++ch) {
                        double value = 0.0;
                        if (hsh) {
                            for (int k = 0; k < 9; ++k)
                                value += set.Value(3 * k + ch, x, row) * h[k];
                        } else if (std::string(c.colorspace) == "lrgb") {
                            for (int k = 0; k < 6; ++k)
                                value += set.Value(3 + k, x, row) * ptm_terms[k];
                            value *= set.Value(ch, x, row);
                        } else {
                            for (int k = 0; k < 6; ++k)
                                value += set.Value(3 * k + ch, x, row) * ptm_terms[k];
                        }
                        EXPECT_NEAR(value, model.Value(x, y, ch, d.data()), 1e-5);
                        worst = std::max(worst, std::abs(relit.Byte(x, y, ch) -
                                                         Clamp255(255.0 * value)));
                    }
                }
            }
        }
        if (!hsh) {
            EXPECT_LE(worst, 1);
        }
    }
}

// A source that cannot be read writes nothing: not even the folder.
TEST(RtiImportTest, FailedImportLeavesNothing) {
    TempDir dir;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodePtm(TestPtm(PtmFormat::kRgb, "PTM_1.2"), {}, bytes).ok());
    bytes.resize(bytes.size() / 2);
    const std::string source =
        dir.Write("cut.ptm", std::string(bytes.begin(), bytes.end()));
    ImportSummary summary;
    const Status s = ImportRti(source, dir.File("out"), {}, MessageSink(), summary);
    EXPECT_EQ("[ReadPtm]: " + source + ": size 9 x 7 does not fit the file\n",
              s.message());
    EXPECT_FALSE(fs::exists(dir.File("out")));
    EXPECT_EQ("[ImportRti]: " + dir.File("x.tif") +
                  ": expected a .ptm, an .rti or a plane set's info.json\n",
              ImportRti(dir.File("x.tif"), dir.File("out"), {}, MessageSink(), summary)
                  .message());
}

}  // namespace
}  // namespace lumo
