// ArcBall: turns pointer drags into rotations of a light.
//
// The pointer moves over a disc; each position is lifted onto a sphere over
// the disc, and a drag from one sphere point to another rotates by twice the
// angle between them about the axis perpendicular to both, so a drag from the
// centre of the disc to its rim turns by half a turn. Rotations are unit
// quaternions composed drag after drag; the current one is delivered as an
// OpenGL matrix. A drag may be constrained to one axis of an axis set (the
// view's axes, the object's own axes, or one fixed axis): its points are then
// projected onto the great circle perpendicular to that axis.
//
// Every light owns one controller. At program start every field is zero; the
// light-editing view gives every light a freshly reset one when it is created.
// The math here has no GL; Draw and the overlay bracket are the light-editing
// view's drawing (display library).
#pragma once

#include <cstdint>

#include "geom/mat.h"
#include "geom/quat.h"
#include "geom/vec.h"

namespace lumo {

enum AxisSet : int32_t {
    FreeRotation = 0,  // drags are not constrained
    ViewAxes = 1,      // the view's x, y and z axes
    ObjectAxes = 2,    // the axes turned by the rotation at the end of the last drag
    FixedAxis = 3,     // one fixed axis
};

// An arc on the unit sphere, from one point to another.
struct Arc {
    Vec4 from;
    Vec4 to;
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
    int32_t show_result = 0;      // draw the result arc (nothing sets it)
    int32_t is_dragging = 0;      // a drag is in progress
    int32_t axis_counts[4] = {};  // number of axes in each AxisSet
    int32_t axis_set = FreeRotation;
    int32_t axis_index = 0;  // constraint axis within the set in use

    // Centre (0, 0, 0, 1), radius 1, identity rotations and matrices, pointer
    // at (0, 0, 0, 1), idle, free rotation. Other fields are kept.
    void Reset();
    void SetSphere(const Vec4& new_centre, double new_radius);
    void SetMouse(const Vec4& v);
    // Takes effect only while idle; a drag keeps the set it started with.
    void SelectAxes(int32_t set);
    void StartDrag();
    // Ends the drag: its rotation becomes the base of the next one.
    void FinishDrag();
    // Follows the pointer: while dragging recomputes the rotation; while idle
    // picks the constraint axis nearest the pointer. Rebuilds matrix_now.
    void Update();
    void GetMatrix(Mat4& out) const;

    // The pointer position lifted onto the sphere over the disc; a point
    // outside the disc is pulled onto its rim.
    Vec4 PointOnSphere(const Vec4& m) const;
    // The axes of `set` (at most three) into `axes`; returns their count.
    // Object axes are the rows of this controller's own matrix_down, so a
    // copied controller uses its own.
    int Axes(int32_t set, Vec4 axes[3]) const;

    // Draws the rim, the constraint circles and the current drag's arc in
    // overlay coordinates (between BeginBallOverlay and EndBallOverlay).
    void Draw() const;
};

// The rotation by twice the angle from unit vector a to unit vector b:
// vector part a x b, scalar part a . b.
Quat QuatFromArc(const Vec4& a, const Vec4& b);
// An arc that depicts q.
Arc ArcFromQuat(const Quat& q);
// p projected onto the great circle perpendicular to `axis`, on the viewer's
// side (z >= 0). A point on the axis gives a fixed point of that circle.
Vec4 ConstrainPoint(const Vec4& p, const Vec4& axis);
// The index of the axis whose great circle passes nearest p; ties keep the
// lower index; 0 when count is 0.
int NearestAxis(const Vec4& p, const Vec4* axes, int count);
// The unit vector halfway between a and b; (0, 0, 1) when they are opposite.
Vec4 Bisect(const Vec4& a, const Vec4& b);
// The point where the drawn half of the great circle perpendicular to n
// starts: (0, 1, 0) for n = (0, 0, 1), else the unit vector of (n.y, -n.x, 0),
// and (1, 0, 0) for an axis along -z, where that vector vanishes.
Vec4 HalfCircleStart(const Vec4& n);

}  // namespace lumo
