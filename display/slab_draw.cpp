#include "display/slab_draw.h"

#include <GL/gl.h>

#include <vector>

#include "slab/slab_geometry.h"

namespace lumo {
namespace {

// The neighbours (da, db) of the two outer vertices of fan triangle f, in the
// order the triangles go round their camera.
constexpr int kFan[6][4] = {
    {-1, -1, -1, 0}, {-1, 0, 0, 1}, {0, 1, 1, 1},
    {1, 1, 1, 0},    {1, 0, 0, -1}, {0, -1, -1, -1},
};

bool FanTriangleExists(int f, int32_t a, int32_t b, int32_t n, int32_t m) {
    switch (f) {
        case 0:
        case 5:
            return a > 0 && b > 0;
        case 1:
            return a > 0 && b < m - 1;
        case 2:
        case 3:
            return a < n - 1 && b < m - 1;
        default:
            return a < n - 1 && b > 0;
    }
}

const float* St(const SlabRecord& slab, size_t index) {
    return &slab.curr_st[2 * index];
}

void Vertex3(const Vec4& v) {
    glVertex3f(v.x, v.y, v.z);
}

}  // namespace

Status DrawSlabCorner(SlabTextures& textures, SlabRecord& slab, const Mat4& M, int grid,
                      const SlabDrawOptions& options) {
    glDisable(GL_TEXTURE_2D);
    glColor3f(1.0f, 0.7f, 0.7f);
    glBegin(GL_POLYGON);
    glNormal3f(slab.normal.x, slab.normal.y, slab.normal.z);
    for (int k = 0; k < 4; ++k) {
        const Vec4& c = slab.corner_vert[kPlaneST][k];
        glVertex4f(c.x, c.y, c.z, c.w);
    }
    glEnd();
    glEnable(GL_TEXTURE_2D);

    if (Status s = ComputeVertexST(slab, M, grid); !s.ok()) return s;
    int32_t n = 0, m = 0;
    GridSize(slab, grid, n, m);
    const std::vector<Vec4>& vert = slab.subvert[grid];
    const std::vector<uint8_t>& skip = slab.subskip[grid];
    if (vert.size() < static_cast<size_t>(n + 1) * static_cast<size_t>(m + 1))
        return Status::Ok();
    textures.Prepare(slab, grid);
    for (int32_t b = 0; b < m; ++b) {
        for (int32_t a = 0; a < n; ++a) {
            const size_t k =
                static_cast<size_t>(b) * static_cast<size_t>(n) + static_cast<size_t>(a);
            const size_t row = static_cast<size_t>(n) + 1;
            const size_t corners[4] = {b * row + a, b * row + a + 1,
                                       (b + 1) * row + a + 1, (b + 1) * row + a};
            if (options.skip != 0 && k < skip.size() && skip[k] == 1) {
                if (options.outline != 0) {
                    glDisable(GL_TEXTURE_2D);
                    glColor3f(0.0f, 0.0f, 0.0f);
                    glBegin(GL_LINE_LOOP);
                    for (size_t c : corners)
                        Vertex3(vert[c]);
                    glEnd();
                    glEnable(GL_TEXTURE_2D);
                }
                continue;
            }
            if (k >= textures.size()) continue;
            textures.Bind(slab, grid, k, true);
            glBegin(GL_POLYGON);
            glNormal3f(slab.normal.x, slab.normal.y, slab.normal.z);
            for (size_t c : corners) {
                glTexCoord2fv(St(slab, c));
                Vertex3(vert[c]);
            }
            glEnd();
        }
    }
    return Status::Ok();
}

Status DrawSlabCenter(SlabTextures& textures, SlabRecord& slab, const Mat4& M,
                      uint8_t keep_textures, int grid, const float* colour,
                      const SlabDrawOptions& options) {
    if (Status s = ComputeSampleST(slab, M, grid); !s.ok()) return s;
    static const float kWhite[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    static const float kClear[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    const float* weight = colour != nullptr ? colour : kWhite;
    int32_t n = 0, m = 0;
    GridSize(slab, grid, n, m);
    textures.Prepare(slab, grid);
    const std::vector<Vec4>& vert = slab.sampvert[grid];
    const std::vector<uint8_t>& skip = slab.sampskip[grid];
    const size_t count = static_cast<size_t>(n) * static_cast<size_t>(m);
    if (vert.size() < count || textures.size() < count) return Status::Ok();

    glNormal3f(slab.normal.x, slab.normal.y, slab.normal.z);
    glEnable(GL_TEXTURE_2D);
    for (int32_t b = 0; b < m; ++b) {
        for (int32_t a = 0; a < n; ++a) {
            const size_t k =
                static_cast<size_t>(b) * static_cast<size_t>(n) + static_cast<size_t>(a);
            textures.Bind(slab, grid, k, keep_textures == 0);
            for (int f = 0; f < 6; ++f) {
                if (!FanTriangleExists(f, a, b, n, m)) continue;
                const size_t n1 =
                    static_cast<size_t>(b + kFan[f][1]) * static_cast<size_t>(n) +
                    static_cast<size_t>(a + kFan[f][0]);
                const size_t n2 =
                    static_cast<size_t>(b + kFan[f][3]) * static_cast<size_t>(n) +
                    static_cast<size_t>(a + kFan[f][2]);
                const bool skipped =
                    options.skip != 0 && 6 * k + f < skip.size() && skip[6 * k + f] == 1;
                if (skipped && options.outline == 0) continue;
                if (skipped) {
                    glDisable(GL_TEXTURE_2D);
                    glBegin(GL_LINE_LOOP);
                } else {
                    glEnable(GL_TEXTURE_2D);
                    glBegin(GL_TRIANGLES);
                }
                glColor4fv(weight);
                glTexCoord2fv(St(slab, k));
                Vertex3(vert[k]);
                glColor4fv(kClear);
                glTexCoord2fv(St(slab, n1));
                Vertex3(vert[n1]);
                glTexCoord2fv(St(slab, n2));
                Vertex3(vert[n2]);
                glEnd();
            }
        }
    }
    glDisable(GL_TEXTURE_2D);
    return Status::Ok();
}

}  // namespace lumo
