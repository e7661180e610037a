#include "scene/lid_writer.h"

#include "base/str_printf.h"

namespace lumo {
namespace {

// The fifth and sixth numbers of each corner line: the corner's place in
// the unit square of its plane.
constexpr int kCornerPair[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

void AppendCorners(std::string& out, const char* keyword, const Vec3 (&corner)[4]) {
    out += keyword;
    out += "\n";
    for (int i = 0; i < 4; ++i) {
        const Vec3& c = corner[i];
        out += StrPrintf("%.9g %.9g %.9g 1  %d %d\n", static_cast<double>(c.x),
                         static_cast<double>(c.y), static_cast<double>(c.z),
                         kCornerPair[i][0], kCornerPair[i][1]);
    }
}

}  // namespace

std::string SlabLidText(const LidSlab& slab, const LidSpec& spec) {
    std::string out;
    size_t start = 0;
    while (start < spec.comment.size()) {
        size_t end = spec.comment.find('\n', start);
        if (end == std::string::npos) end = spec.comment.size();
        out += "# " + spec.comment.substr(start, end - start) + "\n";
        start = end + 1;
    }
    out += "SLAB 0 " + spec.name + "\n";
    const bool qr = spec.grid == LidGrid::kQR;
    out += StrPrintf("%s %d %d\n", qr ? "SAMPLES_QR" : "SAMPLES_UV", slab.columns,
                     slab.rows);
    out += StrPrintf("SAMPLES_ST %d %d\n", slab.width, slab.height);
    out += spec.brdf ? "FORMAT BRDF\n" : "FORMAT RGB\n";
    if (spec.brdf) out += StrPrintf("SAMPLES_SPHERHARMONICS %d\n", spec.harmonics);
    if (spec.dct_rate > 0.0f) {
        out += StrPrintf("DCT_QUANT_BIT_RATE %.9g\n", static_cast<double>(spec.dct_rate));
    }
    AppendCorners(out, qr ? "SLAB_QR" : "SLAB_UV", slab.camera);
    AppendCorners(out, "SLAB_ST", slab.image);
    return out;
}

}  // namespace lumo
