#include "geom/mat.h"

#include <cmath>
#include <utility>

namespace lumo {

void MatIdentity(Mat4& m) {
    for (float& e : m.m)
        e = 0.0f;
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

void MatMultiply(const Mat4& A, const Mat4& B, Mat4& out) {
    Mat4 r;
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += double{A[4 * k + i]} * B[4 * j + k];
            r[4 * j + i] = static_cast<float>(sum);
        }
    }
    out = r;
}

void MatMultiplyFloat(const Mat4& A, const Mat4& B, Mat4& out) {
    Mat4 r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.at(i, j) = A.at(i, 0) * B.at(0, j) + A.at(i, 1) * B.at(1, j) +
                         A.at(i, 2) * B.at(2, j) + A.at(i, 3) * B.at(3, j);
        }
    }
    out = r;
}

void MatScaleColumns(Mat4& m, float x, float y, float z) {
    const float s[3] = {x, y, z};
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 4; ++i)
            m.at(i, j) *= s[j];
    }
}

void MatInverse(const Mat4& src, Mat4& dst) {
    Mat4 t = src;  // working copy; src may be dst
    MatIdentity(dst);
    for (int j = 0; j < 4; ++j) {
        // Pivot search: the largest magnitude wins; a later row replaces the
        // choice only when strictly larger, so ties keep the upper row.
        int p = j;
        float best = std::fabs(t.at(j, j));
        for (int i = j + 1; i < 4; ++i) {
            const float a = std::fabs(t.at(i, j));
            if (a > best) {
                best = a;
                p = i;
            }
        }
        if (p != j) {
            for (int k = 0; k < 4; ++k) {
                std::swap(t.at(p, k), t.at(j, k));
                std::swap(dst.at(p, k), dst.at(j, k));
            }
        }
        const float pivot = t.at(j, j);
        if (pivot == 0.0f) {
            MatIdentity(dst);
            return;
        }
        for (int k = 0; k < 4; ++k) {
            t.at(j, k) = static_cast<float>(double{t.at(j, k)} / pivot);
            dst.at(j, k) = static_cast<float>(double{dst.at(j, k)} / pivot);
        }
        for (int i = 0; i < 4; ++i) {
            if (i == j) continue;
            const double f = t.at(i, j);
            for (int k = 0; k < 4; ++k) {
                t.at(i, k) = static_cast<float>(t.at(i, k) - f * t.at(j, k));
                dst.at(i, k) = static_cast<float>(dst.at(i, k) - f * dst.at(j, k));
            }
        }
    }
}

Vec4& MatTransform(Vec4& v, const Mat4& M) {
    const double in[4] = {v.x, v.y, v.z, v.w};
    double out[4];
    for (int i = 0; i < 4; ++i) {
        out[i] = M[i] * in[0] + M[4 + i] * in[1] + M[8 + i] * in[2] + M[12 + i] * in[3];
    }
    v.x = static_cast<float>(out[0]);
    v.y = static_cast<float>(out[1]);
    v.z = static_cast<float>(out[2]);
    v.w = static_cast<float>(out[3]);
    return v;
}

}  // namespace lumo
