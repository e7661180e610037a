#include "slab/slab_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace lumo {
namespace {

// The model-view matrix gluLookAt builds: the eye at the origin looking down -z.
Mat4 LookAt(const Vec3& eye, const Vec3& center, const Vec3& up) {
    Vec3 f, s, u;
    VecSub(center, eye, f);
    VecNormalize(f);
    VecCross(f, up, s);
    VecNormalize(s);
    VecCross(s, f, u);
    Mat4 M;
    MatIdentity(M);
    const Vec3 rows[3] = {s, u, Vec3(-f.x, -f.y, -f.z)};
    for (int r = 0; r < 3; ++r) {
        M.at(r, 0) = rows[r].x;
        M.at(r, 1) = rows[r].y;
        M.at(r, 2) = rows[r].z;
        M.at(r, 3) = -VecDot(rows[r], eye);
    }
    return M;
}

void SetCorners(SlabRecord& slab, int plane, const Vec4 (&c)[4]) {
    for (int i = 0; i < 4; ++i)
        slab.corner_vert[plane][i] = c[i];
}

// A camera plane of side 2 at height z over an image plane of side 1 at z = 0;
// n x m cameras, every photo window 0..1.
SlabRecord MakeSlab(int32_t n, int32_t m, float z = 2.0f) {
    SlabRecord slab;
    SetCorners(slab, kPlaneUV,
               {{-1, -1, z, 1}, {1, -1, z, 1}, {1, 1, z, 1}, {-1, 1, z, 1}});
    SetCorners(slab, kPlaneST,
               {{-0.5f, -0.5f, 0, 1},
                {0.5f, -0.5f, 0, 1},
                {0.5f, 0.5f, 0, 1},
                {-0.5f, 0.5f, 0, 1}});
    slab.samples_u = n;
    slab.samples_v = m;
    slab.photo[0].resize(static_cast<size_t>(n * m));
    for (Photo& p : slab.photo[0]) {
        p.x0 = p.y0 = 0.0f;
        p.x1 = p.y1 = 1.0f;
    }
    slab.curr_st.assign(static_cast<size_t>(2 * (n + 1) * (m + 1)), 0.0f);
    EXPECT_TRUE(BuildGridVertices(slab, 0).ok());
    EXPECT_TRUE(BuildSamplePositions(slab, 0).ok());
    return slab;
}

void SetWindows(SlabRecord& slab, float x0, float x1, float y0, float y1) {
    for (Photo& p : slab.photo[0]) {
        p.x0 = x0;
        p.x1 = x1;
        p.y0 = y0;
        p.y1 = y1;
    }
}

TEST(SlabGeometryTest, GridVerticesAndSamplesSitAtCornersAndCellCentres) {
    SlabRecord slab;
    SetCorners(slab, kPlaneUV, {{0, 0, 0, 1}, {1, 0, 0, 1}, {1, 1, 0, 1}, {0, 1, 0, 1}});
    slab.samples_u = slab.samples_v = 2;
    EXPECT_TRUE(BuildGridVertices(slab, 0).ok());
    EXPECT_TRUE(BuildSamplePositions(slab, 0).ok());
    ASSERT_EQ(9u, slab.subvert[0].size());
    for (int b = 0; b <= 2; ++b) {
        for (int a = 0; a <= 2; ++a) {
            const Vec4& v = slab.subvert[0][static_cast<size_t>(b * 3 + a)];
            EXPECT_FLOAT_EQ(0.5f * a, v.x) << a << "," << b;
            EXPECT_FLOAT_EQ(0.5f * b, v.y) << a << "," << b;
            EXPECT_EQ(1.0f, v.w);
        }
    }
    EXPECT_EQ(1.0f, slab.subvert[0][2].x);  // vertex (2, 0)
    EXPECT_EQ(0.0f, slab.subvert[0][2].y);
    const float want[4][2] = {
        {0.25f, 0.25f}, {0.75f, 0.25f}, {0.25f, 0.75f}, {0.75f, 0.75f}};
    ASSERT_EQ(4u, slab.sampvert[0].size());
    for (int k = 0; k < 4; ++k) {
        EXPECT_FLOAT_EQ(want[k][0], slab.sampvert[0][static_cast<size_t>(k)].x) << k;
        EXPECT_FLOAT_EQ(want[k][1], slab.sampvert[0][static_cast<size_t>(k)].y) << k;
        EXPECT_EQ(1.0f, slab.sampvert[0][static_cast<size_t>(k)].w);
    }
    EXPECT_EQ(std::vector<uint8_t>(4, 0), slab.subskip[0]);
    EXPECT_EQ(std::vector<uint8_t>(24, 0), slab.sampskip[0]);
}

TEST(SlabGeometryTest, NonRectangularCornersGiveTheBilinearPoint) {
    const Vec4 c[4] = {{0, 0, 0, 1}, {4, 0, 1, 1}, {5, 3, 2, 1}, {-1, 2, 0, 1}};
    const float u = 0.25f, v = 0.75f;
    const Vec4 p = GridPoint(c, u, v);
    const float wx = u * (1 - v) * 4 + u * v * 5 + (1 - u) * v * -1;
    const float wz = u * (1 - v) * 1 + u * v * 2;
    EXPECT_NEAR(wx, p.x, 1e-6);
    EXPECT_NEAR(wz, p.z, 1e-6);
    EXPECT_EQ(1.0f, p.w);
}

TEST(SlabGeometryTest, AGridWithoutCellsBuildsNothing) {
    SlabRecord slab = MakeSlab(2, 2);
    slab.samples_q = 0;
    slab.samples_r = 3;
    EXPECT_TRUE(BuildGridVertices(slab, 1).ok());
    EXPECT_TRUE(BuildSamplePositions(slab, 1).ok());
    EXPECT_TRUE(slab.subvert[1].empty());
    EXPECT_TRUE(slab.sampskip[1].empty());
    EXPECT_TRUE(ComputeVertexST(slab, LookAt({0, 0, 5}, {0, 0, 0}, {0, 1, 0}), 1).ok());
}

TEST(SlabGeometryTest, CentredEyeSeesTheMiddleVertexAtTheMiddleOfST) {
    for (int n : {2, 4}) {
        SlabRecord slab = MakeSlab(n, n);
        const Mat4 M = LookAt({0, 0, 6}, {0, 0, 0}, {0, 1, 0});
        EXPECT_TRUE(ComputeVertexST(slab, M, 0).ok());
        const size_t mid = static_cast<size_t>((n / 2) * (n + 1) + n / 2);
        EXPECT_NEAR(0.5f, slab.curr_st[2 * mid], 1e-6) << n;
        EXPECT_NEAR(0.5f, slab.curr_st[2 * mid + 1], 1e-6) << n;
        // Vertex (0, 0): the ray through (-1, -1, 2) from (0, 0, 6) meets z = 0
        // at (-1.5, -1.5), that is s = t = -1.
        EXPECT_NEAR(-1.0f, slab.curr_st[0], 1e-5);
        EXPECT_NEAR(-1.0f, slab.curr_st[1], 1e-5);
    }
    // The same line seen by an eye looking elsewhere: still the middle.
    SlabRecord slab = MakeSlab(2, 2);
    EXPECT_TRUE(ComputeVertexST(slab, LookAt({0, 0, 6}, {3, 1, 0}, {0, 1, 0}), 0).ok());
    EXPECT_NEAR(0.5f, slab.curr_st[2 * 4], 1e-5);
    EXPECT_NEAR(0.5f, slab.curr_st[2 * 4 + 1], 1e-5);
}

TEST(SlabGeometryTest, CornerCellsBeyondOneWindowEdgeAreLeftOut) {
    SlabRecord slab = MakeSlab(2, 2);
    const Mat4 M = LookAt({0, 0, 6}, {0, 0, 0}, {0, 1, 0});
    // Cell (0, 0) has corner s values -1, 0.5, 0.5, -1.
    const struct {
        float x0;
        uint8_t skipped;
    } cases[] = {{0.6f, 1}, {0.4f, 0}, {-5.0f, 0}};
    for (const auto& c : cases) {
        SetWindows(slab, c.x0, 10.0f, -10.0f, 10.0f);
        EXPECT_TRUE(ComputeVertexST(slab, M, 0).ok());
        EXPECT_EQ(c.skipped, slab.subskip[0][0]) << "x0=" << c.x0;
    }
    // Corners far beyond on t but straddling the window keep their cell.
    SetWindows(slab, -10.0f, 10.0f, 0.45f, 0.55f);
    EXPECT_TRUE(ComputeVertexST(slab, M, 0).ok());
    EXPECT_EQ(0, slab.subskip[0][0]);  // t = -1, -1, 0.5, 0.5
    EXPECT_EQ(0, slab.subskip[0][3]);  // t = 0.5, 0.5, 2, 2
}

// A camera plane tilted through the eye's height: its far row lies behind the eye.
SlabRecord TiltedSlab() {
    SlabRecord slab = MakeSlab(2, 2);
    SetCorners(slab, kPlaneUV,
               {{-1, -1, 0.5f, 1}, {1, -1, 0.5f, 1}, {1, 1, 2, 1}, {-1, 1, 2, 1}});
    EXPECT_TRUE(BuildGridVertices(slab, 0).ok());
    SetWindows(slab, -100.0f, 100.0f, -100.0f, 100.0f);
    return slab;
}

TEST(SlabGeometryTest, RaysMeetingTheImagePlaneFromBehindGiveZeroAndSkipTheirCell) {
    SlabRecord slab = TiltedSlab();
    std::fill(slab.curr_st.begin(), slab.curr_st.end(), 9.0f);
    const Mat4 M = LookAt({0, 0, 1.5f}, {0, 0, 0}, {0, 1, 0});
    EXPECT_TRUE(ComputeVertexST(slab, M, 0).ok());
    // Rows b = 0 (z 0.5) and 1 (z 1.25) lie below the eye, row 2 (z 2) above it.
    for (int a = 0; a <= 2; ++a) {
        EXPECT_EQ(0.0f, slab.curr_st[2 * (6 + a)]) << a;
        EXPECT_EQ(0.0f, slab.curr_st[2 * (6 + a) + 1]) << a;
        EXPECT_NE(9.0f, slab.curr_st[2 * (3 + a)]) << a;
    }
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 1}), slab.subskip[0]);

    // Centre mode: the samples of row 1 (z 1.625) miss; nothing is left out for that.
    std::fill(slab.sampskip[0].begin(), slab.sampskip[0].end(), 1);
    EXPECT_TRUE(ComputeSampleST(slab, M, 0).ok());
    EXPECT_EQ(0.0f, slab.curr_st[2 * 2]);
    EXPECT_EQ(0.0f, slab.curr_st[2 * 3 + 1]);
    EXPECT_EQ(std::vector<uint8_t>(24, 0), slab.sampskip[0]);
}

