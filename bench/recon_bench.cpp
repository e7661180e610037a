// Reconstruction speed: the figures a user waits on after every light change.
//
// Builds an in-memory BRDF slab of 8 x 8 reference images of 256 x 256 pixels
// with 25 coefficients (5 bands) per pixel and channel, every pixel present,
// and times ReconstructAll in the directional mode, the several-lights mode
// with 4 and with 30 directional lights of various colours, the point mode,
// the slide projector (a 64 x 64 slide covering the slab), mixed lights (a
// point light, the projector, a directional light and the sky, each by its own
// kind, and the four directional lights mixed) and the environment
// light (the baked sky at 1024 x 512, its projection kept from the warm-up
// call, as the viewer keeps it between light changes that do not turn it):
// milliseconds per call, megapixels per second, the speed-up over the sequential
// reference, and for the directional mode the rate at which coefficient bytes are read
// against this machine's streaming read bandwidth, measured in the same run by a plain
// summing pass over the coefficient blocks. Every production result is checked byte for
// byte against the reference before its figures are printed. Also times the
// projection of that map onto one slab's basis.
//
// --lanes 8 forces the eight-lane tile loops (AVX2 or baseline) on a machine
// that would run the sixteen-lane AVX-512 ones.
//
// --half keeps the coefficients as half floats (the reference then runs on the
// same rounded coefficients) and builds the float slab beside it: each mode is
// timed on both, and the half path's bytes are compared with the float path's
// (the largest difference and the share of bytes that differ).
//
//   recon_bench [--reps N] [--threads N] [--no-reference] [--only MODE] [--lanes 8|16]
//               [--half]
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bake/sky_map.h"
#include "base/fatal.h"
#include "base/parallel_for.h"
#include "relight/brdf_file.h"
#include "relight/env_map.h"
#include "relight/env_projection.h"
#include "relight/recon_lanes.h"
#include "relight/reconstruct.h"
#include "relight/sh_basis.h"
#include "testing/recon_reference.h"

