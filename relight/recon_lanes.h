// The lane width of the reconstruction's tile loops, chosen when the program
// starts: sixteen lanes (two tiles per vector) where the processor has
// AVX-512, eight (one tile per vector, for AVX2 or the baseline instruction
// set) elsewhere. Every width does the same IEEE operations per pixel, so the
// bytes do not depend on the choice; tests and benchmarks may force the
// narrow loops to exercise them on any machine.
#pragma once

#include <cstdint>

namespace lumo {

// 16 or 8.
int32_t ReconLaneWidth();

// Whether this processor can run the sixteen-lane loops.
bool ReconWideLanesAvailable();

// 8 forces the eight-lane loops, 16 the sixteen-lane ones where available
// (elsewhere 8), 0 restores the choice made at start-up. Must not be called
// while a reconstruction runs.
void SetReconLaneWidth(int32_t lanes);

// Whether the loops of half images (BrdfImage::half) widen the coefficients
// with F16C (processors with AVX2 and F16C) rather than the portable code;
// both give the same floats.
bool ReconHalfHardware();

// false forces the portable widening, true restores the start-up choice. Must
// not be called while a reconstruction runs.
void SetReconHalfHardware(bool allowed);

}  // namespace lumo
