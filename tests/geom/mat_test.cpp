#include "geom/mat.h"

#include <gtest/gtest.h>

#include <random>

namespace lumo {
namespace {

Mat4 FromRows(std::initializer_list<float> rows) {
    Mat4 m;
    int i = 0;
    for (float v : rows) {
        m.at(i / 4, i % 4) = v;
        ++i;
    }
    return m;
}

Mat4 Identity() {
    Mat4 m;
    MatIdentity(m);
    return m;
}

void ExpectNear(const Mat4& a, const Mat4& b, float tolerance) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a[i], b[i], tolerance) << "index " << i;
}

void ExpectEqual(const Mat4& a, const Mat4& b) {
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(a[i], b[i]) << "index " << i;
}

TEST(MatTest, LayoutIsColumnMajorWithTranslationAt12To14) {
    Mat4 t = Identity();
    t[12] = 5;
    t[13] = -2;
    t[14] = 7;
    Vec4 p(0, 0, 0, 1);
    MatTransform(p, t);
    EXPECT_EQ(p.x, 5);
    EXPECT_EQ(p.y, -2);
    EXPECT_EQ(p.z, 7);
    EXPECT_EQ(p.w, 1);

    const Mat4 m = FromRows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    Vec4 dir(0, 0, 1, 0);  // picks the third column
    MatTransform(dir, m);
    EXPECT_EQ(dir.x, 3);
    EXPECT_EQ(dir.y, 7);
    EXPECT_EQ(dir.z, 11);
    EXPECT_EQ(dir.w, 15);
}

TEST(MatTest, MultiplyInPlaceFromEitherSideMatchesSeparateOutput) {
    const Mat4 a = FromRows({1, 2, 0, 1, 0, 1, 3, 0, 2, 0, 1, 4, 0, 0, 0, 1});
    const Mat4 b = FromRows({0, 1, 0, 2, 1, 0, 0, 3, 0, 0, 1, 1, 0, 0, 0, 1});
    Mat4 expected;
    MatMultiply(a, b, expected);
    EXPECT_EQ(expected.at(0, 0), 2);  // row 0 of a . column 0 of b
    EXPECT_EQ(expected.at(0, 3), 9);

    Mat4 left = a;
    MatMultiply(left, b, left);
    ExpectEqual(left, expected);
    Mat4 right = b;
    MatMultiply(a, right, right);
    ExpectEqual(right, expected);
}

TEST(MatTest, InverseOfRandomMatricesTimesMatrixIsIdentity) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> dist(-10.0f, 10.0f);
    for (int trial = 0; trial < 200; ++trial) {
        Mat4 m;
        for (float& e : m.m)
            e = dist(rng);
        Mat4 inv;
        MatInverse(m, inv);
        Mat4 product;
        MatMultiply(m, inv, product);
        SCOPED_TRACE(trial);
        ExpectNear(product, Identity(), 2e-3f);
    }
}

TEST(MatTest, InversePivotsOnTheLargestEntryOfTheColumn) {
    // First column (0, 0, 5, 0): rows 0 and 2 are exchanged before eliminating.
    const Mat4 m = FromRows({0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 0, 0, 0, 0, 1});
    Mat4 inv;
    MatInverse(m, inv);
    const Mat4 expected = FromRows({0, 0, 0.2f, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1});
    ExpectEqual(inv, expected);
}

TEST(MatTest, InverseTiesKeepTheUpperRow) {
    // Column 0 holds 2 and -2: the upper row (0) stays the pivot, so the first
    // step divides row 0 by 2 and no exchange happens. The two orders round
    // differently for this matrix, which pins the choice.
    const Mat4 m =
        FromRows({2, 1.1f, 0.3f, 0, -2, 0.7f, 1.9f, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    Mat4 inv;
    MatInverse(m, inv);
    Mat4 product;
    MatMultiply(m, inv, product);
    ExpectNear(product, Identity(), 1e-6f);

    // The same elimination by hand with row 0 as the first pivot.
    Mat4 t = m, d = Identity();
    for (int j = 0; j < 4; ++j) {
        const float p = t.at(j, j);
        for (int k = 0; k < 4; ++k) {
            t.at(j, k) = static_cast<float>(double{t.at(j, k)} / p);
            d.at(j, k) = static_cast<float>(double{d.at(j, k)} / p);
        }
        for (int i = 0; i < 4; ++i) {
            if (i == j) continue;
            const double f = t.at(i, j);
            for (int k = 0; k < 4; ++k) {
                t.at(i, k) = static_cast<float>(t.at(i, k) - f * t.at(j, k));
                d.at(i, k) = static_cast<float>(d.at(i, k) - f * d.at(j, k));
            }
        }
    }
    ExpectEqual(inv, d);
}

TEST(MatTest, SingularMatrixInvertsToExactlyTheIdentity) {
    const Mat4 zero_column = FromRows({1, 0, 2, 3, 4, 0, 5, 6, 7, 0, 8, 9, 1, 0, 1, 1});
    Mat4 inv;
    for (float& e : inv.m)
        e = 42;
    MatInverse(zero_column, inv);
    ExpectEqual(inv, Identity());
}

TEST(MatTest, InverseMayWriteOverItsSource) {
    const Mat4 m = FromRows({4, 0, 0, 1, 0, 2, 0, 2, 0, 0, 8, 3, 0, 0, 0, 1});
    Mat4 separate;
    MatInverse(m, separate);
    Mat4 same = m;
    MatInverse(same, same);
    ExpectEqual(same, separate);
}

TEST(MatTest, TransformReadsAllInputsBeforeWriting) {
    // A matrix that swaps x and y and copies w into z.
    const Mat4 m = FromRows({0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1});
    Vec4 v(1, 2, 3, 4);
    MatTransform(v, m);
    EXPECT_EQ(v.x, 2);
    EXPECT_EQ(v.y, 1);
    EXPECT_EQ(v.z, 4);
    EXPECT_EQ(v.w, 4);
}

}  // namespace
}  // namespace lumo
