// Wall-clock time for the frame-rate meter and timings.
#pragma once

namespace lumo {

// The current time as whole seconds since the epoch plus the millisecond part
// times 0.001.
double GetSeconds();

}  // namespace lumo
