// The proof behind relight/arccos_sine_lanes.h: for every float c in -1..1
// (the clamped dot products LightAngles takes its arccosine of), the lanes'
// sin(acos(c)) against the library's std::sin(std::acos(c)), bit for bit, on
// eight lanes (and on sixteen where the processor has AVX-512), and
// std::sin(-acos(c)) against the negated result (LightAngles' other sign).
// Also how many lanes fall back to the library's sine, and how close to its
// margin the library's own rounding came.
//
// Not a test: it takes a minute of processor time. Run it once per C library
// (or processor kind: glibc picks its sinf by the processor's features,
// GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA takes the plain one).
//
//   arccos_sine_check [--threads N]
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "relight/arccos_sine_lanes.h"

namespace {

using namespace lumo::kernels;

struct Counts {
    uint64_t inputs = 0;
    uint64_t differ8 = 0, differ16 = 0, differ_sign = 0;
    uint64_t unsure = 0;
    uint64_t arccos_differ = 0;   // the lanes' arccosine against acosf
    uint64_t rounded_differ = 0;  // sinf against the correctly rounded sine
    double worst = 0;             // sinf's rounding: largest distance in ulps
                                  // from a boundary where it differs
    uint32_t first_bad = 0;
    bool any_bad = false;
};

#if defined(__x86_64__) && !defined(__clang__)
#define CHECK_WIDE 1
__attribute__((target("avx512f,avx512dq,avx512vl,avx512bw"))) void Wide(const float* c,
                                                                        float* out) {
    V16 v, r;
    std::memcpy(&v, c, sizeof v);
    ArccosSineLanes(v, 0xFFFFu, r);
    std::memcpy(out, &r, sizeof r);
}
#else
#define CHECK_WIDE 0
#endif

// Inputs with bits [lo, hi) of both signs.
void Check(uint32_t lo, uint32_t hi, bool wide, Counts& n) {
    constexpr int kBatch = 16;
    float c[kBatch], got8[kBatch], got16[kBatch];
    for (uint32_t base = lo; base < hi; base += kBatch / 2) {
        int count = 0;
        for (uint32_t u = base; u < std::min(hi, base + kBatch / 2); ++u) {
            c[count++] = __builtin_bit_cast(float, u);
            c[count++] = __builtin_bit_cast(float, u | 0x80000000u);
        }
        for (int k = count; k < kBatch; ++k)
            c[k] = 0.0f;
        for (int k = 0; k < kBatch; k += 8) {
            V8 v, r;
            std::memcpy(&v, c + k, sizeof v);
            ArccosSineLanes(v, 0xFFFFu, r);
            std::memcpy(got8 + k, &r, sizeof r);
            V8 phi, sine;
            ArccosLanes(v, phi);
            uint32_t unsure = 0;
            SineLanes(phi, sine, unsure);
            for (int lane = 0; lane < 8 && k + lane < count; ++lane) {
                if (unsure & (1u << lane)) ++n.unsure;
                const float x = c[k + lane];
                if (__builtin_bit_cast(uint32_t, phi[lane]) !=
                    __builtin_bit_cast(uint32_t, std::acos(x)))
                    ++n.arccos_differ;
            }
        }
#if CHECK_WIDE
        if (wide) Wide(c, got16);
#endif
        for (int k = 0; k < count; ++k) {
            ++n.inputs;
            const float phi = std::acos(c[k]);
            const float want = std::sin(phi);
            const float want_neg = std::sin(-phi);
            const uint32_t w = __builtin_bit_cast(uint32_t, want);
            bool bad = false;
            if (__builtin_bit_cast(uint32_t, got8[k]) != w) {
                ++n.differ8;
                bad = true;
            }
            if (wide && __builtin_bit_cast(uint32_t, got16[k]) != w) {
                ++n.differ16;
                bad = true;
            }
            if (__builtin_bit_cast(uint32_t, -got8[k]) !=
                __builtin_bit_cast(uint32_t, want_neg)) {
                ++n.differ_sign;
                bad = true;
            }
            if (bad && !n.any_bad) {
                n.any_bad = true;
                n.first_bad = __builtin_bit_cast(uint32_t, c[k]);
            }
            // sinf's own rounding, against the double sine rounded to float.
            const double r = std::sin(static_cast<double>(phi));
            const float f = static_cast<float>(r);
            if (f != want) {
                ++n.rounded_differ;
                const float other = want;
                const double mid =
                    (static_cast<double>(f) + static_cast<double>(other)) / 2;
                const double ulp = std::fabs(static_cast<double>(other) - f);
                n.worst = std::max(n.worst, std::fabs(r - mid) / ulp);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--threads" && i + 1 < argc) {
            threads = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: arccos_sine_check [--threads N]\n");
            return 2;
        }
    }
    bool wide = false;
#if CHECK_WIDE
    wide = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
#endif
    // Every float from +0 to 1 and from -0 to -1.
    const uint32_t end = 0x3f800001u;
    const uint32_t parts = 256;
    std::vector<Counts> counts(parts);
    std::vector<std::thread> pool;
    std::atomic_uint32_t next{0};
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            for (uint32_t p; (p = next++) < parts;) {
                const uint32_t lo = static_cast<uint32_t>(uint64_t{end} * p / parts);
                const uint32_t hi =
                    static_cast<uint32_t>(uint64_t{end} * (p + 1) / parts);
                Check(lo, hi, wide, counts[p]);
            }
        });
    }
    for (std::thread& t : pool)
        t.join();
    Counts all;
    for (const Counts& n : counts) {
        all.inputs += n.inputs;
        all.differ8 += n.differ8;
        all.differ16 += n.differ16;
        all.differ_sign += n.differ_sign;
        all.unsure += n.unsure;
        all.arccos_differ += n.arccos_differ;
        all.rounded_differ += n.rounded_differ;
        all.worst = std::max(all.worst, n.worst);
        if (n.any_bad && !all.any_bad) {
            all.any_bad = true;
            all.first_bad = n.first_bad;
        }
    }
    std::printf("inputs: %llu (every float in -1..1)\n",
                static_cast<unsigned long long>(all.inputs));
    std::printf("lanes' arccosine differing from acosf: %llu\n",
                static_cast<unsigned long long>(all.arccos_differ));
    std::printf(
        "sin(acos(c)) differing from the library: %llu on 8 lanes, %s, %llu for -phi\n",
        static_cast<unsigned long long>(all.differ8),
        wide ? (std::to_string(all.differ16) + " on 16 lanes").c_str()
             : "16 lanes not run (no AVX-512)",
        static_cast<unsigned long long>(all.differ_sign));
    if (all.any_bad) {
        std::printf("first differing input: %a (bits 0x%08x)\n",
                    static_cast<double>(__builtin_bit_cast(float, all.first_bad)),
                    all.first_bad);
    }
    std::printf(
        "lanes taking the library's sine: %llu (%.3f %%)\n",
        static_cast<unsigned long long>(all.unsure),
        100.0 * static_cast<double>(all.unsure) / static_cast<double>(all.inputs));
    std::printf(
        "sinf differing from the correctly rounded sine: %llu inputs, at most %.4f ulp "
        "from a rounding boundary (the lanes' margin: %.4f ulp or more)\n",
        static_cast<unsigned long long>(all.rounded_differ), all.worst, kSineMarginUlps);
    return all.differ8 + all.differ16 + all.differ_sign == 0 ? 0 : 1;
}
