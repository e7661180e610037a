// The fit's error sums: per photograph, the squared difference in 8-bit units
// between the byte the engine shows for the fitted value and the
// photograph's value, summed over a run of columns in column order as one
// chain of double additions (the order the report's sums are pinned to).
//
// A column's term is (B - 255 * value)^2, B = ToByte(255 * m) with m the
// fitted value where it is positive and the pixel present, else 0. The
// terms are computed side by side (each with the same roundings as one at a
// time; processors with AVX2 take eight at once) and several photographs'
// chains run interleaved: the sums are exactly the scalar ones.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumo {

// sums[r] = the chain over columns j = 0..n - 1 of row r's terms, starting
// from 0, for r < rows; model[r] and values[r] point to row r's n columns,
// present[j] says whether column j's pixel has coefficients.
void ByteErrorSums(const float* const* model, const float* const* values,
                   const uint8_t* present, size_t n, int rows, double* sums);

}  // namespace lumo
