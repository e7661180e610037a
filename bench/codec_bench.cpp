// Codec benchmark: loading a compressed image set against libjpeg-turbo.
//
// Packs an 8 x 8 grid of 256 x 256 views of a smooth synthetic scene (a
// 2048 x 2048 mosaic per channel) into a .dat file and reports the time of a
// whole ReadDAT (one thread and all cores), megapixels per second, the file
// size and the PSNR of the decoded views; then codes the same mosaic as a
// baseline JPEG with `cjpeg -quality 90` and times `djpeg` decoding it, with
// its size and PSNR, and prints the ratios.
//
//   build/bench/codec_bench [--rate BITS] [--repeat N]
//
// Needs cjpeg and djpeg (Debian libjpeg-turbo-progs) on the PATH.
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/file_ptr.h"
#include "base/psnr.h"
#include "io/image_set.h"
#include "io/image_set_writer.h"
#include "io/ppm.h"

namespace {

using namespace lumo;
using Clock = std::chrono::steady_clock;

constexpr int kGrid = 8;
constexpr int kSide = 256;
constexpr int kMosaic = kGrid * kSide;

// View (k, j) of a smooth scene: soft shading, a few gradients and a
// parallax shift of a pixel per camera.
std::vector<Photo> Views() {
    std::vector<Photo> views(kGrid * kGrid);
    for (int j = 0; j < kGrid; ++j)
        for (int k = 0; k < kGrid; ++k) {
            Photo& p = views[j * kGrid + k];
            (void)p.Alloc(kSide, kSide);
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x) {
                    const double u = (x + k) / double(kSide), v = (y + j) / double(kSide);
                    const double shade =
                        0.5 + 0.35 * std::sin(6.0 * u + 1.5) * std::cos(4.5 * v) +
                        0.1 * std::cos(17.0 * u * v);
                    const double rgb[3] = {shade * (0.8 + 0.2 * u),
                                           shade * 0.9 + 0.05 * v,
                                           shade * (0.6 + 0.4 * v)};
                    for (int c = 0; c < 3; ++c)
                        p.pixels[(static_cast<size_t>(y) * kSide + x) * 3 + c] =
                            static_cast<uint8_t>(std::clamp(255.0 * rgb[c], 0.0, 255.0));
                }
        }
    return views;
}

// Wall time and CPU time (user + system, all threads) of one measurement.
struct Timing {
    double wall = 1e30;
    double cpu = 1e30;
};

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Runs `argv` and returns its wall and CPU time (wall -1 on failure).
Timing Run(const std::vector<std::string>& args) {
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Timing t;
    t.wall = std::chrono::duration<double>(Clock::now() - start).count();
    t.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) t.wall = -1.0;
    return t;
}

