// Opening a light field of the size users have: the demo baked as a 16 x 16
// slab of 256 x 256 images (about 3 GB of coefficient files) into a folder,
// then opened as lumotool and the viewer open it, with and without the
// coefficient cache (relight/coeff_cache.h). Prints, in one run, each figure
// beside its baseline:
//   - the page-cache read of the coefficient files (read twice, the second
//     read timed): the baseline of every opening figure;
//   - lumotool relight (a child process) without the cache (--no-cache), at
//     the first open with it (no cache yet: reads the files and writes the
//     caches) and at the second (maps the caches): the time to its first
//     reconstruction line (start-up: the scene and the coefficients), wall,
//     user and system times and peak resident memory;
//   - in this process, without and with the cache: opening the coefficient
//     files (LoadSlabCoefficients; with the cache first and second), the
//     set-up (InitModel: opening, then relighting under the first light), the
//     relight per directional light change and the point-light rate;
//   - the viewer's first frame (scripts/measure-viewer.sh under Xvfb) with
//     LUMO_CACHE=0 and with the cache, when the viewer is built.
// Not a Google Benchmark and not a test: one run gives the figures.
//
//   scale_bench [--dir DIR] [--grid N] [--size S] [--keep] [--lumotool PATH]
//               [--relight-arg ARG]... [--changes K] [--skip-inprocess]
//               [--skip-viewer]
//
// DIR (default: a new folder under $TMPDIR or /tmp) is baked into unless it
// already holds scene.lid; a folder the benchmark baked is deleted at the end
// unless --keep. The caches the benchmark writes (DIR/.lumocache) are removed
// before the first open and left for later runs. --lumotool measures another
// build of lumotool (a baseline; give --relight-arg --no-cache only to builds
// that have it); --relight-arg passes an argument on to lumotool relight (a
// storage option such as --half); --skip-inprocess leaves out the in-process
// figures and --skip-viewer the viewer's.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bake/bake_scene.h"
#include "base/fatal.h"
#include "base/str_printf.h"
#include "model/model_setup.h"
#include "relight/sh_basis.h"
#include "scene/lid_reader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Processor time of this process's threads so far (user + system).
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double GiB(double bytes) {
    return bytes / double(1 << 30);
}

struct Options {
    std::string dir;
    int grid = 16;
    int size = 256;
    bool keep = false;
    std::string lumotool = LUMOTOOL_PATH;
    std::vector<std::string> relight_args;
    int changes = 8;
    bool inprocess = true;
    bool viewer = true;
};

bool ParseArgs(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--keep") {
            o.keep = true;
        } else if (a == "--skip-inprocess") {
            o.inprocess = false;
        } else if (a == "--skip-viewer") {
            o.viewer = false;
        } else if (a == "--dir" && (v = value())) {
            o.dir = v;
        } else if (a == "--grid" && (v = value())) {
            o.grid = std::atoi(v);
        } else if (a == "--size" && (v = value())) {
            o.size = std::atoi(v);
        } else if (a == "--lumotool" && (v = value())) {
            o.lumotool = v;
        } else if (a == "--relight-arg" && (v = value())) {
            o.relight_args.push_back(v);
        } else if (a == "--changes" && (v = value())) {
            o.changes = std::max(1, std::atoi(v));
        } else {
            std::fprintf(stderr, "scale_bench: unknown or incomplete argument %s\n",
                         a.c_str());
            return false;
        }
    }
    return o.grid > 0 && o.size > 0;
}

std::vector<fs::path> CoefficientFiles(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 8 && name.compare(name.size() - 8, 8, ".urdf.sh") == 0)
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Reads every file through one 1 MiB buffer; returns the bytes read.
double ReadAll(const std::vector<fs::path>& files) {
    std::vector<char> buffer(size_t{1} << 20);
    double bytes = 0;
    for (const fs::path& p : files) {
        const int fd = open(p.c_str(), O_RDONLY);
        if (fd < 0) continue;
        ssize_t n = 0;
        while ((n = read(fd, buffer.data(), buffer.size())) > 0)
            bytes += static_cast<double>(n);
        close(fd);
    }
    return bytes;
}

