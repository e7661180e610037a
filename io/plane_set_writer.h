// Writing plane sets (info.json and its pictures), for tests and fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "io/plane_set.h"

namespace lumo {

// The text of info.json for `info`.
std::string PlaneSetInfoText(const PlaneSetInfo& info);

// Writes `folder`/info.json and the pictures plane_K.FORMAT from `bytes`:
// nplanes planes of width * height bytes, rows top first (a last picture with
// fewer than three planes is filled with zeros). Fails with the picture
// wrapper's message or "[WritePlaneSet]: cannot write %s\n".
Status WritePlaneSet(const std::string& folder, const PlaneSetInfo& info,
                     const std::vector<uint8_t>& bytes, int quality = 95);

}  // namespace lumo
