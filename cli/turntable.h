// The turntable of lumotool render without a path: how far the eye may
// swing about the vertical axis while the whole slab stays in the frame.
#pragma once

#include "model/model.h"

namespace lumo::tool {

// The turntable's swing, in quarter turns about y: at most half the angle
// under which the first slab's camera plane's half-width is seen from its
// image plane's centre (so the eye stays over the cameras), and no more than
// keeps every slab whole in a square frame at zoom 1 in the model's drawing
// mode: no camera's patch is left out for lying beyond its image, and the
// drawn patches stay inside the frame, at both ends of the swing. The model
// must be set up (InitModel) and its view's base modelview known
// (InitGLState); the slabs' per-frame texture coordinates are overwritten
// (every drawing computes them again).
float TurntableSwing(Model& model);

}  // namespace lumo::tool
