#include "relight/recon_lanes.h"

#include <atomic>

#include "base/half_float.h"

namespace lumo {
namespace {

std::atomic<int32_t> forced{0};
std::atomic<bool> half_hardware_allowed{true};

}  // namespace

bool ReconWideLanesAvailable() {
    // The sixteen-lane loops are built for these four (x86-64-v4).
    static const bool available =
#if defined(__x86_64__) || defined(__i386__)
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
#else
        false;
#endif
    return available;
}

int32_t ReconLaneWidth() {
    const int32_t f = forced.load(std::memory_order_relaxed);
    if (f == 8) return 8;
    return ReconWideLanesAvailable() ? 16 : 8;
}

void SetReconLaneWidth(int32_t lanes) {
    forced.store(lanes == 8 || lanes == 16 ? lanes : 0, std::memory_order_relaxed);
}

bool ReconHalfHardware() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool available =
        __builtin_cpu_supports("avx2") && HalfHardwareAvailable();
#else
    static const bool available = false;
#endif
    return available && half_hardware_allowed.load(std::memory_order_relaxed);
}

void SetReconHalfHardware(bool allowed) {
    half_hardware_allowed.store(allowed, std::memory_order_relaxed);
}

}  // namespace lumo
