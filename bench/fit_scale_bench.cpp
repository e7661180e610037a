// lumotool fit at the size of real captures: a synthetic single-camera
// capture of N JPEG photographs of W x H (default 48 of 6000 x 4000, 24 MP),
// a textured relief lit Lambertian-ly from directions over the upper
// hemisphere (a dome), fitted by `lumotool fit` as a child process. Prints
// the fit's wall time and peak resident memory (wait4's rusage) beside the
// time libjpeg-turbo's `djpeg` takes to decode the same files one after the
// other on one thread, measured in the same run, the fit's summary line, and
// the held-out PSNR beside that of a 9-term hemispherical-harmonics fit of
// the same photographs (testing/hsh_fit.h).
//
//   fit_scale_bench [--photos N] [--width W] [--height H] [--dir DIR] [--keep]
//                   [--fit-arg ARG]... [--skip-hsh]
//
// DIR (default: a new folder under $TMPDIR or /tmp) receives the capture and
// the fit; it is deleted afterwards unless --keep, and a capture already in
// it (lights.lp) is reused. --fit-arg adds an option to the fit (repeat it:
// --fit-arg --bands --fit-arg 4); without it the fit runs with the defaults
// a user gets; --skip-hsh leaves out the hemispherical-harmonics fit (one
// more pass over the photographs). One run gives the figures; this is not a Google
// Benchmark.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/parallel_for.h"
#include "base/str_printf.h"
#include "io/image_file.h"
#include "testing/hsh_fit.h"

