// ArcBall: turns pointer drags into rotations of a light.
//
// Every light owns one. This is the controller's state; its operations (the
// sphere mapping, constrained drags, drawing) belong to the light-editing view.
// At program start every field is zero; the light-editing view gives every
// light a freshly reset controller when it is created.
#pragma once

#include <cstdint>

#include "geom/mat.h"
#include "geom/vec.h"

namespace lumo {

// A unit quaternion (x, y, z, w), w the scalar part.
struct Quat {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;
};

enum AxisSet : int32_t {
    FreeRotation = 0,  // drags are not constrained
    ViewAxes = 1,      // the view's x, y and z axes
    ObjectAxes = 2,    // the axes turned by the rotation at the end of the last drag
    FixedAxis = 3,     // one fixed axis
};

struct ArcBall {
    Vec4 centre;                  // centre of the disc in overlay coordinates
    double radius = 0.0;          // radius of the disc in overlay coordinates
    Quat rotation_now;            // current rotation
    Quat rotation_down;           // rotation at the end of the last drag
    Quat rotation_drag;           // rotation of the current drag alone
    Vec4 mouse_now;               // latest pointer position
    Vec4 mouse_down;              // pointer position where the current drag started
    Vec4 arc_from, arc_to;        // the current drag on the sphere
    Vec4 result_from, result_to;  // an arc depicting rotation_down
    Mat4 matrix_now;              // rotation_now as an OpenGL matrix
    Mat4 matrix_down;             // matrix_now at the end of the last drag
    int32_t show_result = 0;      // draw the result arc
    int32_t is_dragging = 0;      // a drag is in progress
    int32_t axis_counts[4] = {};  // axes in each AxisSet
    int32_t axis_set = FreeRotation;
    int32_t axis_index = 0;  // constraint axis within the set in use
};

}  // namespace lumo
