#include "relight/light_source.h"

#include <cmath>
#include <cstdio>

#include "base/bounded_copy.h"
#include "base/str_printf.h"
#include "io/sgi_image.h"

namespace lumo {
namespace {

constexpr double kHalfDegree = 0.008726646259971648;  // pi / 360
// A projected up vector shorter than this has no direction: the projector's
// axis runs along the y axis.
constexpr float kMinUpLength = 1e-6f;

bool Finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The point of plane (n, d) closest to `point`: point - (n.point + d) n.
Vec3 ProjectPointOnPlane(const Vec3& point, const Vec3& n, float d) {
    const float dist = VecDot(n, point) + d;
    Vec3 out = point;
    VecAddScaled(n, -dist, out);
    return out;
}

}  // namespace

Rgb SampleSlide(const Photo& photo, float s, float t) {
    const int32_t w = photo.width;
    const int32_t h = photo.height;
    if (w <= 0 || h <= 0 ||
        photo.pixels.size() < static_cast<size_t>(w) * static_cast<size_t>(h) * 3)
        return {};
    const float x = static_cast<float>(w) * s;
    const float y = static_cast<float>(h) * t;
    if (!std::isfinite(x) || !std::isfinite(y)) return {};
    int32_t ix =
        static_cast<int32_t>(std::fmax(0.0f, std::fmin(x, static_cast<float>(w - 1))));
    int32_t iy =
        static_cast<int32_t>(std::fmax(0.0f, std::fmin(y, static_cast<float>(h - 1))));
    const float fx = x - static_cast<float>(ix);
    const float fy = y - static_cast<float>(iy);
    const int32_t ix1 = ix + 1 < w ? ix + 1 : w - 1;
    const int32_t iy1 = iy + 1 < h ? iy + 1 : h - 1;
    const uint8_t* px = photo.pixels.data();
    auto p = [&](int32_t col, int32_t row, int ch) {
        return static_cast<float>(px[(static_cast<size_t>(row) * static_cast<size_t>(w) +
                                      static_cast<size_t>(col)) *
                                         3 +
                                     static_cast<size_t>(ch)]);
    };
    float v[3];
    for (int ch = 0; ch < 3; ++ch) {
        v[ch] = ((1.0f - fy) * (fx * p(ix1, iy, ch) + (1.0f - fx) * p(ix, iy, ch)) +
                 fy * (fx * p(ix1, iy1, ch) + (1.0f - fx) * p(ix, iy1, ch))) *
                0.003921569f;
    }
    return {v[0], v[1], v[2]};
}

void LightSrc::Init() {
    kind = Directional;
    color[0] = color[1] = color[2] = color[3] = 1.0f;
    direction = Vec4(0.0f, 0.0f, -1.0f, 0.0f);
    position = Vec4(0.0f, 0.0f, 3.0f, 1.0f);
    radius = 3.0f;
    changed = 1;
    slidename[0] = '\0';
    slideup = Vec4(0.0f, 1.0f, 0.0f, 0.0f);
    slidelookat = Vec4(0.0f, 0.0f, 0.0f, 0.0f);
    slidehangle = 30.0f;
    slidevangle = 30.0f;
    envmap.reset();
    envspin = 0.0f;
    envcache.Clear();
}

EnvFrame LightSrc::GetEnvFrame() const {
    return MakeEnvFrame(direction, envspin);
}

Status LightSrc::SetEnvMap(const std::string& path) {
    std::shared_ptr<const EnvMap> map;
    Status status = LoadEnvMap(path, map);
    if (!status.ok()) return status;
    envmap = std::move(map);
    return Status::Ok();
}

int LightSrc::GetColorByte(int channel) const {
    if (channel < 0 || channel > 2) return -1;
    const double v = double{color[channel]} * 255.0;
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<int>(v);
}

void LightSrc::UpdatePosition() {
    Vec3 p = direction;
    VecScale(p, -radius);
    VecCopy(p, position);
}

void LightSrc::SetDirection(const Vec3& d) {
    VecCopy(d, direction);
    UpdatePosition();
    changed = 1;
}

void LightSrc::SetRadius(float r) {
    radius = r;
    UpdatePosition();
}

void LightSrc::SetKind(LightKind k) {
    kind = k;
    changed = 1;
}

void LightSrc::SetSlideLookAt(const Vec3& p) {
    VecCopy(p, slidelookat);
    changed = 1;
}

void LightSrc::SetSlideUp(const Vec3& up) {
    VecCopy(up, slideup);
    changed = 1;
}

Status LightSrc::SetSlideName(std::string_view name) {
    CopyBounded(slidename, name);
    if (kind != SlideProjector || slidename[0] == '\0')
        return Status::Error("This source is not a slide projector!!\n");
    bool loaded = false;  // a slide that does not load has no pixels: no light
    return ReadSGIRGB(slide, slidename, SgiReadOptions{}, WriteToStderr, loaded);
}

Status LightSrc::SetSlide(std::string_view name, const Photo& image) {
    CopyBounded(slidename, name);
    if (kind != SlideProjector || slidename[0] == '\0')
        return Status::Error("This source is not a slide projector!!\n");
    slide = image;
    return Status::Ok();
}

void LightSrc::UpdateSlideFrame(const MessageSink& report) {
    if (kind != SlideProjector) return;
    Vec3 normal;
    VecSub(slidelookat, position, normal);
    const float axis_length = VecLength(normal);
    slidevalid = 0;
    if (axis_length > 0.0f && std::isfinite(axis_length)) {
        VecNormalize(normal);
        Vec3 center;
        VecAdd(position, normal, center);
        // The slide plane through the centre; its normal normalised again.
        Vec3 n = normal;
        VecNormalize(n);
        const float d = -VecDot(n, center);
        // World up projected into the slide plane.
        Vec3 up(0.0f, 1.0f, 0.0f);
        VecNormalize(up);
        Vec3 tip;
        VecAdd(center, up, tip);
        Vec3 p = ProjectPointOnPlane(tip, n, d);
        VecSub(p, center, up);
        Vec3 x;
        if (VecLength(up) >= kMinUpLength) {
            VecNormalize(up);
            VecCross(normal, up, x);
            VecNormalize(x);
            if (Finite(up) && Finite(x) && Finite(n)) slidevalid = 1;
        }
        VecCopy(normal, slidenormal);
        VecCopy(center, slidecenter);
        slideplane[0] = n.x;
        slideplane[1] = n.y;
        slideplane[2] = n.z;
        slideplane[3] = d;
        VecCopy(slidevalid ? up : Vec3(), slideup);
        VecCopy(slidevalid ? x : Vec3(), slidex);
    } else {
        // No axis: the frame stays undefined, with finite values.
        VecCopy(Vec3(), slidenormal);
        VecCopy(position, slidecenter);
        for (float& v : slideplane)
            v = 0.0f;
        VecCopy(Vec3(), slideup);
        VecCopy(Vec3(), slidex);
    }
    changed = 0;
    slidewidth = static_cast<float>(2.0 * std::tan(double{slidehangle} * kHalfDegree));
    slideheight = static_cast<float>(2.0 * std::tan(double{slidevangle} * kHalfDegree));

    if (!report) return;
    report(StrPrintf("slidename: %s\n", slidename));
    report(StrPrintf("light pos:   %f %f %f\n", position.x, position.y, position.z));
    report(StrPrintf("slidelookat: %f %f %f\n", slidelookat.x, slidelookat.y,
                     slidelookat.z));
    report(StrPrintf("slidecenter: %f %f %f\n", slidecenter.x, slidecenter.y,
                     slidecenter.z));
    report(StrPrintf("slidenormal: %f %f %f\n", slidenormal.x, slidenormal.y,
                     slidenormal.z));
    report(StrPrintf("slideup:     %f %f %f\n", slideup.x, slideup.y, slideup.z));
    report(StrPrintf("slidex:      %f %f %f\n", slidex.x, slidex.y, slidex.z));
    report(StrPrintf("width: %f  height: %f\n", slidewidth, slideheight));
    report(StrPrintf("slidehangle: %f slidevangle: %f\n", slidehangle, slidevangle));
}

Rgb LightSrc::SlideIntensity(const Vec3& d) const {
    if (!slidevalid) return {};
    const Vec3 n(slideplane[0], slideplane[1], slideplane[2]);
    if (!(VecDot(d, n) > kSlideMargin)) return {};
    // Where the ray from the light meets the slide plane.
    Vec3 dir = d;
    VecNormalize(dir);
    const float along = -(VecDot(n, position) + slideplane[3]) / VecDot(n, dir);
    Vec3 hit = position;
    VecAddScaled(dir, along, hit);
    Vec3 rel;
    VecSub(hit, slidecenter, rel);
    const float s = VecDot(rel, slidex) / slidewidth + 0.5f;
    const float t = VecDot(rel, slideup) / slideheight + 0.5f;
    if (!(s > kSlideMargin && t > kSlideMargin && s < 1.0 - kSlideMargin &&
          t < 1.0 - kSlideMargin))
        return {};
    const Rgb sample = SampleSlide(slide, s, t);
    return {sample.r * color[0], sample.g * color[1], sample.b * color[2]};
}

Status LightSrc::GetIntenInDir(const Vec3& d, Rgb& out, const MessageSink& report) {
    if (kind != SlideProjector)
        return Status::Error(
            "[LightSrc::GetIntenInDir]: you are not using slide projector!!\n");
    if (changed) UpdateSlideFrame(report);
    out = SlideIntensity(d);
    return Status::Ok();
}

}  // namespace lumo
