#include "relight/arccos_sine_lanes.h"

#include <cstdint>
#include <vector>

namespace lumo::kernels {
namespace {

// The lanes against the library on inputs that tell another arccosine or a
// less accurate sine apart: the ends, zeros, the branch points and their
// neighbours, inputs where acosf is one ulp off, and 65537 inputs spread
// over -1..1.
bool LanesMatchTheLibrary() {
    std::vector<float> inputs(65600);
    int n = 0;
    for (const float x :
         {1.0f, 0.5f, 0x1p-26f, 0x1.000002p-26f, 0x1.fffffep-1f, 0x1.fffffep-2f,
          0x1.110b3cp-26f, 0x1.bbbd2ep-24f, 0x1.ddde98p-23f, 0x1.1110b4p-22f,
          0x1.eeef4cp-22f, 1e-38f, 0.0f}) {
        inputs[n++] = x;
        inputs[n++] = -x;
    }
    for (uint32_t k = 0; k <= 32768; ++k) {
        inputs[n++] = static_cast<float>(k) / 32768.0f;
        inputs[n++] = -static_cast<float>(k) / 32768.0f + 0x1p-20f;
    }
    while (n % kShLanes != 0)
        inputs[n++] = 0.25f;
    for (int first = 0; first < n; first += kShLanes) {
        V8 c, sine;
        std::memcpy(&c, inputs.data() + first, sizeof c);
        ArccosSineLanes(c, 0xFFu, sine);
        for (int lane = 0; lane < kShLanes; ++lane) {
            const float want = std::sin(std::acos(c[lane]));
            const float neg = std::sin(-std::acos(c[lane]));
            if (__builtin_bit_cast(uint32_t, want) !=
                    __builtin_bit_cast(uint32_t, sine[lane]) ||
                __builtin_bit_cast(uint32_t, neg) !=
                    __builtin_bit_cast(uint32_t, -sine[lane]))
                return false;
        }
    }
    return true;
}

}  // namespace

bool ArccosSineLanesExact() {
    static const bool exact = LanesMatchTheLibrary();
    return exact;
}

}  // namespace lumo::kernels
