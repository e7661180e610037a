// The drawing mode a scene is shown in when nobody chose one.
//
// Centre mode blends every camera's image with its neighbours' and draws
// nothing where a camera has no neighbour, so a slab less than two cameras
// wide or high has no centre-mode cells: a single fitted photograph would
// open to an empty view. Corner mode shows every camera's image.
#pragma once

#include <cstdint>

#include "scene/lid_info.h"

namespace lumo {

// The values of the drawslabmode variable.
inline constexpr int32_t kCornerMode = 0;
inline constexpr int32_t kCentreMode = 1;

// Whether centre mode draws any cell of `grid` (0: the cameras, 1: the QR
// grid) of the slab: at least two samples along each direction.
bool HasCentreCells(const SlabRecord& slab, int grid);

// The viewer's start-up mode: corner when the scene has a relightable slab
// and every relightable slab is one camera wide or high; otherwise centre,
// so light fields keep the viewer's usual start.
int32_t ViewerStartMode(const LidInfo& info, int grid);

// `lumotool render --mode auto`: centre when every slab has at least 2 x 2
// cameras, else corner.
int32_t RenderAutoMode(const LidInfo& info, int grid);

}  // namespace lumo
