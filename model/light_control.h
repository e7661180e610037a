// LightControl: the editing state of one light in the light-editing view.
//
// Each light is turned with its own arcball; its placement is the modelview
// matrix its glyph is drawn with. The light's direction follows from the
// arcball (SyncCurrentLight), computed on the CPU exactly as the GL's
// fixed-function matrix stack would: the view's modelview times the arcball's
// matrix, scaled by 0.75 so the glyphs sit on the arcball's sphere.
#pragma once

#include "arcball/arcball.h"
#include "geom/mat.h"

namespace lumo {

struct LightControl {
    ArcBall arcball;  // every field zero until the light-editing view resets it
    Mat4 placement;   // modelview matrix of the light's glyph; identity at first
    // The light's direction was set directly (a rig was opened) and the
    // arcball only aims near it: SyncCurrentLight keeps the direction until
    // the next drag of this arcball starts.
    uint8_t direction_pinned = 0;

    LightControl() { MatIdentity(placement); }
};

// The frame a light's glyph is drawn in: view_modelview * arcball.matrix_now,
// then scaled by 0.75 in x, y and z, in the GL's float arithmetic.
Mat4 LightFrame(const Mat4& view_modelview, const ArcBall& arcball);

// Turns `arcball` (both its current rotation and the base of its next drag)
// so that LightFrame(view_modelview, arcball) points along `direction`.
void AimArcBall(const Mat4& view_modelview, const Vec3& direction, ArcBall& arcball);

// The direction from the frame's z unit point towards its origin, normalised:
// where a light whose glyph stands on the frame's z axis travels.
Vec3 FrameDirection(const Mat4& frame);

// An environment light is turned as a whole by its arcball: the frame's z
// axis is the map's zenith and its x axis the map's azimuth 0.

// The spin, in degrees in (-180, 180], that puts the map's azimuth 0 along
// the frame's x axis for a light travelling along `direction` (the frame's
// direction).
float FrameEnvSpin(const Mat4& frame, const Vec3& direction);

// Turns `arcball` as AimArcBall does, and also about the light's axis so that
// LightFrame's x axis lies along the map's azimuth 0 of a light travelling
// along `direction` spun by `spin_degrees`.
void AimArcBallEnv(const Mat4& view_modelview, const Vec3& direction, float spin_degrees,
                   ArcBall& arcball);

}  // namespace lumo
