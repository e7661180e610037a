#include "testing/recon_reference.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/alloc.h"
#include "base/str_printf.h"
#include "relight/recon_common.h"
#include "relight/recon_dispatch.h"
#include "relight/sh_basis.h"

namespace lumo::reference {
namespace {

size_t Index(const BrdfImage& brdf, int32_t x, int32_t y) {
    return static_cast<size_t>(y) * static_cast<size_t>(brdf.width) +
           static_cast<size_t>(x);
}

// Every pixel's coefficients per channel, as the reference walks the image
// pixel by pixel: built once per call from the tiles.
class PixelTable {
  public:
    explicit PixelTable(const BrdfImage& brdf) {
        for (std::vector<ShPixel>& c : sh_)
            c.assign(PixelCount(brdf), ShPixel{});
        for (int32_t t = 0; t < brdf.tile_count; ++t) {
            for (int32_t lane = 0; lane < kShLanes; ++lane) {
                const int32_t e =
                    brdf.tile_pixel[static_cast<size_t>(t * kShLanes + lane)];
                if (e < 0 || static_cast<size_t>(e) >= sh_[0].size()) continue;
                for (int ch = 0; ch < 3; ++ch) {
                    if (brdf.tile_mask[static_cast<size_t>(t * 3 + ch)] & (1u << lane))
                        sh_[ch][static_cast<size_t>(e)] = brdf.LanePixel(t, ch, lane);
                }
            }
        }
    }
    const std::vector<ShPixel>& operator[](int ch) const { return sh_[ch]; }