struct ChildRun {
    bool ok = false;
    double to_first_recon = -1;  // seconds until the first "Reconstruct" line
    double wall = 0, user = 0, sys = 0;
    double maxrss = 0;  // bytes
};

// Runs `args` in `dir` with its standard output and error read line by line
// here (so the time of the first reconstruction line is known); the output
// itself is dropped.
ChildRun RunChild(const std::vector<std::string>& args, const fs::path& dir) {
    ChildRun run;
    int fds[2];
    if (pipe(fds) != 0) return run;
    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) return run;
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        if (chdir(dir.c_str()) != 0) _exit(127);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::FILE* in = fdopen(fds[0], "r");
    std::string line;
    char buf[4096];
    while (std::fgets(buf, sizeof buf, in) != nullptr) {
        line += buf;
        if (line.empty() || line.back() != '\n') continue;
        if (run.to_first_recon < 0 && line.rfind("Reconstruct", 0) == 0)
            run.to_first_recon = Seconds(start, Clock::now());
        line.clear();
    }
    std::fclose(in);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.wall = Seconds(start, Clock::now());
    run.user = static_cast<double>(usage.ru_utime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec) * 1e-6;
    run.sys = static_cast<double>(usage.ru_stime.tv_sec) +
              static_cast<double>(usage.ru_stime.tv_usec) * 1e-6;
    run.maxrss = static_cast<double>(usage.ru_maxrss) * 1024.0;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

