// Unit quaternions for rotations: composition, the conjugate, the rotation
// matrix and spherical interpolation.
#pragma once

#include "geom/mat.h"

namespace lumo {

// A quaternion (x, y, z, w), w the scalar part; (0, 0, 0, 1) is the identity.
struct Quat {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;
};

// a * b: the rotation b followed by a.
Quat QuatMul(const Quat& a, const Quat& b);
Quat QuatConj(const Quat& q);
// The rotation matrix of q, its element of row r and column k stored at index
// 4r + k. OpenGL reads the 16 floats in column order, that is transposed, so
// QuatToMatrix(QuatConj(q)) handed to OpenGL rotates by q, and its rows as
// stored are the x, y and z axes turned by q. A zero quaternion gives a zero
// rotation part.
Mat4 QuatToMatrix(const Quat& q);
// Spherical interpolation of unit quaternions along the shorter arc.
Quat Slerp(const Quat& a, const Quat& b, float u);

}  // namespace lumo
