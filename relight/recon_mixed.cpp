#include "relight/recon_mixed.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/parallel_for.h"
#include "base/str_printf.h"
#include "relight/recon_common.h"

namespace lumo {

Status RelightSlabMixed(SlabRecord& slab, const ReconRequest& request,
                        const SlabDrivers& drivers) {
    if (slab.format != kFormatBRDF) return Status::Ok();
    const int32_t n = LightsInUse(request.lights);
    // The images every one-light pass reconstructs, in the image loop's order.
    struct Wanted {
        int32_t j, i;
        size_t k;
    };
    std::vector<Wanted> wanted;
    for (int32_t i = 0; i < slab.samples_v; ++i) {
        for (int32_t j = 0; j < slab.samples_u; ++j) {
            if (!ImageWanted(slab, j, i, request.preview, request.errors)) continue;
            wanted.push_back(
                {j, i,
                 static_cast<size_t>(i) * static_cast<size_t>(slab.samples_u) +
                     static_cast<size_t>(j)});
        }
    }
    if (wanted.empty()) return Status::Ok();
    std::vector<std::vector<uint8_t>> sum(wanted.size());
    for (size_t w = 0; w < wanted.size(); ++w)
        sum[w].assign(slab.photo[0][wanted[w].k].pixels.size(), 0);

    ReconRequest one = request;
    one.progress = {};  // the lines of the sum are reported below
    one.errors = {};    // size mismatches were reported above
    for (int32_t m = 0; m < n; ++m) {
        one.lights = request.lights.subspan(static_cast<size_t>(m), 1);
        const SlabDriver driver = DriverFor(drivers, ChooseMode(one.lights, 1));
        if (driver == nullptr) continue;
        if (Status s = driver(slab, one); !s.ok()) return s;
        // The images are independent: added on every thread.
        ParallelForEach(wanted.size(), [&](size_t w) {
            const uint8_t* px = slab.photo[0][wanted[w].k].pixels.data();
            std::vector<uint8_t>& acc = sum[w];
            const size_t bytes =
                std::min(acc.size(), slab.photo[0][wanted[w].k].pixels.size());
            uint8_t* a = acc.data();
            for (size_t b = 0; b < bytes; ++b) {
                const unsigned v = unsigned{a[b]} + unsigned{px[b]};
                a[b] = static_cast<uint8_t>(v > 255u ? 255u : v);
            }
        });
    }
    for (size_t w = 0; w < wanted.size(); ++w) {
        Emit(request.progress,
             StrPrintf("Reconstructing image (%d,%d) ...\n", wanted[w].j, wanted[w].i));
        std::span<uint8_t> px = slab.photo[0][wanted[w].k].pixels;
        std::copy_n(sum[w].begin(), std::min(sum[w].size(), px.size()), px.begin());
    }
    return Status::Ok();
}

}  // namespace lumo
