// Opening a light field of the size users have: the demo baked as a 16 x 16
// slab of 256 x 256 images (about 3 GB of coefficient files) into a folder,
// then read back as the model set-up reads it. Prints, in one run each:
//   - the page-cache read of the coefficient files (read twice, the second
//     read timed) and their bytes;
//   - lumotool relight on the slab, a child process: the time to its first
//     reconstruction line (reading the scene and the coefficient files), its
//     wall, user and system times and its peak resident memory against the
//     coefficient bytes;
//   - in this process: the model set-up (InitModel: reading, then relighting
//     under the first light) and the relight per light change, against the
//     goal set-up <= 1.5 x page-cache read + relight.
// Not a Google Benchmark and not a test: one run gives the figures.
//
//   scale_bench [--dir DIR] [--grid N] [--size S] [--keep] [--lumotool PATH]
//               [--relight-arg ARG]... [--changes K] [--skip-inprocess]
//
// DIR (default: a new folder under $TMPDIR or /tmp) is baked into unless it
// already holds scene.lid; a folder the benchmark baked is deleted at the end
// unless --keep. --lumotool measures another build of lumotool (a baseline);
// --relight-arg passes an argument on to lumotool relight (a storage option);
// --skip-inprocess leaves out the in-process figures (which use this build's
// model set-up). Figures of other tools (the viewer's start-up and
// light-change-to-frame times) are printed by their own scripts on the same
// folder (--keep).
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
                     "[--skip-inprocess]\n");
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

    std::vector<std::string> args = {o.lumotool,  "relight",
                                     "scene.lid", (dir / "relit").string(),
                                     "--light",   "kind=dir dir=0.3,-0.4,-0.866"};
    args.insert(args.end(), o.relight_args.begin(), o.relight_args.end());
    std::string command;
    for (const std::string& a : args)
        command += (command.empty() ? "" : " ") + a;
    const ChildRun child = RunChild(args, dir);
    fs::remove_all(dir / "relit");
    std::printf("child: %s (in %s)\n", command.c_str(), dir.c_str());
    if (!child.ok) std::printf("child: FAILED\n");
    std::printf("child: to first reconstruction %.3f s (%.2f x page-cache read)\n",
                child.to_first_recon, child.to_first_recon / read_s);
    std::printf("child: wall %.3f s, user %.3f s, system %.3f s\n", child.wall,
                child.user, child.sys);
    std::printf(
        "child: peak resident %.3f GiB = %.3f x coefficient bytes (goal <= 1.1)\n",
        GiB(child.maxrss), child.maxrss / bytes);

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
        // The coefficient files alone, as the set-up reads them.
        double load_s = 0, load_cpu = 0;
        {
            auto info = std::make_unique<lumo::LidInfo>();
            lumo::ReadLidFileOrExit("scene.lid", *info);
            lumo::SlabRecord& slab = info->slabs[0];
            lumo::FatalIfError(lumo::LoadReferenceImages(slab, 0));
            const Clock::time_point l0 = Clock::now();
            const double cpu0 = CpuSeconds();
            lumo::RelightSettings settings;
            lumo::FatalIfError(lumo::LoadSlabCoefficients(slab, settings));
            load_s = Seconds(l0, Clock::now());
            load_cpu = CpuSeconds() - cpu0;
        }
        auto model = std::make_unique<lumo::Model>();
        const Clock::time_point s0 = Clock::now();
        const double setup_cpu0 = CpuSeconds();
        lumo::FatalIfError(lumo::InitModel(*model, "scene.lid"));
        const double setup_s = Seconds(s0, Clock::now());
        const double setup_cpu = CpuSeconds() - setup_cpu0;
        std::vector<double> changes;
        for (int i = 0; i < o.changes; ++i) {
            model->lights.table[0].SetDirection(ChangeDirection(i));
            const Clock::time_point c0 = Clock::now();
            lumo::FatalIfError(lumo::ReconstructModel(*model));
            changes.push_back(Seconds(c0, Clock::now()));
        }
        std::fflush(stdout);
        dup2(saved_out, STDOUT_FILENO);
        dup2(saved_err, STDERR_FILENO);
        close(saved_out);
        close(saved_err);
        close(null_fd);
        fs::current_path(here);
        std::sort(changes.begin(), changes.end());
        const double relight_s = changes[changes.size() / 2];
        std::printf(
            "in-process: coefficient files (LoadSlabSH) %.3f s = %.2f x page-cache "
            "read, processor %.3f s = %.2f x the read's\n",
            load_s, load_s / read_s, load_cpu, load_cpu / read_cpu);
        std::printf("in-process: set-up (InitModel) %.3f s, processor %.3f s\n", setup_s,
                    setup_cpu);
        std::printf(
            "in-process: relight per light change %.3f s (median of %zu, "
            "fastest %.3f)\n",
            relight_s, changes.size(), changes.front());
        std::printf(
            "in-process: set-up = %.2f x page-cache read + relight "
            "(goal <= 1.5 x read + relight = %.3f s)\n",
            (setup_s - relight_s) / read_s, 1.5 * read_s + relight_s);
    }
    if (baked && !o.keep) {
        std::error_code ec;
        fs::remove_all(dir, ec);
    } else {
        std::printf("kept %s\n", dir.c_str());
    }
    return child.ok ? 0 : 1;
}
