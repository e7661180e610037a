// The hemispherical-harmonics fit that reflectance-transformation-imaging
// tools use, as the yardstick for `lumotool fit` on dome captures: per pixel
// and channel, least squares of the first `terms` hemispherical harmonics
// (9: orders 0 to 2) of the light direction, measured on photographs the fit
// did not see.
//
// The basis (Gautron et al., "A novel hemispherical basis for accurate and
// efficient rendering", 2004): with theta the light's angle from the
// surface normal (z) and phi its azimuth,
//
//   H_l^m  = sqrt(2) K_l^m cos(m phi)  P_l^m(2 cos(theta) - 1)   m > 0
//   H_l^0  =         K_l^0             P_l^0(2 cos(theta) - 1)
//   H_l^m  = sqrt(2) K_l^m sin(-m phi) P_l^-m(2 cos(theta) - 1)  m < 0
//   K_l^m  = sqrt((2l + 1) (l - |m|)! / (2 pi (l + |m|)!))
//
// P_l^m the associated Legendre polynomials; the shifted argument maps the
// hemisphere onto the whole of [-1, 1], so the functions are orthonormal
// over the hemisphere.
#pragma once

#include <string>
#include <vector>

#include "base/status.h"

namespace lumo::testing {

// The first `terms` (a square: 4, 9, 16, ...) basis values at the unit
// direction d (z towards the camera), in the order l = 0, 1, ..., m = -l..l.
std::vector<double> HshBasis(const double d[3], int terms);

struct HshResult {
    double squared = 0.0;  // over the held-out photographs, 8-bit units
    double samples = 0.0;
    double Psnr() const;
};

// Fits the photographs of the light-position file `lp` except those on the
// .lp lines `held_lines` with `terms` hemispherical harmonics (plain least
// squares, as the tools do), reading the photographs in strips, and measures
// the held-out ones as `lumotool fit` measures them (the model's value
// truncated to a byte after adding half a byte, against 255 times the
// photograph's).
Status HshHeldOut(const std::string& lp, const std::vector<int>& held_lines, int terms,
                  HshResult& result);

}  // namespace lumo::testing