// The smallest wall and the smallest CPU time of `repeat` runs (other work
// on the machine only ever adds time).
Timing Best(int repeat, auto&& once) {
    Timing best;
    for (int i = 0; i < repeat; ++i) {
        const Timing t = once();
        if (t.wall < 0) return t;
        best.wall = std::min(best.wall, t.wall);
        best.cpu = std::min(best.cpu, t.cpu);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    double rate = 3.0;
    int repeat = 7;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rate")) rate = std::atof(argv[i + 1]);
        if (!std::strcmp(argv[i], "--repeat"))
            repeat = std::max(1, std::atoi(argv[i + 1]));
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("lumo-codec-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string dat = (dir / "views.dat").string();
    const std::string ppm = (dir / "mosaic.ppm").string();
    const std::string jpg = (dir / "mosaic.jpg").string();
    const std::string back = (dir / "back.ppm").string();

    const std::vector<Photo> views = Views();
    ImageSetWriteOptions options;
    options.dct.rate = rate;
    const auto t0 = Clock::now();
    if (Status s = WriteImageSet(dat.c_str(), views.data(), kGrid, kGrid, options);
        !s.ok()) {
        std::fputs(s.message().c_str(), stderr);
        return 1;
    }
    const double encode = std::chrono::duration<double>(Clock::now() - t0).count();
    const double megapixels = double(kMosaic) * kMosaic / 1e6;

    std::vector<Photo> loaded(views.size());
    auto load = [&](int threads) {
        ImageSetReadOptions read;
        read.progress = MessageSink();
        read.threads = threads;
        int32_t cols = kGrid, rows = kGrid;
        const auto start = Clock::now();
        const double cpu = CpuSeconds();
        const Status s =
            ReadDAT(dat.c_str(), loaded.data(), loaded.size(), cols, rows, nullptr, read);
        Timing t;
        t.cpu = CpuSeconds() - cpu;
        t.wall = std::chrono::duration<double>(Clock::now() - start).count();
        if (!s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            std::exit(1);
        }
        return t;
    };
    const Timing one_core = Best(repeat, [&] { return load(1); });
    const Timing all_cores = Best(repeat, [&] { return load(0); });
    double se_psnr = 0;
    {
        std::vector<uint8_t> a, b;
        for (size_t i = 0; i < views.size(); ++i) {
            a.insert(a.end(), views[i].pixels.begin(), views[i].pixels.end());
            b.insert(b.end(), loaded[i].pixels.begin(), loaded[i].pixels.end());
        }
        se_psnr = Psnr(a, b);
    }
    const auto dat_size = std::filesystem::file_size(dat);

    // The same mosaic as a baseline JPEG.
    Photo mosaic;
    (void)mosaic.Alloc(kMosaic, kMosaic);
    for (int c = 0; c < 3; ++c) {
        const std::vector<float> plane = BuildMosaic(views.data(), kGrid, kGrid, c);
        for (size_t i = 0; i < plane.size(); ++i)
            mosaic.pixels[3 * i + c] = static_cast<uint8_t>(plane[i]);
    }
    if (!WritePPMFile(ppm.c_str(), mosaic, false).ok() ||
        Run({"cjpeg", "-quality", "90", "-baseline", "-outfile", jpg, ppm}).wall < 0) {
        std::fprintf(stderr, "codec_bench: cjpeg failed (install libjpeg-turbo-progs)\n");
        return 1;
    }
    const Timing djpeg = Best(repeat, [&] {
        return Run({"djpeg", "-outfile", back, jpg});
    });
    Photo decoded;
    if (djpeg.wall < 0 || !ReadPPMFile(back.c_str(), decoded, false).ok()) {
        std::fprintf(stderr, "codec_bench: djpeg failed\n");
        return 1;
    }
    const double jpeg_psnr = Psnr(mosaic.pixels, decoded.pixels);
    const auto jpg_size = std::filesystem::file_size(jpg);
    std::filesystem::remove_all(dir);

    std::printf(
        "mosaic: %d x %d views of %d x %d = %d x %d pixels, RGB (%.2f megapixels)\n",
        kGrid, kGrid, kSide, kSide, kMosaic, kMosaic, megapixels);
    std::printf("lumo .dat (rate %.2f bits)  encode %.2f s\n", rate, encode);
    auto line = [&](const char* what, const Timing& t) {
        std::printf("  %-20s %7.1f ms wall %7.1f MP/s   %7.1f ms CPU\n", what,
                    1e3 * t.wall, megapixels / t.wall, 1e3 * t.cpu);
    };
    line("ReadDAT, 1 thread", one_core);
    line("ReadDAT, all cores", all_cores);
    std::printf("  file %10llu bytes  PSNR %6.2f dB\n", (unsigned long long)dat_size,
                se_psnr);
    std::printf("libjpeg-turbo (cjpeg -quality 90 -baseline)\n");
    line("djpeg (process)", djpeg);
    std::printf("  file %10llu bytes  PSNR %6.2f dB\n", (unsigned long long)jpg_size,
                jpeg_psnr);
    std::printf("ratios (lumo / jpeg)\n");
    std::printf("  load time, 1 thread  %6.2f wall  %6.2f CPU  (goal: at most 1.2)\n",
                one_core.wall / djpeg.wall, one_core.cpu / djpeg.cpu);
    std::printf("  load time, all cores %6.2f wall              (goal: at most 0.8)\n",
                all_cores.wall / djpeg.wall);
    std::printf("  file size            %6.2f\n", double(dat_size) / double(jpg_size));
    std::printf("  PSNR difference      %+6.2f dB\n", se_psnr - jpeg_psnr);
    std::printf("one-thread load: %s 40 MP/s\n",
                megapixels / one_core.wall >= 40 ? "at least" : "below");
    return 0;
}
