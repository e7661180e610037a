// The conversion error of `lumotool import` on HSH files (and a PTM) at 3,
// 4 and 5 bands. There are no archive files in the tree, so the sources are
// made here as an RTI fitter would make them: an analytic relief (bumps
// tilting the normal up to about 40 degrees, a coloured albedo, a Lambertian
// term and a Blinn-Phong highlight seen from straight above) is sampled at
// directions over the upper hemisphere, fitted by least squares with 4 and 9
// HSH terms and with the PTM biquadratic, quantised to bytes with a scale
// and bias per term, and written with lumo's writers; then each is imported
// as `lumotool import` imports it and the report's figures are printed.
//
//   build/bench/import_bench [--size N] [--keep DIR]
#include <Eigen/Dense>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "base/message_sink.h"
#include "fit/rti_import.h"
#include "io/hsh_file.h"
#include "io/hsh_writer.h"
#include "io/ptm_file.h"
#include "io/ptm_writer.h"

namespace {

using namespace lumo;
namespace fs = std::filesystem;

struct Surface {
    int size = 128;
    // The response of pixel (x, y) (y from the top) channel c to a light
    // towards unit d, in 0..1.
    double Value(int x, int y, int c, const double d[3]) const {
        const double u = 2.0 * (x + 0.5) / size - 1.0, v = 1.0 - 2.0 * (y + 0.5) / size;
        const double gx = 0.8 * std::sin(5.0 * u) * std::cos(3.0 * v);
        const double gy = 0.8 * std::cos(4.0 * u + 1.0) * std::sin(5.0 * v);
        const double len = std::sqrt(gx * gx + gy * gy + 1.0);
        const double n[3] = {-gx / len, -gy / len, 1.0 / len};
        const double albedo[3] = {0.55 + 0.3 * std::sin(3.0 * u),
                                  0.5 + 0.25 * std::cos(2.0 * v),
                                  0.35 + 0.2 * std::sin(2.0 * (u + v))};
        const double lambert = std::max(0.0, n[0] * d[0] + n[1] * d[1] + n[2] * d[2]);
        double h[3] = {d[0], d[1], d[2] + 1.0};
        const double hl = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
        const double nh = std::max(0.0, (n[0] * h[0] + n[1] * h[1] + n[2] * h[2]) / hl);
        return albedo[c] * 0.85 * lambert + 0.15 * std::pow(nh, 20.0) * (lambert > 0.0);
    }
};

std::vector<std::array<double, 3>> Directions(int count) {
    std::vector<std::array<double, 3>> dirs;
    for (int k = 0; k < count; ++k) {
        const double z = 1.0 - (k + 0.5) / count;
        const double r = std::sqrt(1.0 - z * z);
        const double phi = 2.399963229728653 * k;
        dirs.push_back({r * std::cos(phi), r * std::sin(phi), z});
    }
    return dirs;
}

// Fits every pixel's values at `dirs` with the K functions `basis` and
// quantises the coefficients per term: out[(pixel * 3 + c) * K + k] bytes,
// pixels row by row from the top, with scale[k] and bias[k] such that
// value = byte / 255 * scale + bias.
template <class Basis>
void FitAndQuantise(const Surface& s, const std::vector<std::array<double, 3>>& dirs,
                    int K, Basis basis, std::vector<uint8_t>& out,
                    std::vector<float>& scale, std::vector<float>& bias) {
    const int N = static_cast<int>(dirs.size());
    Eigen::MatrixXd B(N, K);
    for (int k = 0; k < N; ++k) {
        double v[9];
        basis(dirs[static_cast<size_t>(k)].data(), v);
        for (int i = 0; i < K; ++i)
            B(k, i) = v[i];
    }
    const Eigen::MatrixXd solve = (B.transpose() * B).ldlt().solve(B.transpose());
    const size_t pixels = static_cast<size_t>(s.size) * static_cast<size_t>(s.size);
    std::vector<double> coeff(pixels * 3 * static_cast<size_t>(K));
    Eigen::VectorXd f(N);
    for (int y = 0; y < s.size; ++y)
        for (int x = 0; x < s.size; ++x)
            for (int c = 0; c < 3; ++c) {
                for (int k = 0; k < N; ++k)
                    f(k) = s.Value(x, y, c, dirs[static_cast<size_t>(k)].data());
                const Eigen::VectorXd a = solve * f;
                const size_t at = ((static_cast<size_t>(y) * static_cast<size_t>(s.size) +
                                    static_cast<size_t>(x)) *
                                       3 +
                                   static_cast<size_t>(c)) *
                                  static_cast<size_t>(K);
                for (int i = 0; i < K; ++i)
                    coeff[at + static_cast<size_t>(i)] = a(i);
            }
    scale.assign(static_cast<size_t>(K), 0.0f);
    bias.assign(static_cast<size_t>(K), 0.0f);
    for (int i = 0; i < K; ++i) {
        double lo = 1e30, hi = -1e30;
        for (size_t j = static_cast<size_t>(i); j < coeff.size();
             j += static_cast<size_t>(K)) {
            lo = std::min(lo, coeff[j]);
            hi = std::max(hi, coeff[j]);
        }
        bias[static_cast<size_t>(i)] = static_cast<float>(lo);
        scale[static_cast<size_t>(i)] = static_cast<float>(hi > lo ? hi - lo : 1.0);
    }
    out.resize(coeff.size());
    for (size_t j = 0; j < coeff.size(); ++j) {
        const size_t i = j % static_cast<size_t>(K);
        const double q = (coeff[j] - bias[i]) / scale[i] * 255.0;
        out[j] = static_cast<uint8_t>(std::lround(std::clamp(q, 0.0, 255.0)));
    }
}

void Import(const std::string& label, const std::string& source, const std::string& dir) {
    for (int bands : {3, 4, 5}) {
        ImportOptions o;
        o.bands = bands;
        ImportSummary summary;
        const auto t0 = std::chrono::steady_clock::now();
        const Status s =
            ImportRti(source, dir + "/" + label + "-" + std::to_string(bands), o,
                      MessageSink(), summary);
        const double ms = std::chrono::duration<double, std::milli>(
                              std::chrono::steady_clock::now() - t0)
                              .count();
        if (!s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            std::exit(1);
        }
        std::printf("%-14s %d bands: conversion RMS %7.3f  PSNR %6.2f dB  (%.0f ms)\n",
                    label.c_str(), bands, summary.rms, summary.psnr, ms);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Surface surface;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
            surface.size = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc) {
            keep = argv[++i];
        } else {
            std::fprintf(stderr, "usage: import_bench [--size N] [--keep DIR]\n");
            return 2;
        }
    }
    if (surface.size < 1 || surface.size > 4096) return 2;
    const std::string dir = keep.empty()
                                ? (fs::temp_directory_path() /
                                   ("lumo-import-bench-" + std::to_string(getpid())))
                                      .string()
                                : keep;
    fs::create_directories(dir);
    const auto dirs = Directions(400);
    std::printf("import_bench: a %d x %d relief, sources fitted at %zu directions\n",
                surface.size, surface.size, dirs.size());
    for (int terms : {4, 9}) {
        HshFile hsh;
        hsh.width = hsh.height = surface.size;
        hsh.terms = terms;
        FitAndQuantise(
            surface, dirs, terms,
            [terms](const double d[3], double* v) { HshBasis(d, terms, v); }, hsh.bytes,
            hsh.scale, hsh.bias);
        const std::string path = dir + "/relief" + std::to_string(terms) + ".rti";
        if (!WriteHshFile(path, hsh).ok()) return 1;
        Import("HSH " + std::to_string(terms) + " terms", path, dir);
    }
    {
        // PTM_FORMAT_RGB: stored bottom row first.
        PtmFile ptm;
        ptm.width = ptm.height = surface.size;
        std::vector<uint8_t> top_first;
        std::vector<float> scale, bias;
        FitAndQuantise(
            surface, dirs, 6,
            [](const double d[3], double* v) {
                const double u = d[0], w = d[1];
                const double t[6] = {u * u, w * w, u * w, u, w, 1};
                for (int i = 0; i < 6; ++i)
                    v[i] = 255.0 * t[i];
            },
            top_first, scale, bias);
        // A PTM keeps integer biases: byte - bias_i times scale_i; re-express
        // value = byte / 255 * s + b as (byte - B) * S with S = s / 255.
        const size_t pixels = ptm.Pixels();
        ptm.coeff.resize(pixels * 18);
        for (int i = 0; i < 6; ++i) {
            ptm.scale[i] = scale[static_cast<size_t>(i)] / 255.0f;
            ptm.bias[i] = static_cast<int32_t>(
                std::lround(-bias[static_cast<size_t>(i)] / ptm.scale[i]));
        }
        for (size_t p = 0; p < pixels; ++p) {
            const size_t row = p / static_cast<size_t>(surface.size);
            const size_t x = p % static_cast<size_t>(surface.size);
            const size_t from = (static_cast<size_t>(surface.size) - 1 - row) *
                                    static_cast<size_t>(surface.size) +
                                x;
            for (size_t c = 0; c < 3; ++c)
                for (size_t i = 0; i < 6; ++i)
                    ptm.coeff[(c * pixels + p) * 6 + i] =
                        top_first[(from * 3 + c) * 6 + i];
        }
        const std::string path = dir + "/relief.ptm";
        if (!WritePtmFile(path, ptm).ok()) return 1;
        Import("PTM RGB", path, dir);
    }
    if (keep.empty()) fs::remove_all(dir);
    return 0;
}