namespace {

using namespace lumo;

constexpr int32_t kGrid = 8;
constexpr int32_t kSide = 256;
constexpr int32_t kBands = 5;
constexpr int32_t kTerms = kBands * kBands;

// Processor time of the whole process (all threads), to tell a slow machine
// from a machine shared with other work.
double CpuNow() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double Now() {
    return std::chrono::duration<double>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A fast deterministic generator for the coefficients.
struct XorShift {
    uint64_t s = 0x9E3779B97F4A7C15ull;
    float Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<float>(s >> 40) / static_cast<float>(1 << 24);  // 0..1
    }
};

void MakeSlab(SlabRecord& slab, bool half) {
    slab.Clear();
    slab.format = kFormatBRDF;
    slab.samples_u = slab.samples_v = kGrid;
    slab.samples_s = slab.samples_t = kSide;
    const Vec4 uv[4] = {{-1, -1, 2, 1}, {1, -1, 2, 1}, {1, 1, 2, 1}, {-1, 1, 2, 1}};
    const Vec4 st[4] = {{-0.5f, -0.5f, 0, 1},
                        {0.5f, -0.5f, 0, 1},
                        {0.5f, 0.5f, 0, 1},
                        {-0.5f, 0.5f, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        slab.corner_vert[kPlaneUV][i] = uv[i];
        slab.corner_vert[kPlaneST][i] = st[i];
    }
    slab.normal = Vec3(0, 0, 1);
    const size_t images = kGrid * kGrid;
    const size_t pixels = static_cast<size_t>(kSide) * kSide;
    slab.viewenablemask[0].assign(images, 1);
    slab.subskip[0].assign(images, 0);
    slab.photo[0].resize(images);
    slab.brdf.resize(images);
    slab.zfile.resize(images);
    XorShift rng;
    for (size_t k = 0; k < images; ++k) {
        FatalIfError(slab.photo[0][k].Alloc(kSide, kSide));
        BrdfFileData data;
        data.width = data.height = kSide;
        data.lcnt = kBands;
        data.harcnt = kTerms;
        for (int ch = 0; ch < 3; ++ch) {
            data.count[ch] = static_cast<int32_t>(pixels);
            data.bitmap[ch].assign(data.BitmapBytes(), 0xFF);
            data.CC[ch].resize(pixels * kTerms);
            for (size_t i = 0; i < data.CC[ch].size(); ++i)
                data.CC[ch][i] = i % kTerms == 0 ? 2.0f + rng.Next() : rng.Next() - 0.5f;
        }
        FatalIfError(AssembleBrdfImage(data, slab.brdf[k], half));
        Zfile& z = slab.zfile[k];
        z.width = z.height = kSide;
        z.depth.resize(pixels);
        for (float& d : z.depth)
            d = 1.9f + 0.2f * rng.Next();
    }
}

std::vector<uint8_t> AllPixels(const SlabRecord& slab) {
    std::vector<uint8_t> all;
    for (const Photo& p : slab.photo[0])
        all.insert(all.end(), p.pixels.begin(), p.pixels.end());
    return all;
}

// Streaming read: sums every coefficient block with several independent
// vector accumulators, so that memory, not the adder, sets the pace.
double SumPassSeconds(const SlabRecord& slab, bool all_threads, float& sink) {
    typedef float V8 __attribute__((vector_size(32)));
    std::vector<float> partial(slab.brdf.size(), 0.0f);
    const double t0 = Now();
    auto sum_image = [&](size_t k) {
        const BrdfImage& b8 = slab.brdf[k];
        // A half block's bytes are summed as if they were floats: the pass
        // measures the memory, not the values.
        const float* c = b8.half ? reinterpret_cast<const float*>(b8.coeff_half.data())
                                 : b8.coeff.data();
        const size_t size = b8.half ? b8.coeff_half.size() / 2 : b8.coeff.size();
        V8 a = {}, b = {}, d = {}, e = {};
        const size_t n = size / 32 * 32;
        for (size_t i = 0; i < n; i += 32) {
            V8 v[4];
            std::memcpy(v, c + i, sizeof v);
            a += v[0];
            b += v[1];
            d += v[2];
            e += v[3];
        }
        const V8 s = a + b + d + e;
        float total = 0.0f;
        for (int lane = 0; lane < 8; ++lane)
            total += s[lane];
        partial[k] = total;
    };
    if (all_threads) {
        ParallelFor(slab.brdf.size(), 1, [&](size_t b, size_t e) {
            for (size_t k = b; k < e; ++k)
                sum_image(k);
        });
    } else {
        for (size_t k = 0; k < slab.brdf.size(); ++k)
            sum_image(k);
    }
    const double seconds = Now() - t0;
    for (float p : partial)
        sink += p;
    return seconds;
}

struct Timing {
    double median_ms = 0;
    double best_ms = 0;
    double cpu_ms = 0;  // processor time per call, all threads, median
};

Timing Time(int reps, const std::function<void()>& fn) {
    std::vector<double> ms, cpu;
    for (int r = 0; r < reps; ++r) {
        const double t0 = Now();
        const double c0 = CpuNow();
        fn();
        ms.push_back((Now() - t0) * 1000.0);
        cpu.push_back((CpuNow() - c0) * 1000.0);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    return {ms[ms.size() / 2], ms.front(), cpu[cpu.size() / 2]};
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 7;
    int threads = 0;
    bool reference = true;
    bool half = false;
    std::string only;  // one mode's name, for profiling
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--reps" && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--threads" && i + 1 < argc) {
            threads = std::atoi(argv[++i]);
        } else if (a == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (a == "--lanes" && i + 1 < argc) {
            SetReconLaneWidth(std::atoi(argv[++i]));
        } else if (a == "--no-reference") {
            reference = false;
        } else if (a == "--half") {
            half = true;
        } else {
            std::fprintf(stderr,
                         "usage: recon_bench [--reps N] [--threads N] [--no-reference] "
                         "[--only MODE] [--lanes 8|16] [--half]\n");
            return 2;
        }
    }
    if (threads > 0) SetParallelThreads(threads);

    std::printf(
        "building the slab: %d x %d images of %d x %d, %d coefficients per pixel "
        "and channel, all pixels present%s ...\n",
        kGrid, kGrid, kSide, kSide, kTerms,
        half ? ", as half floats (and as floats beside it)" : "");
    std::fflush(stdout);
    auto info = std::make_unique<LidInfo>();
    info->slab_count = 1;
    info->kind = kSceneSlab;
    SlabRecord& slab = info->slabs[0];
    MakeSlab(slab, half);
    // --half: the same slab with float coefficients.
    std::unique_ptr<LidInfo> float_info;
    if (half) {
        float_info = std::make_unique<LidInfo>();
        float_info->slab_count = 1;
        float_info->kind = kSceneSlab;
        MakeSlab(float_info->slabs[0], false);
    }
    const double megapixels = static_cast<double>(kGrid) * kGrid * kSide * kSide / 1e6;
    const double coeff_bytes = static_cast<double>(kGrid) * kGrid * kSide * kSide * 3 *
                               AvailableTerms(slab.brdf) *
                               (half ? sizeof(uint16_t) : sizeof(float));

    float sink = 0.0f;
    SumPassSeconds(slab, true, sink);  // warm up
    double bw1 = 0, bw2 = 0;
    for (int r = 0; r < 3; ++r) {
        bw1 = std::max(bw1, coeff_bytes / SumPassSeconds(slab, false, sink) / 1e9);
        bw2 = std::max(bw2, coeff_bytes / SumPassSeconds(slab, true, sink) / 1e9);
    }

    LightSrc dir;
    dir.SetDirection({0.3f, -0.2f, -1.0f});
    std::vector<LightSrc> one = {dir};
    std::vector<LightSrc> four(4);
    const Vec3 dirs[4] = {
        {0.3f, -0.2f, -1}, {-0.5f, 0.1f, -1}, {0, 0.6f, -1}, {0.8f, 0.8f, -1}};
    for (int m = 0; m < 4; ++m) {
        four[static_cast<size_t>(m)].SetDirection(dirs[m]);
        four[static_cast<size_t>(m)].color[m % 3] = 0.5f;
    }
    LightSrc point;
    point.SetKind(Point);
    point.SetDirection({0.2f, 0.1f, -1.0f});
    point.SetRadius(1.5f);
    std::vector<LightSrc> pt = {point};
    // Thirty directional lights spread over the upper half of the sphere of
    // directions, each of its own colour.
    std::vector<LightSrc> thirty(30);
    for (int m = 0; m < 30; ++m) {
        LightSrc& l = thirty[static_cast<size_t>(m)];
        const float a = 0.7f * static_cast<float>(m);
        const float r = 0.15f + 0.03f * static_cast<float>(m);
        l.SetDirection({r * std::cos(a), r * std::sin(a), -1.0f});
        l.color[0] = 0.02f + 0.003f * static_cast<float>(m % 7);
        l.color[1] = 0.02f + 0.004f * static_cast<float>(m % 5);
        l.color[2] = 0.02f + 0.005f * static_cast<float>(m % 3);
    }
    // A projector above the slab whose slide covers it: a 64 x 64 pattern.
    LightSrc projector;
    projector.SetKind(SlideProjector);
    projector.SetDirection({0.2f, 0.1f, -1.0f});
    projector.SetRadius(1.5f);
    projector.SetSlideLookAt({0.0f, 0.0f, 0.0f});
    projector.slidehangle = projector.slidevangle = 70.0f;
    FatalIfError(projector.slide.Alloc(64, 64));
    for (size_t i = 0; i < projector.slide.pixels.size(); ++i)
        projector.slide.pixels[i] = static_cast<uint8_t>(40 + (i * 37) % 200);
    std::vector<LightSrc> slide = {projector};
    LightSrc sky;
    sky.SetKind(Environment);
    sky.SetDirection({0.1f, 0.2f, -1.0f});
    sky.envspin = 30.0f;
    {
        auto map = std::make_shared<EnvMap>();
        FatalIfError(MakeEnvMap(tool::SkyMap(1024, 512), "sky", *map));
        sky.envmap = std::move(map);
    }
    std::vector<LightSrc> env = {sky};
    // Mixed lights: four lights of four kinds, each by its own kind, and the
    // four directional lights mixed (each its own pass instead of one shared
    // one).
    std::vector<LightSrc> kinds = {point, projector, four[0], sky};

    struct Mode {
        const char* name;
        std::vector<LightSrc>* lights;
        Timing prod;
        double ref_ms = 0;
        bool same = true;
        Timing flt = {};       // --half: the float path
        int max_diff = 0;      // --half: largest byte difference from it
        size_t differing = 0;  // and the bytes that differ
        size_t bytes = 0;
        uint8_t mixed = 0;  // ReconRequest::mixed
    } modes[] = {{"directional", &one, {}},
                 {"4 lights", &four, {}},
                 {"point", &pt, {}},
                 {"environment", &env, {}},
                 {"slide", &slide, {}},
                 {"30 lights", &thirty, {}},
                 {"4 mixed dir", &four, {}, 0, true, {}, 0, 0, 0, 1},
                 {"4 mixed", &kinds, {}, 0, true, {}, 0, 0, 0, 1}};

    std::printf("threads: %d (this machine has %d), tile loops of %d lanes\n",
                ParallelThreads(),
                static_cast<int>(std::max(1u, std::thread::hardware_concurrency())),
                ReconLaneWidth());
    for (Mode& m : modes) {
        if (!only.empty() && only != m.name) continue;
        std::vector<LightSrc>& L = *m.lights;
        // The engine's lines are not timed: they go nowhere.
        ReconRequest request;
        request.lights = L;
        request.terms = AvailableTerms(slab.brdf);
        request.progress = MessageSink();
        request.errors = MessageSink();
        request.mixed = m.mixed;
        std::vector<uint8_t> ref_pixels;
        if (reference) {
            const Timing r =
                Time(1, [&] { FatalIfError(reference::ReconstructAll(*info, request)); });
            m.ref_ms = r.median_ms;
            ref_pixels = AllPixels(slab);
        }
        Time(1, [&] { FatalIfError(ReconstructAll(*info, request)); });  // warm up
        if (reference) m.same = AllPixels(slab) == ref_pixels;
        m.prod = Time(reps, [&] { FatalIfError(ReconstructAll(*info, request)); });
        if (half) {
            const std::vector<uint8_t> got = AllPixels(slab);
            Time(1, [&] { FatalIfError(ReconstructAll(*float_info, request)); });
            m.flt =
                Time(reps, [&] { FatalIfError(ReconstructAll(*float_info, request)); });
            const std::vector<uint8_t> want = AllPixels(float_info->slabs[0]);
            m.bytes = want.size();
            for (size_t i = 0; i < want.size(); ++i) {
                const int d =
                    std::abs(static_cast<int>(want[i]) - static_cast<int>(got[i]));
                m.max_diff = std::max(m.max_diff, d);
                m.differing += d != 0;
            }
        }
    }

    std::printf(
        "streaming read bandwidth (summing %.0f MB): %.2f GB/s on 1 thread, %.2f GB/s "
        "on %d threads\n\n",
        coeff_bytes / 1e6, bw1, bw2, ParallelThreads());
    std::printf("%-12s %10s %10s %9s %9s %13s %9s  %s\n", "mode", "ms median", "ms best",
                "cpu ms", "MP/s", "reference ms", "speed-up", "bytes");
    for (const Mode& m : modes) {
        std::printf("%-12s %10.1f %10.1f %9.1f %9.1f ", m.name, m.prod.median_ms,
                    m.prod.best_ms, m.prod.cpu_ms,
                    megapixels / (m.prod.median_ms / 1000.0));
        if (reference) {
            std::printf("%13.0f %8.1fx  %s\n", m.ref_ms, m.ref_ms / m.prod.median_ms,
                        m.same ? "same as reference" : "DIFFER FROM REFERENCE");
        } else {
            std::printf("%13s %9s  -\n", "-", "-");
        }
    }
    if (half) {
        std::printf(
            "\nhalf against float coefficients (the same slab, the same lights):\n");
        std::printf("%-12s %10s %10s %9s %9s %14s\n", "mode", "half ms", "float ms",
                    "speed-up", "max diff", "bytes differ");
        for (const Mode& m : modes) {
            if (m.bytes == 0) continue;
            std::printf(
                "%-12s %10.1f %10.1f %8.2fx %9d %13.4f%%\n", m.name, m.prod.median_ms,
                m.flt.median_ms, m.flt.median_ms / m.prod.median_ms, m.max_diff,
                100.0 * static_cast<double>(m.differing) / static_cast<double>(m.bytes));
        }
        std::printf(
            "(goals: no byte differs by more than 1; directional and several "
            "lights at least 1.7x the float path)\n");
    }
    // The comparisons need every mode's figures.
    if (only.empty()) {
        const double dir_rate = coeff_bytes / (modes[0].prod.median_ms / 1000.0) / 1e9;
        std::printf(
            "\ndirectional: coefficients read at %.2f GB/s = %.2f of the streaming "
            "bandwidth (goal 0.6 or better)\n",
            dir_rate, dir_rate / bw2);
        std::printf("4 lights: %.2f x the directional time (goal 2 or less)\n",
                    modes[1].prod.median_ms / modes[0].prod.median_ms);
        std::printf("point: %.1f megapixels per second (goal 60 or more)\n",
                    megapixels / (modes[2].prod.median_ms / 1000.0));
        std::printf("environment: %.2f x the directional time (goal 1.1 or less)\n",
                    modes[3].prod.median_ms / modes[0].prod.median_ms);
        std::printf("slide: %.1f megapixels per second (goal 60 or more)\n",
                    megapixels / (modes[4].prod.median_ms / 1000.0));
        std::printf("30 lights: %.2f x the directional time (goal 1.5 or less)\n",
                    modes[5].prod.median_ms / modes[0].prod.median_ms);
        std::printf(
            "4 mixed lights (point, slide, directional, environment): %.2f x the 4 "
            "directional lights' time; the 4 directional lights mixed: %.2f x\n",
            modes[7].prod.median_ms / modes[1].prod.median_ms,
            modes[6].prod.median_ms / modes[1].prod.median_ms);
    }
    {
        const EnvFrame frame = sky.GetEnvFrame();
        EnvBasis basis;
        const Vec3 n(0, 0, 1), sx(1, 0, 0), ty(0, 1, 0);
        const Timing t = Time(5, [&] {
            FatalIfError(
                ProjectEnvironment(*sky.envmap, frame, n, sx, ty, kBands, basis));
        });
        std::printf(
            "projection of a 1024 x 512 map onto %d bands: %.1f ms median on %d threads "
            "(once per slab when the map, its turn or the slab changes)\n",
            kBands, t.median_ms, ParallelThreads());
        sink += basis.Y[0][0];
    }
    if (sink == 12345.0f) std::printf(" ");  // keep the summing passes
    for (const Mode& m : modes) {
        if (!m.same) return 1;
    }
    return 0;
}
