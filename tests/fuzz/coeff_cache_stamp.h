// The source stamp that the coefficient-cache seeds are written with and that
// the fuzz target maps every input with (make_fuzz_seeds.cpp,
// fuzz_coeff_cache.cpp): an input whose header's stamp was changed is a
// stale cache.
#pragma once

#include "relight/brdf_cache.h"

namespace lumo {

inline constexpr BrdfSourceStamp kFuzzCacheStamp = {
    .size = 48213, .mtime_ns = 1767225600123456789, .sum = 0x5eed5eed0c0ffee1ull};

}  // namespace lumo