  private:
    std::vector<ShPixel> sh_[3];
};

bool AnyChannel(const PixelTable& sh, size_t e) {
    return sh[0][e].present() || sh[1][e].present() || sh[2][e].present();
}

// The image loop of every slab driver: step(j, i, k) for each image to
// reconstruct, after its line is printed and its pixels cleared; a step's
// failure ends the loop and is returned.
template <class Step>
Status ImageLoop(SlabRecord& slab, const ReconRequest& request, Step step) {
    for (int32_t i = 0; i < slab.samples_v; ++i) {
        for (int32_t j = 0; j < slab.samples_u; ++j) {
            if (!ImageWanted(slab, j, i, request.preview, request.errors)) continue;
            const size_t k =
                static_cast<size_t>(i) * static_cast<size_t>(slab.samples_u) +
                static_cast<size_t>(j);
            Emit(request.progress, StrPrintf("Reconstructing image (%d,%d) ...\n", j, i));
            slab.photo[0][k].Clear();
            if (Status s = step(j, i, k); !s.ok()) return s;
        }
    }
    return Status::Ok();
}

// Per-pixel angles toward a local light for the pixels of image k that have
// coefficients; with `slide` also the projector's intensity toward them.
// `projector` is the slide projector in the slide mode, null in the point mode.
void LocalLightAngles(const SlabRecord& slab, const SlabFrame& frame, int32_t j,
                      int32_t i, size_t k, const LightSrc& light, LightSrc* projector,
                      PixelAngles& angles, const MessageSink& progress) {
    const BrdfImage& brdf = slab.brdf[k];
    const Vec3 E = EyePoint(slab, j, i);
    const Zfile* z = DepthMapOf(slab, k);
    const PixelTable sh(brdf);
    for (int32_t y = brdf.ymin; y <= brdf.ymax; ++y) {
        for (int32_t x = brdf.xmin; x <= brdf.xmax; ++x) {
            const size_t e = Index(brdf, x, y);
            if (!AnyChannel(sh, e)) continue;
            const Vec3 X = SurfacePoint(frame, E, z, x, y);
            const Vec3 L = TowardLight(light.position, X);
            const ShAngles a = LightAngles(L, frame.n, frame.s, frame.t);
            angles.cost[e] = a.cost;
            angles.cosp[e] = a.cosp;
            angles.sinp[e] = a.sinp;
            // A slide projector's lookup (LightSrc::GetIntenInDir): the frame
            // brought up to date, then the intensity leaving it toward X.
            if (projector) {
                if (projector->changed) projector->UpdateSlideFrame(progress);
                angles.intensity[e] = projector->SlideIntensity(Vec3(-L.x, -L.y, -L.z));
            }
        }
    }
}

// The basis of `brdf`'s bands at one direction, written into Y (kMaxShTerms
// floats) and spanned by `basis`; the tables are grown first when they hold
// fewer bands (failing with their message when they cannot).
Status BasisFor(const BrdfImage& brdf, float cost, float cosp, float sinp, float* Y,
                std::span<const float>& basis) {
    const int32_t bands = brdf.lcnt > 0 ? brdf.lcnt : 0;
    if (Status s = EnsureShBands(bands); !s.ok()) return s;
    EvalShBasis(cost, cosp, sinp, bands - 1, Y);
    basis = {Y, static_cast<size_t>(bands) * static_cast<size_t>(bands)};
    return Status::Ok();
}

// An environment's basis for one channel.
std::span<const float> EnvChannel(const EnvBasis& env, int ch) {
    return {env.Y[ch], static_cast<size_t>(kMaxShTerms)};
}

// One light of the several-lights mode: a directional light's angles, or an
// environment's basis per channel.
struct SeveralLight {
    ShAngles angles;
    const EnvBasis* env = nullptr;
    Rgb color;
};

// The several-lights accumulation buffer, sized for this image and cleared
// row by row from a zero row.
Status AccumulationBuffer(const BrdfImage& brdf, size_t n, std::vector<float>& buf) {
    std::vector<float> zero_row;
    const size_t row = static_cast<size_t>(brdf.width > 0 ? brdf.width : 0) * 3;
    if (!TryAssign(buf, n * 3, 0.0f) || !TryAssign(zero_row, row, 0.0f))
        return Status::Error("[ReconWMultDirLight]: no memory for buf\n");
    for (int32_t y = 0; y < brdf.height; ++y)
        std::memcpy(buf.data() + static_cast<size_t>(y) * row, zero_row.data(),
                    row * sizeof(float));
    return Status::Ok();
}

// The several-lights window function over lights of either kind.
Status ReconSeveral(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya, int32_t yb,
                    std::span<const SeveralLight> lights, std::span<uint8_t> pixels,
                    int32_t terms, const MessageSink& progress) {
    const size_t n = PixelCount(brdf);
    if (pixels.size() < n * 3) return Status::Ok();
    std::vector<float> buf;
    if (Status s = AccumulationBuffer(brdf, n, buf); !s.ok()) return s;

    const PixelTable sh(brdf);
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(progress, w);
    const int32_t sum = TermsFor(brdf, terms);
    float basis[kMaxShTerms];
    for (const SeveralLight& light : lights) {
        std::span<const float> Y;
        if (light.env == nullptr) {
            if (Status s = BasisFor(brdf, light.angles.cost, light.angles.cosp,
                                    light.angles.sinp, basis, Y);
                !s.ok())
                return s;
        }
        const float f[3] = {light.color.r * 255.0f, light.color.g * 255.0f,
                            light.color.b * 255.0f};
        for (int32_t y = w.y0; y <= w.y1; ++y) {
            for (int32_t x = w.x0; x <= w.x1; ++x) {
                const size_t e = Index(brdf, x, y);
                for (int ch = 0; ch < 3; ++ch) {
                    if (!sh[ch][e].present()) continue;
                    const float v =
                        light.env != nullptr
                            ? EvalShPixel(EnvChannel(*light.env, ch), sh[ch][e], sum)
                            : EvalShPixel(Y, sh[ch][e], sum);
                    buf[3 * e + ch] = buf[3 * e + ch] + v * f[ch];
                }
            }
        }
    }
    for (int32_t y = w.y0; y <= w.y1; ++y) {
        for (int32_t x = w.x0; x <= w.x1; ++x) {
            const size_t e = Index(brdf, x, y);
            for (int ch = 0; ch < 3; ++ch)
                pixels[3 * e + ch] = ToByte(buf[3 * e + ch]);
        }
    }
    return Status::Ok();
}

}  // namespace

Status ProjectEnvironment(const EnvMap& map, const EnvFrame& frame, const Vec3& n,
                          const Vec3& s, const Vec3& t, int32_t bands, EnvBasis& out) {
    out = EnvBasis();
    bands = std::clamp(bands, 0, kMaxShBands);
    out.bands = bands;
    const int32_t W = map.width, H = map.height;
    if (bands == 0 || W <= 0 || H <= 0) return Status::Ok();
    if (Status status = EnsureShBands(bands); !status.ok()) return status;
    const size_t terms = static_cast<size_t>(bands) * static_cast<size_t>(bands);
    std::vector<double> E(3 * terms, 0.0);
    std::vector<double> row(3 * terms);
    for (int32_t j = 0; j < H; ++j) {
        std::fill(row.begin(), row.end(), 0.0);
        for (int32_t i = 0; i < W; ++i) {
            const Vec3 d = EnvTexelDirection(frame, W, H, i, j);
            const ShAngles a = LightAngles(d, n, s, t);
            float Y[kMaxShTerms];
            EvalShBasis(a.cost, a.cosp, a.sinp, bands - 1, Y);
            for (size_t c = 0; c < 3; ++c) {
                const double L = static_cast<double>(map.At(i, j, static_cast<int>(c)));
                for (size_t k = 0; k < terms; ++k)
                    row[c * terms + k] =
                        row[c * terms + k] + L * static_cast<double>(Y[k]);
            }
        }
        const double domega = EnvTexelSolidAngle(W, H, j);
        for (size_t k = 0; k < 3 * terms; ++k)
            E[k] = E[k] + row[k] * domega;
    }
    for (size_t c = 0; c < 3; ++c)
        for (size_t k = 0; k < terms; ++k)
            out.Y[c][k] = static_cast<float>(E[c * terms + k] / 3.14159265358979323846);
    return Status::Ok();
}

Status RelightWindowEnvironment(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                                int32_t yb, const EnvBasis& basis, const float color[3],
                                std::span<uint8_t> pixels, int32_t terms,
                                const MessageSink& progress) {
    if (!WindowPixelsFit(brdf, pixels.size())) return Status::Ok();
    const PixelTable sh(brdf);
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(progress, w);
    const float f[3] = {color[0] * 255.0f, color[1] * 255.0f, color[2] * 255.0f};
    const int32_t sum = std::min(TermsFor(brdf, terms), kMaxShTerms);
    for (int32_t y = w.y0; y <= w.y1; ++y) {
        for (int32_t x = w.x0; x <= w.x1; ++x) {
            const size_t e = Index(brdf, x, y);
            for (int ch = 0; ch < 3; ++ch) {
                if (!sh[ch][e].present()) continue;
                pixels[3 * e + ch] =
                    ToByte(EvalShPixel(EnvChannel(basis, ch), sh[ch][e], sum) * f[ch]);
            }
        }
    }
    return Status::Ok();
}

Status RelightWindowDirectional(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                                int32_t yb, float cost, float cosp, float sinp,
                                const float color[3], std::span<uint8_t> pixels,
                                int32_t terms, const MessageSink& progress) {
    if (!WindowPixelsFit(brdf, pixels.size())) return Status::Ok();
    const PixelTable sh(brdf);
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(progress, w);
    float basis[kMaxShTerms];
    std::span<const float> Y;
    if (Status s = BasisFor(brdf, cost, cosp, sinp, basis, Y); !s.ok()) return s;
    const float f[3] = {color[0] * 255.0f, color[1] * 255.0f, color[2] * 255.0f};
    const int32_t sum = TermsFor(brdf, terms);
    for (int32_t y = w.y0; y <= w.y1; ++y) {
        for (int32_t x = w.x0; x <= w.x1; ++x) {
            const size_t e = Index(brdf, x, y);
            for (int ch = 0; ch < 3; ++ch) {
                if (!sh[ch][e].present()) continue;
                pixels[3 * e + ch] = ToByte(EvalShPixel(Y, sh[ch][e], sum) * f[ch]);
            }
        }
    }
    return Status::Ok();
}

Status RelightWindowPoint(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                          int32_t yb, std::span<const float> cost,
                          std::span<const float> cosp, std::span<const float> sinp,
                          const float color[3], std::span<uint8_t> pixels, int32_t terms,
                          const MessageSink& progress) {
    if (!WindowArraysFit(brdf, pixels.size(), {cost.size(), cosp.size(), sinp.size()}))
        return Status::Ok();
    const PixelTable sh(brdf);
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(progress, w);
    const int32_t sum = TermsFor(brdf, terms);
    float basis[kMaxShTerms];
    for (int32_t y = w.y0; y <= w.y1; ++y) {
        for (int32_t x = w.x0; x <= w.x1; ++x) {
            const size_t e = Index(brdf, x, y);
            if (!AnyChannel(sh, e)) continue;
            std::span<const float> Y;
            if (Status s = BasisFor(brdf, cost[e], cosp[e], sinp[e], basis, Y); !s.ok())
                return s;
            for (int ch = 0; ch < 3; ++ch) {
                if (!sh[ch][e].present()) continue;
                pixels[3 * e + ch] =
                    ToByte(EvalShPixel(Y, sh[ch][e], sum) * (color[ch] * 255.0f));
            }
        }
    }
    return Status::Ok();
}

Status RelightWindowSlide(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                          int32_t yb, std::span<const float> cost,
                          std::span<const float> cosp, std::span<const float> sinp,
                          std::span<const Rgb> intensity, std::span<uint8_t> pixels,
                          int32_t terms, const MessageSink& progress) {
    if (!WindowArraysFit(brdf, pixels.size(),
                         {cost.size(), cosp.size(), sinp.size(), intensity.size()}))
        return Status::Ok();
    const PixelTable sh(brdf);
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    Emit(progress,
         StrPrintf(
             "\n\nRecontruct with slide projector source for win x:[%d,%d], y:[%d,%d]\n",
             w.x0, w.x1, w.y0, w.y1));
    const int32_t sum = TermsFor(brdf, terms);
    float basis[kMaxShTerms];
    for (int32_t y = w.y0; y <= w.y1; ++y) {
        for (int32_t x = w.x0; x <= w.x1; ++x) {
            const size_t e = Index(brdf, x, y);
            const Rgb I = intensity[e];
            if (!AnyChannel(sh, e) || (I.r == 0.0f && I.g == 0.0f && I.b == 0.0f)) {
                pixels[3 * e] = pixels[3 * e + 1] = pixels[3 * e + 2] = 0;
                continue;
            }
            std::span<const float> Y;
            if (Status s = BasisFor(brdf, cost[e], cosp[e], sinp[e], basis, Y); !s.ok())
                return s;
            const float in[3] = {I.r, I.g, I.b};
            for (int ch = 0; ch < 3; ++ch) {
                pixels[3 * e + ch] =
                    sh[ch][e].present()
                        ? ToByte(EvalShPixel(Y, sh[ch][e], sum) * in[ch] * 255.0f)
                        : 0;
            }
        }
    }
    return Status::Ok();
}

Status RelightWindowSeveral(const BrdfImage& brdf, int32_t xa, int32_t xb, int32_t ya,
                            int32_t yb, std::span<const float> cost,
                            std::span<const float> cosp, std::span<const float> sinp,
                            std::span<const Rgb> colors, int32_t count,
                            std::span<uint8_t> pixels, int32_t terms,
                            const MessageSink& progress) {
    if (!WindowLightsFit(brdf, pixels.size(), count,
                         {cost.size(), cosp.size(), sinp.size(), colors.size()}))
        return Status::Ok();
    const size_t lights = static_cast<size_t>(count);
    std::vector<float> buf;
    if (Status s = AccumulationBuffer(brdf, PixelCount(brdf), buf); !s.ok()) return s;

    const PixelTable sh(brdf);
    const PixelWindow w = ClipWindow(brdf, xa, xb, ya, yb);
    PrintWindow(progress, w);
    const int32_t sum = TermsFor(brdf, terms);
    float basis[kMaxShTerms];
    for (size_t m = 0; m < lights; ++m) {
        std::span<const float> Y;
        if (Status s = BasisFor(brdf, cost[m], cosp[m], sinp[m], basis, Y); !s.ok())
            return s;
        const float f[3] = {colors[m].r * 255.0f, colors[m].g * 255.0f,
                            colors[m].b * 255.0f};
        for (int32_t y = w.y0; y <= w.y1; ++y) {
            for (int32_t x = w.x0; x <= w.x1; ++x) {
                const size_t e = Index(brdf, x, y);
                for (int ch = 0; ch < 3; ++ch) {
                    if (!sh[ch][e].present()) continue;
                    buf[3 * e + ch] =
                        buf[3 * e + ch] + EvalShPixel(Y, sh[ch][e], sum) * f[ch];
                }
            }
        }
    }
    for (int32_t y = w.y0; y <= w.y1; ++y) {
        for (int32_t x = w.x0; x <= w.x1; ++x) {
            const size_t e = Index(brdf, x, y);
            for (int ch = 0; ch < 3; ++ch)
                pixels[3 * e + ch] = ToByte(buf[3 * e + ch]);
        }
    }
    return Status::Ok();
}

Status RelightSlabDirectional(SlabRecord& slab, const ReconRequest& request) {
    if (slab.format != kFormatBRDF || request.lights.empty()) return Status::Ok();
    const LightSrc& light = request.lights[0];
    const SlabFrame frame = MakeSlabFrame(slab);
    Vec3 L(-light.direction.x, -light.direction.y, -light.direction.z);
    VecNormalize(L);
    const ShAngles a = LightAngles(L, frame.n, frame.s, frame.t);
    return ImageLoop(slab, request, [&](int32_t, int32_t, size_t k) {
        return RelightWindowDirectional(
            slab.brdf[k], 0, frame.W - 1, 0, frame.H - 1, a.cost, a.cosp, a.sinp,
            light.color, slab.photo[0][k].pixels, request.terms, request.progress);
    });
}

Status RelightSlabPoint(SlabRecord& slab, const ReconRequest& request) {
    if (slab.format != kFormatBRDF || request.lights.empty()) return Status::Ok();
    const LightSrc& light = request.lights[0];
    const SlabFrame frame = MakeSlabFrame(slab);
    PixelAngles angles;
    const size_t pixels = frame.W > 0 && frame.H > 0 ? static_cast<size_t>(frame.W) *
                                                           static_cast<size_t>(frame.H)
                                                     : 0;
    if (Status s = AllocPixelAngles(pixels, false, angles); !s.ok()) return s;
    return ImageLoop(slab, request, [&](int32_t j, int32_t i, size_t k) {
        LocalLightAngles(slab, frame, j, i, k, light, nullptr, angles, request.progress);
        return RelightWindowPoint(slab.brdf[k], 0, frame.W - 1, 0, frame.H - 1,
                                  angles.cost, angles.cosp, angles.sinp, light.color,
                                  slab.photo[0][k].pixels, request.terms,
                                  request.progress);
    });
}

Status RelightSlabSlide(SlabRecord& slab, const ReconRequest& request) {
    if (slab.format != kFormatBRDF || request.lights.empty()) return Status::Ok();
    LightSrc& light = request.lights[0];
    const SlabFrame frame = MakeSlabFrame(slab);
    PixelAngles angles;
    const size_t pixels = frame.W > 0 && frame.H > 0 ? static_cast<size_t>(frame.W) *
                                                           static_cast<size_t>(frame.H)
                                                     : 0;
    if (Status s = AllocPixelAngles(pixels, true, angles); !s.ok()) return s;
    return ImageLoop(slab, request, [&](int32_t j, int32_t i, size_t k) {
        LocalLightAngles(slab, frame, j, i, k, light, &light, angles, request.progress);
        return RelightWindowSlide(slab.brdf[k], 0, frame.W - 1, 0, frame.H - 1,
                                  angles.cost, angles.cosp, angles.sinp, angles.intensity,
                                  slab.photo[0][k].pixels, request.terms,
                                  request.progress);
    });
}

Status RelightSlabEnvironment(SlabRecord& slab, const ReconRequest& request) {
    if (slab.format != kFormatBRDF || request.lights.empty()) return Status::Ok();
    const LightSrc& light = request.lights[0];
    if (!light.HasEnvironment()) return Status::Ok();
    const SlabFrame frame = MakeSlabFrame(slab);
    EnvBasis basis;
    if (Status s =
            reference::ProjectEnvironment(*light.envmap, light.GetEnvFrame(), frame.n,
                                          frame.s, frame.t, SlabEnvBands(slab), basis);
        !s.ok())
        return s;
    return ImageLoop(slab, request, [&](int32_t, int32_t, size_t k) {
        return RelightWindowEnvironment(slab.brdf[k], 0, frame.W - 1, 0, frame.H - 1,
                                        basis, light.color, slab.photo[0][k].pixels,
                                        request.terms, request.progress);
    });
}

Status RelightSlabSeveral(SlabRecord& slab, const ReconRequest& request) {
    if (slab.format != kFormatBRDF) return Status::Ok();
    const std::span<const LightSrc> lights = request.lights;
    const int32_t n = LightsInUse(lights);
    const SlabFrame frame = MakeSlabFrame(slab);
    std::vector<SeveralLight> several(static_cast<size_t>(n));
    std::vector<EnvBasis> env(static_cast<size_t>(n));
    for (int32_t m = 0; m < n; ++m) {
        const LightSrc& light = lights[m];
        SeveralLight& out = several[static_cast<size_t>(m)];
        out.color = light.GetColor();
        if (light.HasEnvironment()) {
            EnvBasis& e = env[static_cast<size_t>(m)];
            if (Status s = reference::ProjectEnvironment(
                    *light.envmap, light.GetEnvFrame(), frame.n, frame.s, frame.t,
                    SlabEnvBands(slab), e);
                !s.ok())
                return s;
            out.env = &e;
            continue;
        }
        Vec3 L(-light.direction.x, -light.direction.y, -light.direction.z);
        VecNormalize(L);
        out.angles = LightAngles(L, frame.n, frame.s, frame.t);
    }
    return ImageLoop(slab, request, [&](int32_t, int32_t, size_t k) {
        return ReconSeveral(slab.brdf[k], 0, frame.W - 1, 0, frame.H - 1, several,
                            slab.photo[0][k].pixels, request.terms, request.progress);
    });
}

Status ReconstructAll(LidInfo& info, const ReconRequest& request) {
    static constexpr SlabDrivers kDrivers{
        .directional = &RelightSlabDirectional,
        .point = &RelightSlabPoint,
        .slide = &RelightSlabSlide,
        .environment = &RelightSlabEnvironment,
        .several = &RelightSlabSeveral,
    };
    return ReconstructSlabs(info, request, kDrivers);
}

}  // namespace lumo::reference
