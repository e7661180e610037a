#include "fit/holdout.h"

#include <algorithm>

namespace lumo {

int DefaultHoldout(int photographs) {
    return photographs / 10;
}

std::vector<uint8_t> HoldOut(const std::vector<LightPhoto>& photos, int k) {
    const size_t n = photos.size();
    std::vector<uint8_t> held(n, 0);
    if (k <= 0 || n == 0) return held;
    double mean[3] = {0, 0, 0};
    for (const LightPhoto& p : photos) {
        for (int c = 0; c < 3; ++c)
            mean[c] += p.direction[c];
    }
    auto dot = [](const double* a, const double* b) {
        return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    };
    size_t first = 0;
    for (size_t i = 1; i < n; ++i) {
        if (dot(photos[i].direction, mean) > dot(photos[first].direction, mean))
            first = i;
    }
    held[first] = 1;
    std::vector<double> nearest(n, 2.0);  // 1 - cos of the angle to the nearest chosen
    size_t last = first;
    for (int chosen = 1; chosen < k && static_cast<size_t>(chosen) < n; ++chosen) {
        size_t best = n;
        for (size_t i = 0; i < n; ++i) {
            nearest[i] = std::min(nearest[i],
                                  1.0 - dot(photos[i].direction, photos[last].direction));
            if (held[i]) continue;
            if (best == n || nearest[i] > nearest[best]) best = i;
        }
        held[best] = 1;
        last = best;
    }
    return held;
}

}  // namespace lumo
