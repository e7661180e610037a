#include "slab/slab_geometry.h"

#include <new>
#include <vector>

#include "base/alloc.h"

namespace lumo {
namespace {

// Grows `v` to at least n elements; false when the memory cannot be had.
template <class T>
bool EnsureSize(std::vector<T>& v, size_t n) {
    if (v.size() >= n) return true;
    try {
        v.resize(n);
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return false;
}

bool ValidGrid(int grid) {
    return grid == 0 || grid == 1;
}

// The ST plane of the eye-space corners s[0..3]: points X with N.X + D = 0;
// (s, t) measured from s0 along the unit edges E1, E2 in units of their
// lengths L1, L2.
struct StFrame {
    Vec3 s0, E1, E2, N;
    float D = 0.0f;
    float L1 = 0.0f;
    float L2 = 0.0f;
};

StFrame MakeStFrame(const Vec4 st[4]) {
    StFrame f;
    VecCopy(st[0], f.s0);
    VecSub(st[1], st[0], f.E1);
    VecSub(st[3], st[0], f.E2);
    VecCross(f.E1, f.E2, f.N);
    VecNormalize(f.N);
    const Vec3 minus_s0(-f.s0.x, -f.s0.y, -f.s0.z);
    f.D = VecDot(minus_s0, f.N);
    f.L1 = VecLength(f.E1);
    f.L2 = VecLength(f.E2);
    VecNormalize(f.E1);
    VecNormalize(f.E2);
    return f;
}

// The eye ray through eye-space point P: false when it misses the ST plane
// (parallel, from behind, or no direction at all); otherwise its (s, t).
bool HitSt(const StFrame& f, const Vec3& P, float& s, float& t) {
    Vec3 V = P;
    VecNormalize(V);
    const float d = VecDot(f.N, V);
    if (!(d < 0.0f)) return false;
    Vec3 H = V;
    VecScale(H, -f.D / d);
    Vec3 Q;
    VecSub(H, f.s0, Q);
    s = VecDot(Q, f.E1) / f.L1;
    t = VecDot(Q, f.E2) / f.L2;
    return true;
}

// Counts, over a patch's vertices, how many fall beyond each window edge.
struct EdgeCounts {
    int left = 0, right = 0, low = 0, up = 0;

    void Add(float s, float t, const Photo& w) {
        if (s < w.x0) {
            ++left;
        } else if (s > w.x1) {
            ++right;
        }
        if (t < w.y0) {
            ++low;
        } else if (t > w.y1) {
            ++up;
        }
    }
    bool AllBeyondOneEdge(int vertices) const {
        return left == vertices || right == vertices || low == vertices || up == vertices;
    }
};

// The window of photo k of the grid; a missing photo counts as an empty record
// (window 0..0 x 0..0).
const Photo& WindowOf(const SlabRecord& slab, int grid, size_t k) {
    static const Photo kNoPhoto;
    return k < slab.photo[grid].size() ? slab.photo[grid][k] : kNoPhoto;
}

// The corners of plane `plane` and of the ST plane, transformed to eye space.
void EyeCorners(const SlabRecord& slab, const Mat4& M, int plane, Vec4 out[4]) {
    for (int i = 0; i < 4; ++i) {
        out[i] = slab.corner_vert[plane][i];
        MatTransform(out[i], M);
    }
}

}  // namespace

Vec4 GridPoint(const Vec4 corners[4], float u, float v) {
    Vec3 A, B, P;
    VecLerp(corners[3], corners[0], v, A);
    VecLerp(corners[2], corners[1], v, B);
    VecLerp(B, A, u, P);
    return Vec4(P, 1.0f);
}

void GridSize(const SlabRecord& slab, int grid, int32_t& n, int32_t& m) {
    n = m = 0;
    if (grid == 0) {
        n = slab.samples_u;
        m = slab.samples_v;
    } else if (grid == 1) {
        n = slab.samples_q;
        m = slab.samples_r;
    }
}

Vec4 SamplePosition(const SlabRecord& slab, int grid, int32_t a, int32_t b) {
    int32_t n = 0, m = 0;
    GridSize(slab, grid, n, m);
    if (n <= 0 || m <= 0) return Vec4(0, 0, 0, 1);
    const float u = (static_cast<float>(a) + 0.5f) / static_cast<float>(n);
    const float v = (static_cast<float>(b) + 0.5f) / static_cast<float>(m);
    return GridPoint(slab.corner_vert[grid], u, v);
}

Status BuildGridVertices(SlabRecord& slab, int grid) {
    if (!ValidGrid(grid)) return Status::Ok();
    int32_t n = 0, m = 0;
    GridSize(slab, grid, n, m);
    slab.subvert[grid].clear();
    slab.subskip[grid].clear();
    if (n <= 0 || m <= 0) return Status::Ok();
    const size_t verts = (static_cast<size_t>(n) + 1) * (static_cast<size_t>(m) + 1);
    if (!TryAssign(slab.subvert[grid], verts))
        return Status::Error("[SlabRecord::SubUVVert]: no memory for subvert[]\n");
    if (!TryAssign(slab.subskip[grid], static_cast<size_t>(n) * static_cast<size_t>(m),
                   uint8_t{0}))
        return Status::Error("[SlabRecord::SubUVVert]: no memory for subskip[]\n");
    for (int32_t b = 0; b <= m; ++b) {
        for (int32_t a = 0; a <= n; ++a) {
            const float v = static_cast<float>(b) / static_cast<float>(m);
            const float u = static_cast<float>(a) / static_cast<float>(n);
            slab.subvert[grid][static_cast<size_t>(b) * (static_cast<size_t>(n) + 1) +
                               static_cast<size_t>(a)] =
                GridPoint(slab.corner_vert[grid], u, v);
        }
    }
    return Status::Ok();
}

Status BuildSamplePositions(SlabRecord& slab, int grid) {
    if (!ValidGrid(grid)) return Status::Ok();
    int32_t n = 0, m = 0;
    GridSize(slab, grid, n, m);
    slab.sampvert[grid].clear();
    slab.sampskip[grid].clear();
    if (n <= 0 || m <= 0) return Status::Ok();
    const size_t samples = static_cast<size_t>(n) * static_cast<size_t>(m);
    if (!TryAssign(slab.sampvert[grid], samples))
        return Status::Error("[SlabRecord::SubUVSampVert]: no memory for sampvert[]\n");
    if (samples > static_cast<size_t>(-1) / 6 ||
        !TryAssign(slab.sampskip[grid], 6 * samples, uint8_t{0}))
        return Status::Error("[SlabRecord::SubUVSampVert]: no memory for sampskip[]\n");
    for (int32_t b = 0; b < m; ++b) {
        for (int32_t a = 0; a < n; ++a) {
            slab.sampvert[grid][static_cast<size_t>(b) * static_cast<size_t>(n) +
                                static_cast<size_t>(a)] =
                SamplePosition(slab, grid, a, b);
        }
    }
    return Status::Ok();
}

Status ComputeVertexST(SlabRecord& slab, const Mat4& M, int grid) {
    if (!ValidGrid(grid)) return Status::Ok();
    int32_t n = 0, m = 0;
    GridSize(slab, grid, n, m);
    if (n <= 0 || m <= 0) return Status::Ok();
    const size_t row = static_cast<size_t>(n) + 1;
    const size_t verts = row * (static_cast<size_t>(m) + 1);
    if (!EnsureSize(slab.curr_st, 2 * verts) ||
        !EnsureSize(slab.subskip[grid], static_cast<size_t>(n) * static_cast<size_t>(m)))
        return Status::Error("[SlabRecord::CalCurrSTCorner]: no memory for sr\n");

    Vec4 cam[4], st[4];
    EyeCorners(slab, M, grid, cam);
    EyeCorners(slab, M, kPlaneST, st);
    const StFrame frame = MakeStFrame(st);
    float* curr = slab.curr_st.data();
    uint8_t* skip = slab.subskip[grid].data();

    for (int32_t b = 0; b <= m; ++b) {
        for (int32_t a = 0; a <= n; ++a) {
            const float v = static_cast<float>(b) / static_cast<float>(m);
            const float u = static_cast<float>(a) / static_cast<float>(n);
            const Vec4 P = GridPoint(cam, u, v);
            const size_t vi = static_cast<size_t>(b) * row + static_cast<size_t>(a);
            float s = 0.0f, t = 0.0f;
            const bool hit = HitSt(frame, P, s, t);
            curr[2 * vi] = hit ? s : 0.0f;
            curr[2 * vi + 1] = hit ? t : 0.0f;
            if (a == 0 || b == 0) continue;
            // Every corner of cell (a - 1, b - 1) now has its pair for this eye.
            const size_t cell = static_cast<size_t>(b - 1) * static_cast<size_t>(n) +
                                static_cast<size_t>(a - 1);
            if (!hit) {
                skip[cell] = 1;
                continue;
            }
            const Photo& window = WindowOf(slab, grid, cell);
            const size_t corners[4] = {vi - row - 1, vi - row, vi, vi - 1};
            EdgeCounts counts;
            for (size_t c : corners)
                counts.Add(curr[2 * c], curr[2 * c + 1], window);
            skip[cell] = counts.AllBeyondOneEdge(4) ? 1 : 0;
        }
    }
    return Status::Ok();
}

Status ComputeSampleST(SlabRecord& slab, const Mat4& M, int grid) {
    if (!ValidGrid(grid)) return Status::Ok();
    int32_t n = 0, m = 0;
    GridSize(slab, grid, n, m);
    if (n <= 0 || m <= 0) return Status::Ok();
    const size_t samples = static_cast<size_t>(n) * static_cast<size_t>(m);
    std::vector<uint8_t> hit;
    if (!EnsureSize(slab.curr_st, 2 * samples) ||
        !EnsureSize(slab.sampskip[grid], 6 * samples) ||
        !TryAssign(hit, samples, uint8_t{0}))
        return Status::Error("[SlabRecord::CalCurrSTCenter]: no memory for sr\n");

    Vec4 cam[4], st[4];
    EyeCorners(slab, M, grid, cam);
    EyeCorners(slab, M, kPlaneST, st);
    const StFrame frame = MakeStFrame(st);
    float* curr = slab.curr_st.data();
    uint8_t* skip = slab.sampskip[grid].data();
    std::fill(skip, skip + 6 * samples, uint8_t{0});

    // First every sample's pair for this eye, then the triangles, so that no
    // test sees a neighbour's pair from an earlier eye.
    for (int32_t b = 0; b < m; ++b) {
        for (int32_t a = 0; a < n; ++a) {
            const float u = (static_cast<float>(a) + 0.5f) / static_cast<float>(n);
            const float v = (static_cast<float>(b) + 0.5f) / static_cast<float>(m);
            const Vec4 P = GridPoint(cam, u, v);
            const size_t k =
                static_cast<size_t>(b) * static_cast<size_t>(n) + static_cast<size_t>(a);
            float s = 0.0f, t = 0.0f;
            hit[k] = HitSt(frame, P, s, t) ? 1 : 0;
            curr[2 * k] = hit[k] ? s : 0.0f;
            curr[2 * k + 1] = hit[k] ? t : 0.0f;
        }
    }

    // The fan around sample (a, b): neighbours in cyclic order, the grid cut
    // along the diagonal from (a - 1, b - 1) to (a + 1, b + 1).
    struct Offset {
        int da, db;
    };
    static constexpr Offset kRing[6] = {{-1, -1}, {-1, 0}, {0, 1},
                                        {1, 1},   {1, 0},  {0, -1}};
    for (int32_t b = 0; b < m; ++b) {
        for (int32_t a = 0; a < n; ++a) {
            const size_t k =
                static_cast<size_t>(b) * static_cast<size_t>(n) + static_cast<size_t>(a);
            if (!hit[k]) continue;
            const Photo& window = WindowOf(slab, grid, k);
            for (int f = 0; f < 6; ++f) {
                const Offset p = kRing[f];
                const Offset q = kRing[(f + 1) % 6];
                const int32_t pa = a + p.da, pb = b + p.db, qa = a + q.da, qb = b + q.db;
                if (pa < 0 || pa >= n || pb < 0 || pb >= m || qa < 0 || qa >= n ||
                    qb < 0 || qb >= m)
                    continue;  // the triangle needs a neighbour beyond the grid
                const size_t pk = static_cast<size_t>(pb) * static_cast<size_t>(n) +
                                  static_cast<size_t>(pa);
                const size_t qk = static_cast<size_t>(qb) * static_cast<size_t>(n) +
                                  static_cast<size_t>(qa);
                EdgeCounts counts;
                counts.Add(curr[2 * pk], curr[2 * pk + 1], window);
                counts.Add(curr[2 * qk], curr[2 * qk + 1], window);
                counts.Add(curr[2 * k], curr[2 * k + 1], window);
                skip[6 * k + static_cast<size_t>(f)] = counts.AllBeyondOneEdge(3) ? 1 : 0;
            }
        }
    }
    return Status::Ok();
}

void ProjectSTCornersOntoQR(const SlabRecord& slab, const Mat4& M, Vec4 corners[4],
                            Vec4& qr_normal) {
    const Vec4* q = slab.corner_vert[kPlaneQR];
    Vec3 e1, e2, n;
    VecSub(q[1], q[0], e1);
    VecSub(q[3], q[0], e2);
    VecCross(e1, e2, n);
    VecNormalize(n);
    qr_normal = Vec4(n, 1.0f);

    Vec4 qe[4], st[4];
    EyeCorners(slab, M, kPlaneQR, qe);
    EyeCorners(slab, M, kPlaneST, st);
    Vec3 N;
    VecSub(qe[1], qe[0], e1);
    VecSub(qe[3], qe[0], e2);
    VecCross(e1, e2, N);
    VecNormalize(N);
    const Vec3 minus_q0(-qe[0].x, -qe[0].y, -qe[0].z);
    const float D = VecDot(minus_q0, N);

    Mat4 inverse;
    MatInverse(M, inverse);
    for (int i = 0; i < 4; ++i) {
        Vec3 V = st[i];
        VecNormalize(V);
        const float d = VecDot(N, V);
        if (!(d < 0.0f)) {
            corners[i] = Vec4(0, 0, 0, 1);
            continue;
        }
        Vec3 H = V;
        VecScale(H, -D / d);
        Vec4 h(H, 1.0f);
        MatTransform(h, inverse);
        corners[i] = Vec4(h.x, h.y, h.z, 1.0f);
    }
}

}  // namespace lumo
