#include "relight/recon_common.h"

#include <algorithm>
#include <cmath>

#include "base/alloc.h"
#include "base/str_printf.h"
#include "slab/slab_geometry.h"

namespace lumo {

PixelWindow ClipWindow(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                       int32_t yb) {
    if (xa > xb) std::swap(xa, xb);
    if (ya > yb) std::swap(ya, yb);
    PixelWindow w;
    w.x0 = xa > brdf.xmin ? xa : brdf.xmin;
    w.x1 = xb < brdf.xmax ? xb : brdf.xmax;
    w.y0 = ya > brdf.ymin ? ya : brdf.ymin;
    w.y1 = yb < brdf.ymax ? yb : brdf.ymax;
    return w;
}

int32_t TermsFor(const BrdfImage& brdf, int32_t terms) {
    const int32_t n = std::min<int32_t>(terms, brdf.stored_terms());
    return n > 0 ? n : 0;
}

int32_t BandsFor(int32_t terms) {
    int32_t bands = 0;
    while (bands * bands < terms)
        ++bands;
    return bands;
}

size_t PixelCount(const BrdfImage& brdf) {
    if (brdf.width <= 0 || brdf.height <= 0) return 0;
    return static_cast<size_t>(brdf.width) * static_cast<size_t>(brdf.height);
}

bool WindowPixelsFit(const BrdfImage& brdf, size_t pixel_bytes) {
    return pixel_bytes >= PixelCount(brdf) * 3;
}

bool WindowArraysFit(const BrdfImage& brdf, size_t pixel_bytes,
                     std::initializer_list<size_t> per_pixel) {
    const size_t n = PixelCount(brdf);
    if (pixel_bytes < n * 3) return false;
    for (size_t size : per_pixel)
        if (size < n) return false;
    return true;
}

bool WindowLightsFit(const BrdfImage& brdf, size_t pixel_bytes, int32_t& count,
                     std::initializer_list<size_t> per_light) {
    if (count < 0) count = 0;
    if (count > MAX_LIGHTS) count = MAX_LIGHTS;
    if (pixel_bytes < PixelCount(brdf) * 3) return false;
    for (size_t size : per_light)
        if (size < static_cast<size_t>(count)) return false;
    return true;
}

void PrintWindow(const MessageSink& progress, const PixelWindow& w) {
    if (progress)
        progress(StrPrintf("Reconstruct window xmin=%d xmax=%d, ymin=%d ymax=%d\n", w.x0,
                           w.x1, w.y0, w.y1));
}

int32_t LightsInUse(std::span<const LightSrc> lights, int32_t count) {
    if (count <= 0) return 0;
    int32_t n = count < MAX_LIGHTS ? count : MAX_LIGHTS;
    if (static_cast<size_t>(n) > lights.size()) n = static_cast<int32_t>(lights.size());
    return n;
}

int32_t LightsInUse(std::span<const LightSrc> lights) {
    return lights.size() < static_cast<size_t>(MAX_LIGHTS)
               ? static_cast<int32_t>(lights.size())
               : MAX_LIGHTS;
}

ReconMode ChooseMode(std::span<const LightSrc> lights, int32_t count) {
    const int32_t n = LightsInUse(lights, count);
    if (n == 0) return ReconMode::kNone;
    if (n >= 2) return ReconMode::kSeveral;
    switch (lights[0].kind) {
        case Directional:
            return ReconMode::kDirectional;
        case Point:
            return ReconMode::kPoint;
        case SlideProjector:
            return ReconMode::kSlide;
        case Environment:
            return lights[0].HasEnvironment() ? ReconMode::kEnvironment
                                              : ReconMode::kNone;
        default:
            return ReconMode::kNone;
    }
}

bool ImageWanted(const SlabRecord& slab, int32_t j, int32_t i, uint8_t preview,
                 const MessageSink& errors) {
    const size_t k = static_cast<size_t>(i) * static_cast<size_t>(slab.samples_u) +
                     static_cast<size_t>(j);
    if (k >= slab.viewenablemask[0].size() || slab.viewenablemask[0][k] == 0)
        return false;
    if (preview && k < slab.subskip[0].size() && slab.subskip[0][k] != 0) return false;
    const int32_t W = slab.samples_s;
    const int32_t H = slab.samples_t;
    const BrdfImage* brdf = k < slab.brdf.size() ? &slab.brdf[k] : nullptr;
    const Photo* photo = k < slab.photo[0].size() ? &slab.photo[0][k] : nullptr;
    const size_t bytes =
        W > 0 && H > 0 ? static_cast<size_t>(W) * static_cast<size_t>(H) * 3 : size_t{0};
    if (brdf != nullptr && photo != nullptr && bytes > 0 && brdf->width == W &&
        brdf->height == H && photo->width == W && photo->height == H &&
        photo->pixels.size() == bytes)
        return true;
    if (errors)
        errors(StrPrintf(
            "[ReconstructAll]: image (%d,%d) skipped: its coefficients are %d x %d, "
            "its image %d x %d, the slab's images %d x %d\n",
            j, i, brdf ? brdf->width : 0, brdf ? brdf->height : 0,
            photo ? photo->width : 0, photo ? photo->height : 0, W, H));
    return false;
}

Status AllocPixelAngles(size_t pixels, bool with_intensity, PixelAngles& out) {
    const bool ok = TryAssign(out.cost, pixels, 0.0f) &&
                    TryAssign(out.cosp, pixels, 0.0f) &&
                    TryAssign(out.sinp, pixels, 0.0f) &&
                    (!with_intensity || TryAssign(out.intensity, pixels, Rgb{}));
    if (ok) return Status::Ok();
    out = PixelAngles();
    return Status::Error(with_intensity ? "no memory for cost, cosp, sinp, intensity\n"
                                        : "no memory for cost, cosp, sinp\n");
}

}  // namespace lumo