// The way light i of the in-process changes travels: around the view axis,
// tilted 40 degrees from it.
lumo::Vec3 ChangeDirection(int i) {
    const float a = 0.7f * static_cast<float>(i + 1);
    const float s = std::sin(0.7f), c = std::cos(0.7f);
    return lumo::Vec3(s * std::cos(a), s * std::sin(a), -c);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseArgs(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: scale_bench [--dir DIR] [--grid N] [--size S] [--keep] "
                     "[--lumotool PATH] [--relight-arg ARG]... [--changes K] "
                     "[--skip-inprocess] [--skip-viewer]\n");
        return 2;
    }
    bool baked = false;
    fs::path dir;
    if (o.dir.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr ? tmp : "/tmp") + "/scale.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("scale_bench: mkdtemp");
            return 1;
        }
        dir = pattern;
    } else {
        dir = o.dir;
        fs::create_directories(dir);
    }
    if (!fs::exists(dir / "scene.lid")) {
        // Coefficients (bands^2 floats for three channels) plus the photographs,
        // the image set and the depth maps the baker also writes.
        const double need =
            double(o.grid) * o.grid * o.size * o.size * (3.0 * 16 * 4 + 12);
        struct statvfs fsinfo {};
        if (statvfs(dir.c_str(), &fsinfo) == 0) {
            const double room = double(fsinfo.f_bavail) * double(fsinfo.f_frsize);
            if (room < need * 1.1) {
                std::fprintf(stderr,
                             "scale_bench: %s has %.1f GiB free, the bake needs %.1f\n",
                             dir.c_str(), GiB(room), GiB(need));
                return 1;
            }
        }
        lumo::tool::BakeOptions bake;
        bake.grid = o.grid;
        bake.size = o.size;
        std::printf("baking %d x %d cameras of %d x %d pixels into %s ...\n", o.grid,
                    o.grid, o.size, o.size, dir.c_str());
        std::fflush(stdout);
        const Clock::time_point t0 = Clock::now();
        const lumo::Status s =
            lumo::tool::BakeDemo(dir.string(), bake, [](std::string_view) {});
        if (!s.ok()) {
            std::fputs(s.message().c_str(), stderr);
            return 1;
        }
        std::printf("bake: %.1f s\n", Seconds(t0, Clock::now()));
        baked = true;
    }

    const std::vector<fs::path> files = CoefficientFiles(dir);
    ReadAll(files);  // into the page cache
    const Clock::time_point r0 = Clock::now();
    const double read_cpu0 = CpuSeconds();
    const double bytes = ReadAll(files);
    const double read_s = Seconds(r0, Clock::now());
    const double read_cpu = CpuSeconds() - read_cpu0;
    std::printf("coefficient files: %zu, %.3f GiB (%.0f bytes)\n", files.size(),
                GiB(bytes), bytes);
    std::printf("page-cache read: %.3f s (%.2f GiB/s), processor %.3f s\n", read_s,
                GiB(bytes) / read_s, read_cpu);

    const fs::path cache_folder = dir / ".lumocache";
    std::error_code ec;
    fs::remove_all(cache_folder, ec);

    // lumotool relight three times: without the cache, then the first and the
    // second open with it.
    bool children_ok = true;
    auto child = [&](const char* label, bool no_cache) {
        std::vector<std::string> args = {o.lumotool,  "relight",
                                         "scene.lid", (dir / "relit").string(),
                                         "--light",   "kind=dir dir=0.3,-0.4,-0.866"};
        args.insert(args.end(), o.relight_args.begin(), o.relight_args.end());
        if (no_cache) args.push_back("--no-cache");
        std::string command;
        for (const std::string& a : args)
            command += (command.empty() ? "" : " ") + a;
        const ChildRun run = RunChild(args, dir);
        fs::remove_all(dir / "relit");
        std::printf("relight, %s: %s\n", label, command.c_str());
        if (!run.ok) {
            std::printf("  FAILED\n");
            children_ok = false;
        }
        std::printf(
            "  start-up (to the first reconstruction line) %.3f s = %.2f x read; wall "
            "%.3f s = %.2f x read; user %.3f s, system %.3f s; peak resident %.3f GiB = "
            "%.3f x coefficient bytes\n",
            run.to_first_recon, run.to_first_recon / read_s, run.wall, run.wall / read_s,
            run.user, run.sys, GiB(run.maxrss), run.maxrss / bytes);
        return run;
    };
    const ChildRun uncached = child("no cache (baseline)", true);
    const ChildRun first = child("first open (writes the caches)", false);
    const ChildRun second = child("second open (maps the caches)", false);
    std::printf(
        "relight: second open wall %.3f s = %.2f x page-cache read (goal <= 3 x); "
        "first open %.3f s against %.3f s without the cache\n",
        second.wall, second.wall / read_s, first.wall, uncached.wall);

    if (o.inprocess) {
        const fs::path here = fs::current_path();
        fs::current_path(dir);
        // The set-up's own lines go nowhere while it is timed.
        std::fflush(stdout);
        const int saved_out = dup(STDOUT_FILENO);
        const int saved_err = dup(STDERR_FILENO);
        const int null_fd = open("/dev/null", O_WRONLY);
        dup2(null_fd, STDOUT_FILENO);
        dup2(null_fd, STDERR_FILENO);
        struct Figures {
            double load_s = 0, load_cpu = 0;  // the coefficient files
            double setup_s = 0;               // InitModel
            double relight_s = 0;             // per directional change (median)
            double point_s = 0;               // per point-light change (median)
        };
        // The coefficient files alone, as the set-up reads them.
        auto load = [](bool cache) {
            auto info = std::make_unique<lumo::LidInfo>();
            lumo::ReadLidFileOrExit("scene.lid", *info);
            lumo::SlabRecord& slab = info->slabs[0];
            lumo::FatalIfError(lumo::LoadReferenceImages(slab, 0));
            const Clock::time_point l0 = Clock::now();
            const double cpu0 = CpuSeconds();
            lumo::RelightSettings settings;
            settings.cache = cache;
            lumo::FatalIfError(lumo::LoadSlabCoefficients(slab, settings));
            return std::make_pair(Seconds(l0, Clock::now()), CpuSeconds() - cpu0);
        };
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        auto model_figures = [&](bool cache, Figures& f) {
            auto model = std::make_unique<lumo::Model>();
            model->relight.cache = cache;
            const Clock::time_point s0 = Clock::now();
            lumo::FatalIfError(lumo::InitModel(*model, "scene.lid"));
            f.setup_s = Seconds(s0, Clock::now());
            model->options.preview = 0;
            std::vector<double> changes;
            for (int i = 0; i < o.changes; ++i) {
                model->lights.table[0].SetDirection(ChangeDirection(i));
                const Clock::time_point c0 = Clock::now();
                lumo::FatalIfError(lumo::ReconstructModel(*model));
                changes.push_back(Seconds(c0, Clock::now()));
            }
            f.relight_s = median(changes);
            lumo::FatalIfError(lumo::LoadModelDepthMaps(*model));
            model->lights.table[0].SetKind(lumo::Point);
            model->lights.table[0].SetRadius(2.5f);
            changes.clear();
            for (int i = 0; i < o.changes; ++i) {
                model->lights.table[0].SetDirection(ChangeDirection(i));
                const Clock::time_point c0 = Clock::now();
                lumo::FatalIfError(lumo::ReconstructModel(*model));
                changes.push_back(Seconds(c0, Clock::now()));
            }
            f.point_s = median(changes);
        };
        Figures plain, cached;
        std::tie(plain.load_s, plain.load_cpu) = load(false);
        model_figures(false, plain);
        fs::remove_all(cache_folder, ec);
        Figures first_open;
        std::tie(first_open.load_s, first_open.load_cpu) = load(true);
        std::tie(cached.load_s, cached.load_cpu) = load(true);
        model_figures(true, cached);
        std::fflush(stdout);
        dup2(saved_out, STDOUT_FILENO);
        dup2(saved_err, STDERR_FILENO);
        close(saved_out);
        close(saved_err);
        close(null_fd);
        fs::current_path(here);
        std::printf(
            "in-process: open (LoadSlabCoefficients) without the cache %.3f s = %.2f x "
            "read (processor %.3f s)\n",
            plain.load_s, plain.load_s / read_s, plain.load_cpu);
        std::printf(
            "in-process: open, first with the cache (writes it) %.3f s = %.2f x read "
            "(processor %.3f s)\n",
            first_open.load_s, first_open.load_s / read_s, first_open.load_cpu);
        std::printf(
            "in-process: open, second (maps the cache) %.3f s = %.3f x read (processor "
            "%.3f s)\n",
            cached.load_s, cached.load_s / read_s, cached.load_cpu);
        std::printf(
            "in-process: start-up (InitModel: open + first relight) %.3f s with the "
            "cache, %.3f s without\n",
            cached.setup_s, plain.setup_s);
        std::printf(
            "in-process: relight per directional change %.3f s with the cache, %.3f s "
            "without (median of %d)\n",
            cached.relight_s, plain.relight_s, o.changes);
        std::printf(
            "in-process: point-light rate %.2f changes/s with the cache, %.2f without "
            "(%.3f s and %.3f s each)\n",
            1.0 / cached.point_s, 1.0 / plain.point_s, cached.point_s, plain.point_s);
    }

    if (o.viewer) {
        // The viewer beside this build's lumotool, timed by its own script.
        const fs::path build = fs::path(o.lumotool).parent_path().parent_path();
        const fs::path script = fs::path(LUMO_SOURCE_DIR) / "scripts/measure-viewer.sh";
        if (!fs::exists(build / "lumo/lumo") ||
            std::system("command -v Xvfb >/dev/null") != 0) {
            std::printf("viewer: not measured (no %s or no Xvfb)\n",
                        (build / "lumo/lumo").c_str());
        } else {
            auto first_frame = [&](const char* env) {
                const std::string command = std::string(env) + " " + script.string() +
                                            " " + build.string() + " " + dir.string() +
                                            " 2>&1 | grep 'first frame'";
                std::string line;
                if (std::FILE* p = popen(command.c_str(), "r")) {
                    char buf[512];
                    while (std::fgets(buf, sizeof buf, p) != nullptr)
                        line += buf;
                    pclose(p);
                }
                while (!line.empty() && line.back() == '\n')
                    line.pop_back();
                return line.empty() ? std::string("(no figure)") : line;
            };
            const std::string without = first_frame("LUMO_CACHE=0");
            const std::string with = first_frame("");
            std::printf("viewer: %s with the cache (goal <= 1000 ms); %s without\n",
                        with.c_str(), without.c_str());
        }
    }
    if (baked && !o.keep) {
        std::error_code ec;
        fs::remove_all(dir, ec);
    } else {
        std::printf("kept %s\n", dir.c_str());
    }
    return children_ok ? 0 : 1;
}
