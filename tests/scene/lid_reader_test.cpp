#include "scene/lid_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace lumo {
namespace {

using Bytes = std::vector<uint8_t>;

// Parses `text` as a scene description into a fresh LidInfo.
Status Parse(const std::string& text, LidInfo& info) {
    std::FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    Status s = ReadLidStream(f, info);
    std::fclose(f);
    return s;
}

std::unique_ptr<LidInfo> ParseOk(const std::string& text) {
    auto info = std::make_unique<LidInfo>();
    const Status s = Parse(text, *info);
    EXPECT_TRUE(s.ok()) << s.message();
    return info;
}

constexpr char kFullSlab[] =
    "SLAB 0 data/obj\n"
    "SAMPLES_UV 2 2\n"
    "SAMPLES_ST 64 64\n"
    "FORMAT BRDF\n"
    "SLAB_UV\n"
    "-1 -1 2 1  0 0\n"
    "1 -1 2 1  1 0\n"
    "1 1 2 1  1 1\n"
    "-1 1 2 1  0 1\n"
    "SLAB_ST\n"
    "-0.5 -0.5 0 1  0 0\n"
    "0.5 -0.5 0 1  1 0\n"
    "0.5 0.5 0 1  1 1\n"
    "-0.5 0.5 0 1  0 1\n"
    "VIEW_ENABLE_MASK_BEGIN\n"
    "1 1\n"
    "1 0\n"
    "VIEW_ENABLE_MASK_END\n";

struct GoodCase {
    const char* name;
    std::string text;
    std::function<void(const LidInfo&)> check;
};

const SlabRecord& Slab0(const LidInfo& info) {
    return info.slabs[0];
}

TEST(LidReaderTest, ParsesTheKeywordsAndBlocks) {
    const GoodCase cases[] = {
        {"empty file declares nothing", "",
         [](const LidInfo& i) {
             EXPECT_EQ(0, i.slab_count);
             EXPECT_EQ(kSceneNone, i.kind);
         }},
        {"complete slab with corners and mask", kFullSlab,
         [](const LidInfo& i) {
             EXPECT_EQ(1, i.slab_count);
             EXPECT_EQ(kSceneSlab, i.kind);
             const SlabRecord& s = Slab0(i);
             EXPECT_STREQ("data/obj", s.name);
             EXPECT_EQ(kFormatBRDF, s.format);
             EXPECT_EQ(2, s.samples_u);
             EXPECT_EQ(2, s.samples_v);
             EXPECT_EQ(64, s.samples_s);
             EXPECT_EQ(64, s.samples_t);
             EXPECT_EQ(1.0f, s.corner_vert[kPlaneUV][1].x);
             EXPECT_EQ(2.0f, s.corner_vert[kPlaneUV][2].z);
             EXPECT_EQ(1.0f, s.corner_vert[kPlaneUV][3].w);
             EXPECT_EQ(1.0f, s.corner_pair[kPlaneUV][2][1]);
             EXPECT_EQ(-0.5f, s.corner_vert[kPlaneST][0].x);
             EXPECT_EQ(0.0f, s.corner_vert[kPlaneQR][0].x);  // no QR block
             // The file lists the top row (v = 1) first; the array starts at v = 0.
             EXPECT_EQ((Bytes{1, 0, 1, 1}), s.viewenablemask[0]);
             EXPECT_TRUE(s.viewenablemask[1].empty());
         }},
        {"several keywords on one line", "SLAB 3 x\nSAMPLES_UV 4 3 SAMPLES_ST 64 32\n",
         [](const LidInfo& i) {
             EXPECT_EQ(3, Slab0(i).slab_number);
             EXPECT_EQ(4, Slab0(i).samples_u);
             EXPECT_EQ(3, Slab0(i).samples_v);
             EXPECT_EQ(64, Slab0(i).samples_s);
             EXPECT_EQ(32, Slab0(i).samples_t);
             EXPECT_EQ(Bytes(12, 1), Slab0(i).viewenablemask[0]);
         }},
        {"a # token ends the line", "SLAB 0 x\nSAMPLES_UV 4 3 # SAMPLES_ST 64 64\n",
         [](const LidInfo& i) {
             EXPECT_EQ(4, Slab0(i).samples_u);
             EXPECT_EQ(0, Slab0(i).samples_s);
         }},
        {"commented-out keyword lines set nothing",
         "SLAB 0 x\n#SAMPLES_UV 4 3\n# SAMPLES_ST 4 3\n\n   \n",
         [](const LidInfo& i) {
             EXPECT_EQ(0, Slab0(i).samples_u);
             EXPECT_EQ(0, Slab0(i).samples_s);
         }},
        {"mask rows are listed top row first",
         "SLAB 0 x\nSAMPLES_UV 4 2\nVIEW_ENABLE_MASK_BEGIN\n1 1 0 1\n0 1 1 1\nEND\n",
         [](const LidInfo& i) {
             EXPECT_EQ((Bytes{0, 1, 1, 1, 1, 1, 0, 1}), Slab0(i).viewenablemask[0]);
         }},
        {"mask values other than 0 enable, extra tokens are ignored",
         "SLAB 0 x\nSAMPLES_UV 2 1\nVIEW_ENABLE_MASK_BEGIN\n7 0 0 0\nEND\nSAMPLES_ST 5 "
         "6\n",
         [](const LidInfo& i) {
             EXPECT_EQ((Bytes{1, 0}), Slab0(i).viewenablemask[0]);
             EXPECT_EQ(5, Slab0(i).samples_s);  // reading resumes after the closing line
         }},
        {"a short mask row leaves its missing cameras enabled",
         "SLAB 0 x\nSAMPLES_UV 3 1\nVIEW_ENABLE_MASK_BEGIN\n0\nEND\n",
         [](const LidInfo& i) {
             EXPECT_EQ((Bytes{0, 1, 1}), Slab0(i).viewenablemask[0]);
         }},
        {"a last mask row without a line feed is not applied",
         "SLAB 0 x\nSAMPLES_UV 2 2\nVIEW_ENABLE_MASK_BEGIN\n0 0\n0 0",
         [](const LidInfo& i) {
             EXPECT_EQ((Bytes{1, 1, 0, 0}), Slab0(i).viewenablemask[0]);
         }},
        {"the rest of a block keyword's line is ignored",
         "SLAB 0 x\nSLAB_ST SAMPLES_ST 9 9\n1 2 3 4 5 6\n1 2 3 4\n\n7\n",
         [](const LidInfo& i) {
             const SlabRecord& s = Slab0(i);
             EXPECT_EQ(0, s.samples_s);
             EXPECT_EQ(6.0f, s.corner_pair[kPlaneST][0][1]);
             EXPECT_EQ(4.0f, s.corner_vert[kPlaneST][1].w);
             EXPECT_EQ(0.0f, s.corner_pair[kPlaneST][1][0]);  // missing numbers stay
             EXPECT_EQ(0.0f, s.corner_vert[kPlaneST][2].x);
             EXPECT_EQ(7.0f, s.corner_vert[kPlaneST][3].x);
         }},
        {"a corner block cut short by the end of the file",
         "SLAB 0 x\nSLAB_UV\n1 1 1 1\n",
         [](const LidInfo& i) {
             EXPECT_EQ(1.0f, Slab0(i).corner_vert[kPlaneUV][0].z);
             EXPECT_EQ(0.0f, Slab0(i).corner_vert[kPlaneUV][1].z);
         }},
        {"FORMAT before SLAB and unknown formats change nothing",
         "FORMAT BRDF\nSLAB 0 x\nFORMAT JPEG\n",
         [](const LidInfo& i) { EXPECT_EQ(kFormatRGB, Slab0(i).format); }},
        {"FORMAT RGB after BRDF", "SLAB 0 x\nFORMAT BRDF\nFORMAT RGB\n",
         [](const LidInfo& i) { EXPECT_EQ(kFormatRGB, Slab0(i).format); }},
        {"lenient numbers",
         "SLAB 4.5 x\nSAMPLES_UV 4.9 3abc\nDCT_QUANT_BIT_RATE 2.5e1x\n",
         [](const LidInfo& i) {
             EXPECT_EQ(4, Slab0(i).slab_number);
             EXPECT_EQ(4, Slab0(i).samples_u);
             EXPECT_EQ(3, Slab0(i).samples_v);
             EXPECT_EQ(25.0f, Slab0(i).dct_quant_bit_rate);
         }},
        {"a repeated SAMPLES_UV makes a fresh all-enabled mask",
         "SLAB 0 x\nSAMPLES_UV 2 1\nVIEW_ENABLE_MASK_BEGIN\n0 0\nE\nSAMPLES_UV 3 1\n",
         [](const LidInfo& i) {
             EXPECT_EQ((Bytes{1, 1, 1}), Slab0(i).viewenablemask[0]);
         }},
        {"QR grid and stored fields",
         "SLAB 0 x\nSAMPLES_QR 2 3\nSAMPLES_THETA_PHI 8 16\nSAMPLES_INTENSITY 0.75\n"
         "SAMPLES_SPHERHARMONICS 25\n",
         [](const LidInfo& i) {
             const SlabRecord& s = Slab0(i);
             EXPECT_EQ(Bytes(6, 1), s.viewenablemask[1]);
             EXPECT_EQ(8, s.samples_theta);
             EXPECT_EQ(16, s.samples_phi);
             EXPECT_EQ(0.75f, s.samples_intensity);
             EXPECT_EQ(25, s.sh_count);
             EXPECT_EQ(3.0f, s.dct_quant_bit_rate);  // default
         }},
        {"a 300-character name keeps its first 255 characters",
         "SLAB 0 " + std::string(300, 'n') + "\n",
         [](const LidInfo& i) { EXPECT_EQ(std::string(255, 'n'), Slab0(i).name); }},
        {"carriage returns before line feeds are dropped", "SLAB 0 x\r\nFORMAT BRDF\r\n",
         [](const LidInfo& i) {
             EXPECT_STREQ("x", Slab0(i).name);
             EXPECT_EQ(kFormatBRDF, Slab0(i).format);
         }},
        {"a last keyword line without a line feed is read once",
         "SLAB 0 x\nSAMPLES_ST 8 9",
         [](const LidInfo& i) { EXPECT_EQ(9, Slab0(i).samples_t); }},
        {"a keyword with missing arguments is skipped",
         "SLAB 0 x\nSAMPLES_UV 4\nSAMPLES_ST 2\n",
         [](const LidInfo& i) {
             EXPECT_EQ(0, Slab0(i).samples_u);
             EXPECT_TRUE(Slab0(i).viewenablemask[0].empty());
             EXPECT_EQ(0, Slab0(i).samples_s);
         }},
        {"slab keywords before any SLAB line are skipped",
         "SAMPLES_UV 4 4\nSLAB_UV\n9 9 9 9\nSAMPLES_INTENSITY 3\nSLAB 0 x\n",
         [](const LidInfo& i) {
             EXPECT_EQ(0, Slab0(i).samples_u);
             EXPECT_EQ(0.0f, Slab0(i).corner_vert[kPlaneUV][0].x);
             EXPECT_EQ(0.0f, Slab0(i).samples_intensity);
         }},
        {"SLAB resets the sample counts", "SLAB 0 x\n",
         [](const LidInfo& i) {
             EXPECT_EQ(0, Slab0(i).samples_q);
             EXPECT_EQ(kFormatRGB, Slab0(i).format);
         }},
        {"panorama with its fields",
         "PANORAMA 7 pano\nCYLINDER_RADIUS_HEIGHT 2 3\nBOUNDARY_ANGLE 30\n"
         "PANORAMA_IMAGE_WIDTH_HEIGHT 640 480\nSAMPLES_SPHERHARMONICS "
         "9\nDCT_QUANT_BIT_RATE 2\n",
         [](const LidInfo& i) {
             EXPECT_EQ(kScenePanorama, i.kind);
             EXPECT_EQ(0, i.slab_count);
             const PanoramaRecord& p = i.panorama;
             EXPECT_EQ(7, p.panorama_number);
             EXPECT_STREQ("pano", p.name);
             EXPECT_EQ(2.0f, p.cylinder_radius);
             EXPECT_EQ(3.0f, p.cylinder_height);
             EXPECT_EQ(30.0f, p.boundary_angle);
             EXPECT_EQ(640, p.image_width);
             EXPECT_EQ(480, p.image_height);
             EXPECT_EQ(9, p.sh_count);
             EXPECT_EQ(2.0f, p.dct_quant_bit_rate);
             EXPECT_EQ(-1.0f, p.orientation[8]);
         }},
    };
    for (const GoodCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.check(*ParseOk(c.text));
    }
}

struct ErrorCase {
    const char* name;
    const char* text;
    const char* message;
};

const ErrorCase kErrors[] = {
    {"SLAB after PANORAMA", "PANORAMA 0 p\nSLAB 0 s\n",
     "The lid cannot store both light slab and panorama\n"},
    {"a second SLAB line", "SLAB 0 a\nSLAB 1 b\n",
     "The lid cannot store both light slab and panorama\n"},
    {"PANORAMA after SLAB", "SLAB 0 s\nPANORAMA 0 p\n",
     "The lid cannot store only single panorama\n"},
    {"panorama field before PANORAMA", "BOUNDARY_ANGLE 30\n",
     "Define the PANORAMA before any other fields\n"},
    {"cylinder before PANORAMA", "SLAB 0 s\nCYLINDER_RADIUS_HEIGHT 1 2\n",
     "Define the PANORAMA before any other fields\n"},
    {"image size before PANORAMA", "PANORAMA_IMAGE_WIDTH_HEIGHT 1 2\n",
     "Define the PANORAMA before any other fields\n"},
    {"mask without a slab", "VIEW_ENABLE_MASK_BEGIN\n",
     "Please specify uv resolution before the enable map\n"},
    {"mask before SAMPLES_UV", "SLAB 0 s\nVIEW_ENABLE_MASK_BEGIN\n1\n",
     "Please specify uv resolution before the enable map\n"},
    {"negative grid", "SLAB 0 s\nSAMPLES_UV -2 3\n", "no memory for viewenablemask\n"},
    {"absurd grid", "SLAB 0 s\nSAMPLES_QR 2000000000 2000000000\n",
     "no memory for viewenablemask\n"},
};

TEST(LidReaderTest, ReportsEachErrorWithItsMessage) {
    for (const ErrorCase& c : kErrors) {
        SCOPED_TRACE(c.name);
        LidInfo info;
        const Status s = Parse(c.text, info);
        EXPECT_FALSE(s.ok());
        EXPECT_EQ(c.message, s.message());
    }
}

TEST(LidReaderTest, PathErrors) {
    LidInfo info;
    EXPECT_EQ("[ReadLidFile]: invalid input parameter\n",
              ReadLidFile(nullptr, info).message());
    EXPECT_EQ("[ReadLidFile]: cannot open lidfile\n",
              ReadLidFile("/nonexistent/scene.lid", info).message());
}

TEST(LidReaderDeathTest, ReadLidFileOrExitEndsTheProgramWithTheMessage) {
    testing::TempDir dir;
    EXPECT_EXIT(
        {
            LidInfo info;
            ReadLidFileOrExit(dir.File("missing.lid").c_str(), info);
        },
        ::testing::ExitedWithCode(1), "^\\[ReadLidFile\\]: cannot open lidfile\n$");
    EXPECT_EXIT(
        {
            LidInfo info;
            ReadLidFileOrExit(nullptr, info);
        },
        ::testing::ExitedWithCode(1), "^\\[ReadLidFile\\]: invalid input parameter\n$");
    for (const ErrorCase& c : kErrors) {
        const std::string path = dir.Write("bad.lid", c.text);
        std::string pattern = "^";
        for (const char* p = c.message; *p; ++p) {
            if (std::string_view("[]().*+?^$\\|{}").find(*p) != std::string_view::npos)
                pattern += '\\';
            pattern += *p;
        }
        pattern += "$";
        EXPECT_EXIT(
            {
                LidInfo info;
                ReadLidFileOrExit(path.c_str(), info);
            },
            ::testing::ExitedWithCode(1), pattern)
            << c.name;
    }
}

TEST(LidInfoTest, FreshRecordsAreClearedWithTheirDefaults) {
    LidInfo info;
    for (const SlabRecord& s : info.slabs) {
        EXPECT_EQ(kFormatRGB, s.format);
        EXPECT_EQ(3.0f, s.dct_quant_bit_rate);
        EXPECT_TRUE(s.photo[0].empty());
        EXPECT_EQ(0, s.depth_loaded);
    }
    EXPECT_EQ(3.0f, info.panorama.dct_quant_bit_rate);
    EXPECT_EQ(1.0f, info.panorama.orientation[0]);
}

}  // namespace
}  // namespace lumo
