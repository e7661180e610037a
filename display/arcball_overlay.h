// The overlay in which the arcball is drawn: an orthographic view of the unit
// square, the disc of radius 1 being the rim.
#pragma once

namespace lumo {

// Pushes the projection and modelview matrices and loads the overlay's.
void BeginBallOverlay();
// Pops both; the modelview matrix is selected afterwards.
void EndBallOverlay();

}  // namespace lumo