TEST(SlabGeometryTest, CentreTrianglesNeedTheirNeighboursAndAreTestedAgainstTheWindow) {
    // 1 x 1: no triangle exists.
    SlabRecord one = MakeSlab(1, 1);
    SetWindows(one, 10.0f, 11.0f, 10.0f, 11.0f);
    EXPECT_TRUE(ComputeSampleST(one, LookAt({0, 0, 6}, {0, 0, 0}, {0, 1, 0}), 0).ok());
    EXPECT_EQ(std::vector<uint8_t>(6, 0), one.sampskip[0]);

    // 3 x 3 with windows nothing reaches: every existing triangle is left out,
    // every triangle that needs a neighbour beyond the grid stays 0.
    SlabRecord slab = MakeSlab(3, 3);
    SetWindows(slab, 10.0f, 11.0f, -10.0f, 10.0f);
    EXPECT_TRUE(ComputeSampleST(slab, LookAt({0, 0, 6}, {0, 0, 0}, {0, 1, 0}), 0).ok());
    for (int b = 0; b < 3; ++b) {
        for (int a = 0; a < 3; ++a) {
            const bool exists[6] = {a > 0 && b > 0, a > 0 && b < 2, a < 2 && b < 2,
                                    a < 2 && b<2, a<2 && b> 0, a> 0 && b > 0};
            for (int f = 0; f < 6; ++f)
                EXPECT_EQ(exists[f] ? 1 : 0,
                          slab.sampskip[0][static_cast<size_t>(6 * (b * 3 + a) + f)])
                    << a << "," << b << " f=" << f;
        }
    }
    // A window holding the centre sample's pair keeps all its triangles.
    SetWindows(slab, 0.45f, 0.55f, 0.45f, 0.55f);
    EXPECT_TRUE(ComputeSampleST(slab, LookAt({0, 0, 6}, {0, 0, 0}, {0, 1, 0}), 0).ok());
    for (int f = 0; f < 6; ++f)
        EXPECT_EQ(0, slab.sampskip[0][static_cast<size_t>(6 * 4 + f)]) << f;
}

