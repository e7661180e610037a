// 4x4 float matrices in OpenGL's column order.
//
// The element in row i and column j (both 0..3) is at index 4j + i, so a
// translation sits at indices 12, 13, 14. Matrices read back with
// glGetFloatv(GL_MODELVIEW_MATRIX) and matrices handed to glLoadMatrixf or
// glMultMatrixf use this layout without conversion.
#pragma once

#include "geom/vec.h"

namespace lumo {

struct Mat4 {
    float m[16] = {};

    float& operator[](int i) { return m[i]; }
    float operator[](int i) const { return m[i]; }
    // Element of row `row` and column `col`.
    float& at(int row, int col) { return m[4 * col + row]; }
    float at(int row, int col) const { return m[4 * col + row]; }
    const float* data() const { return m; }
    float* data() { return m; }
};

// m = identity.
void MatIdentity(Mat4& m);
// out = A * B. The product is formed in a temporary, so out may be A or B
// (callers multiply a matrix in place from either side).
void MatMultiply(const Mat4& A, const Mat4& B, Mat4& out);
// out = A * B as OpenGL's fixed-function matrix stack forms it
// (glMultMatrixf with A the current matrix): in float, element (i, j) is
// A(i,0)*B(0,j) + A(i,1)*B(1,j) + A(i,2)*B(2,j) + A(i,3)*B(3,j) summed left
// to right. out may be A or B.
void MatMultiplyFloat(const Mat4& A, const Mat4& B, Mat4& out);
// Columns 0, 1 and 2 of m multiplied element by element by x, y and z, as
// glScalef does.
void MatScaleColumns(Mat4& m, float x, float y, float z);
// dst = src^-1 by Gauss-Jordan elimination with partial pivoting. src is copied
// first, so dst may be src. A singular matrix (an exactly zero pivot) yields the
// identity; no error is reported.
void MatInverse(const Mat4& src, Mat4& dst);
// v = M * v in place, all four components, no division by w; returns v.
Vec4& MatTransform(Vec4& v, const Mat4& M);

}  // namespace lumo