namespace {

namespace fs = std::filesystem;

struct ChildRun {
    int status = -1;
    double wall = 0.0;
    double peak_mib = 0.0;
    double cpu = 0.0;  // user + system
};

// Runs `args` (args[0] a path) with standard output into `out` (or
// /dev/null); its wall time and peak resident memory.
ChildRun Run(const std::vector<std::string>& args, const std::string& out) {
    ChildRun r;
    const double t0 = lumo::GetSeconds();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(out.empty() ? "/dev/null" : out.c_str(),
                            O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        std::vector<std::string> copy = args;
        std::vector<char*> argv;
        for (std::string& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.wall = lumo::GetSeconds() - t0;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
    r.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    return r;
}

// Directions over the upper hemisphere, a golden-angle spiral from the
// zenith down to 15 degrees above the horizon, as a dome holds its lights.
std::vector<std::vector<double>> DomeDirections(int n) {
    std::vector<std::vector<double>> out;
    const double golden = M_PI * (3.0 - std::sqrt(5.0));
    const double z_min = std::sin(15.0 * M_PI / 180.0);
    for (int k = 0; k < n; ++k) {
        const double z = 1.0 - (1.0 - z_min) * (k + 0.5) / n;
        const double r = std::sqrt(1.0 - z * z);
        out.push_back({r * std::cos(golden * k), r * std::sin(golden * k), z});
    }
    return out;
}

// The relief: a height field of a few waves, and a coloured pattern on it,
// computed once (unit normals and albedo per pixel, 8-bit); each photograph
// is then Lambertian shading under its distant light, with a little ambient.
struct Relief {
    int W = 0, H = 0;
    std::vector<float> normal;    // 3 per pixel, rows top first
    std::vector<uint8_t> albedo;  // 3 per pixel

    Relief(int w, int h) : W(w), H(h) {
        const size_t n = static_cast<size_t>(W) * static_cast<size_t>(H);
        normal.resize(3 * n);
        albedo.resize(3 * n);
        const double s = 2.0 * M_PI / std::max(W, H);
        lumo::ParallelFor(static_cast<size_t>(H), 16, [&](size_t y0, size_t y1) {
            for (size_t y = y0; y < y1; ++y) {
                for (int x = 0; x < W; ++x) {
                    const double u = x * s, v = (H - 1 - static_cast<double>(y)) * s;
                    // h = 0.6 sin(3u) cos(2v) + 0.3 sin(17u + 11v)
                    //     + 0.15 cos(41v - 29u), its gradient in closed form.
                    const double hx = 1.8 * std::cos(3 * u) * std::cos(2 * v) +
                                      5.1 * std::cos(17 * u + 11 * v) +
                                      4.35 * std::sin(41 * v - 29 * u);
                    const double hy = -1.2 * std::sin(3 * u) * std::sin(2 * v) +
                                      3.3 * std::cos(17 * u + 11 * v) -
                                      6.15 * std::sin(41 * v - 29 * u);
                    const double k = 0.08;
                    const double len = std::sqrt(k * k * (hx * hx + hy * hy) + 1.0);
                    const size_t i =
                        3 * (y * static_cast<size_t>(W) + static_cast<size_t>(x));
                    normal[i] = static_cast<float>(-k * hx / len);
                    normal[i + 1] = static_cast<float>(-k * hy / len);
                    normal[i + 2] = static_cast<float>(1.0 / len);
                    // A pattern, and grain at the pixel scale as a real
                    // surface and sensor give (without it the JPEG files are
                    // far smaller, and faster to decode, than a camera's).
                    uint32_t hsh = static_cast<uint32_t>(y) * 73856093u ^
                                   static_cast<uint32_t>(x) * 19349663u;
                    hsh = (hsh ^ (hsh >> 13)) * 0x5bd1e995u;
                    hsh ^= hsh >> 15;
                    const double grain = ((hsh & 1023u) / 1023.0 - 0.5) * 0.25;
                    const double t = std::clamp(
                        0.5 + 0.5 * std::sin(7 * u + 3 * std::sin(5 * v)) + grain, 0.0,
                        1.0);
                    albedo[i] = static_cast<uint8_t>(255 * (0.35 + 0.5 * t));
                    albedo[i + 1] = static_cast<uint8_t>(255 * (0.3 + 0.35 * (1 - t)));
                    albedo[i + 2] = static_cast<uint8_t>(255 * (0.25 + 0.2 * t));
                }
            }
        });
    }

    void Photograph(const double L[3], lumo::FloatImage& img) const {
        img.width = W;
        img.height = H;
        img.channels = 3;
        img.pixels.resize(normal.size());
        const float l[3] = {static_cast<float>(L[0]), static_cast<float>(L[1]),
                            static_cast<float>(L[2])};
        for (size_t i = 0; i < normal.size(); i += 3) {
            const float shade = std::max(
                0.0f, normal[i] * l[0] + normal[i + 1] * l[1] + normal[i + 2] * l[2]);
            for (int c = 0; c < 3; ++c)
                img.pixels[i + c] = 0.03f + 0.9f / 255.0f * albedo[i + c] * shade;
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    int photos = 48, width = 6000, height = 4000;
    std::string dir;
    bool keep = false, hsh_fit = true;
    std::vector<std::string> fit_args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "fit_scale_bench: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--photos") {
            photos = std::atoi(next().c_str());
        } else if (a == "--width") {
            width = std::atoi(next().c_str());
        } else if (a == "--height") {
            height = std::atoi(next().c_str());
        } else if (a == "--dir") {
            dir = next();
        } else if (a == "--keep") {
            keep = true;
        } else if (a == "--skip-hsh") {
            hsh_fit = false;
        } else if (a == "--fit-arg") {
            fit_args.push_back(next());
        } else {
            std::fprintf(stderr,
                         "usage: fit_scale_bench [--photos N] [--width W] [--height H] "
                         "[--dir DIR] [--keep] [--fit-arg ARG]... [--skip-hsh]\n");
            return 2;
        }
    }
    if (photos < 1 || width < 2 || height < 2) {
        std::fprintf(stderr, "fit_scale_bench: bad capture size\n");
        return 2;
    }
    const bool own_dir = dir.empty();
    if (own_dir) {
        const char* tmp = std::getenv("TMPDIR");
        char templ[4096];
        std::snprintf(templ, sizeof templ, "%s/fit-scale-XXXXXX", tmp ? tmp : "/tmp");
        if (mkdtemp(templ) == nullptr) {
            std::perror("fit_scale_bench: mkdtemp");
            return 1;
        }
        dir = templ;
    }
    fs::create_directories(dir + "/cap");
    const std::string lp = dir + "/cap/lights.lp";
    const std::vector<std::vector<double>> dirs = DomeDirections(photos);
    std::vector<std::string> files;
    for (int k = 0; k < photos; ++k)
        files.push_back(dir + lumo::StrPrintf("/cap/p%03d.jpg", k));
    if (!fs::exists(lp)) {
        const double t0 = lumo::GetSeconds();
        bool ok = true;
        const Relief relief(width, height);
        lumo::ParallelForEach(static_cast<size_t>(photos), [&](size_t k) {
            lumo::FloatImage img;
            relief.Photograph(dirs[k].data(), img);
            if (!lumo::WriteImageFile(files[k], img, lumo::ImageBits::k8).ok())
                ok = false;
        });
        if (!ok) {
            std::fprintf(stderr, "fit_scale_bench: cannot write the capture\n");
            return 1;
        }
        std::ofstream f(lp);
        f << photos << "\n";
        for (int k = 0; k < photos; ++k) {
            f << lumo::StrPrintf("p%03d.jpg %.9f %.9f %.9f\n", k, dirs[k][0], dirs[k][1],
                                 dirs[k][2]);
        }
        std::printf("capture: %d JPEG photographs of %d x %d written in %.1f s\n", photos,
                    width, height, lumo::GetSeconds() - t0);
    }
    uintmax_t bytes = 0;
    for (const std::string& f : files)
        bytes += fs::file_size(f);

    // djpeg, one photograph after the other, one thread.
    double djpeg = 0.0, djpeg_cpu = 0.0;
    for (const std::string& f : files) {
        const ChildRun r = Run({"djpeg", "-outfile", "/dev/null", f}, "");
        if (r.status != 0) {
            std::fprintf(stderr, "fit_scale_bench: djpeg failed on %s\n", f.c_str());
            return 1;
        }
        djpeg += r.wall;
        djpeg_cpu += r.cpu;
    }

    fs::remove_all(dir + "/out");
    std::vector<std::string> args = {LUMOTOOL_PATH, "fit", lp, dir + "/out", "--quiet"};
    args.insert(args.end(), fit_args.begin(), fit_args.end());
    const ChildRun fit = Run(args, dir + "/fit.out");
    std::ifstream in(dir + "/fit.out");
    std::stringstream summary;
    summary << in.rdbuf();
    uintmax_t out_bytes = 0;
    if (fs::is_directory(dir + "/out")) {
        for (const auto& e : fs::directory_iterator(dir + "/out"))
            out_bytes += e.is_regular_file() ? e.file_size() : 0;
    }

    std::string extra;
    for (const std::string& a : fit_args)
        extra += " " + a;
    std::printf("capture: %d photographs of %d x %d (%.1f MP), %.0f MiB of JPEG\n",
                photos, width, height, width * static_cast<double>(height) / 1e6,
                static_cast<double>(bytes) / (1 << 20));
    std::printf("djpeg, one thread, every photograph: %.2f s wall, %.2f s processor\n",
                djpeg, djpeg_cpu);
    std::printf(
        "lumotool fit%s: exit %d, %.2f s wall (%.2f x djpeg), %.2f s processor "
        "(%.2f x djpeg), peak RSS %.0f MiB, %.0f MiB written\n",
        extra.c_str(), fit.status, fit.wall, fit.wall / djpeg, fit.cpu,
        fit.cpu / djpeg_cpu, fit.peak_mib, static_cast<double>(out_bytes) / (1 << 20));
    std::printf("(other work on the machine shows as wall time above processor time)\n");
    std::printf("%s", summary.str().c_str());
    // The yardstick: 9 hemispherical harmonics fitted to the same photographs
    // and measured on the same held-out ones.
    if (fit.status == 0 && hsh_fit) {
        const nlohmann::json report =
            nlohmann::json::parse(std::ifstream(dir + "/out/fit-report.json"));
        if (report["overall"].contains("holdout")) {
            const std::vector<int> held =
                report["cameras"][0]["held_out_lines"].get<std::vector<int>>();
            lumo::testing::HshResult hsh;
            const double t0 = lumo::GetSeconds();
            if (lumo::testing::HshHeldOut(lp, held, 9, hsh).ok()) {
                const double ours = report["overall"]["holdout"]["psnr"].get<double>();
                std::printf(
                    "held out (%zu photographs): lumotool fit %.2f dB, 9-term "
                    "hemispherical harmonics %.2f dB (%+.2f dB; %.1f s)\n",
                    held.size(), ours, hsh.Psnr(), ours - hsh.Psnr(),
                    lumo::GetSeconds() - t0);
            }
        }
    }
    if (!keep) {
        if (own_dir) {
            fs::remove_all(dir);
        } else {
            fs::remove_all(dir + "/out");
        }
    }
    return fit.status == 0 ? 0 : 1;
}