TEST(SlabGeometryTest, CentreFlagsDependOnlyOnTheCurrentEye) {
    // Every pair is computed before any triangle is tested, so pairs of an
    // earlier eye never reach the flags.
    const Mat4 first = LookAt({8, -6, 3}, {0, 0, 0}, {0, 1, 0});
    const Mat4 second = LookAt({-0.5f, 0.7f, 5}, {0.2f, 0, 0}, {0, 1, 0});
    SlabRecord fresh = MakeSlab(4, 3);
    SlabRecord reused = MakeSlab(4, 3);
    SetWindows(fresh, 0.3f, 0.7f, 0.3f, 0.7f);
    SetWindows(reused, 0.3f, 0.7f, 0.3f, 0.7f);
    EXPECT_TRUE(ComputeSampleST(reused, first, 0).ok());
    EXPECT_TRUE(ComputeSampleST(reused, second, 0).ok());
    EXPECT_TRUE(ComputeSampleST(fresh, second, 0).ok());
    EXPECT_EQ(fresh.sampskip[0], reused.sampskip[0]);
    EXPECT_EQ(std::vector<float>(fresh.curr_st.begin(), fresh.curr_st.begin() + 24),
              std::vector<float>(reused.curr_st.begin(), reused.curr_st.begin() + 24));
    int skipped = 0;
    for (uint8_t f : fresh.sampskip[0])
        skipped += f;
    EXPECT_GT(skipped, 0);  // the case does test something
}

TEST(SlabGeometryTest, TooSmallBuffersAreGrown) {
    SlabRecord slab = MakeSlab(3, 2);
    slab.curr_st.clear();
    slab.subskip[0].clear();
    slab.sampskip[0].clear();
    const Mat4 M = LookAt({0, 0, 6}, {0, 0, 0}, {0, 1, 0});
    EXPECT_TRUE(ComputeVertexST(slab, M, 0).ok());
    EXPECT_EQ(24u, slab.curr_st.size());
    EXPECT_EQ(6u, slab.subskip[0].size());
    EXPECT_TRUE(ComputeSampleST(slab, M, 0).ok());
    EXPECT_EQ(36u, slab.sampskip[0].size());
}

TEST(SlabGeometryTest, ProjectsTheImagePlaneCornersOntoTheQrPlane) {
    SlabRecord slab = MakeSlab(2, 2);
    SetCorners(slab, kPlaneQR,
               {{-2, -2, 1, 1}, {2, -2, 1, 1}, {2, 2, 1, 1}, {-2, 2, 1, 1}});
    Vec4 corners[4], normal;
    ProjectSTCornersOntoQR(slab, LookAt({0, 0, 5}, {0, 0, 0}, {0, 1, 0}), corners,
                           normal);
    EXPECT_NEAR(0.0f, normal.x, 1e-7);
    EXPECT_NEAR(1.0f, normal.z, 1e-7);
    EXPECT_EQ(1.0f, normal.w);
    // From (0, 0, 5) through (+-0.5, +-0.5, 0) down to z = 1: (+-0.4, +-0.4, 1).
    const float sx[4] = {-0.4f, 0.4f, 0.4f, -0.4f}, sy[4] = {-0.4f, -0.4f, 0.4f, 0.4f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(sx[i], corners[i].x, 1e-5) << i;
        EXPECT_NEAR(sy[i], corners[i].y, 1e-5) << i;
        EXPECT_NEAR(1.0f, corners[i].z, 1e-5) << i;
        EXPECT_EQ(1.0f, corners[i].w);
    }
    // An oblique eye, checked against the ray equation in slab coordinates.
    const Vec3 eye(1.5f, -0.5f, 4.0f);
    ProjectSTCornersOntoQR(slab, LookAt(eye, {0, 0, 0}, {0, 1, 0}), corners, normal);
    for (int i = 0; i < 4; ++i) {
        const Vec4& s = slab.corner_vert[kPlaneST][i];
        const float t = (1.0f - eye.z) / (s.z - eye.z);
        EXPECT_NEAR(eye.x + t * (s.x - eye.x), corners[i].x, 1e-5) << i;
        EXPECT_NEAR(eye.y + t * (s.y - eye.y), corners[i].y, 1e-5) << i;
        EXPECT_NEAR(1.0f, corners[i].z, 1e-5) << i;
    }
    // A QR plane whose normal faces along the rays: every corner misses.
    SetCorners(slab, kPlaneQR,
               {{-2, -2, 1, 1}, {-2, 2, 1, 1}, {2, 2, 1, 1}, {2, -2, 1, 1}});
    ProjectSTCornersOntoQR(slab, LookAt({0, 0, 5}, {0, 0, 0}, {0, 1, 0}), corners,
                           normal);
    EXPECT_NEAR(-1.0f, normal.z, 1e-7);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(0.0f, corners[i].x);
        EXPECT_EQ(0.0f, corners[i].y);
        EXPECT_EQ(0.0f, corners[i].z);
        EXPECT_EQ(1.0f, corners[i].w);
    }
}

TEST(SlabGeometryTest, AllocationFailuresReturnTheirMessage) {
    // A grid the memory cannot hold.
    SlabRecord slab = MakeSlab(1, 1);
    slab.samples_u = slab.samples_v = 2000000000;
    EXPECT_EQ("[SlabRecord::SubUVVert]: no memory for subvert[]\n",
              BuildGridVertices(slab, 0).message());
    EXPECT_EQ("[SlabRecord::SubUVSampVert]: no memory for sampvert[]\n",
              BuildSamplePositions(slab, 0).message());
    EXPECT_EQ(
        "[SlabRecord::CalCurrSTCorner]: no memory for sr\n",
        ComputeVertexST(slab, LookAt({0, 0, 5}, {0, 0, 0}, {0, 1, 0}), 0).message());
    EXPECT_EQ(
        "[SlabRecord::CalCurrSTCenter]: no memory for sr\n",
        ComputeSampleST(slab, LookAt({0, 0, 5}, {0, 0, 0}, {0, 1, 0}), 0).message());
}

}  // namespace
}  // namespace lumo
