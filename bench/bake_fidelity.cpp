// Figures of `lumotool bake`: how long the default and the small test bake
// take, and how faithfully the relighting engine reproduces the ray tracer
// from the baked files (PSNR of relit views against direct ray-traced renders
// under the same light, for held-out directional lights at 3, 4 and 5 bands,
// for bake directions, and for point lights through the depth maps).
//
// usage: bake_fidelity [--grid N] [--size S] [--directions K] [--keep DIR]
//
// Bakes into a fresh temporary folder (or DIR, kept) with every core; prints
// the figures on standard output. The engine's progress lines are silenced.
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "bake/bake_scene.h"
#include "bake/demo_scene.h"
#include "bake/direction_set.h"
#include "base/clock.h"
#include "base/fatal.h"
#include "scene/slab_record.h"
#include "testing/bake_fidelity.h"
#include "testing/quiet_streams.h"

namespace {

using namespace lumo::tool;

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

double Mean(const std::vector<double>& v) {
    return v.empty() ? 0.0 : std::accumulate(v.begin(), v.end(), 0.0) / v.size();
}

double Min(const std::vector<double>& v) {
    double m = 1e9;
    for (double x : v)
        m = std::min(m, x);
    return m;
}

// Bakes with `options` into `dir` and prints the wall and processor time.
bool TimedBake(const std::string& dir, const BakeOptions& options, const char* what) {
    const double wall0 = lumo::GetSeconds();
    const double cpu0 = CpuSeconds();
    const lumo::Status s = BakeDemo(dir, options, [](std::string_view) {});
    const double wall = lumo::GetSeconds() - wall0;
    const double cpu = CpuSeconds() - cpu0;
    if (!s.ok()) {
        std::fprintf(stderr, "%s", s.message().c_str());
        return false;
    }
    std::printf("%-44s %6.2f s wall, %6.2f s processor (%.2f cores busy)\n", what, wall,
                cpu, wall > 0 ? cpu / wall : 0.0);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    BakeOptions base;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 < argc && a == "--grid") {
            base.grid = std::atoi(argv[++i]);
        } else if (i + 1 < argc && a == "--size") {
            base.size = std::atoi(argv[++i]);
        } else if (i + 1 < argc && a == "--directions") {
            base.directions = std::atoi(argv[++i]);
        } else if (i + 1 < argc && a == "--keep") {
            keep = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: bake_fidelity [--grid N] [--size S] [--directions K] "
                         "[--keep DIR]\n");
            return 2;
        }
    }
    std::string root = keep;
    if (root.empty()) {
        char tmpl[] = "/tmp/lumo_bake_fidelity_XXXXXX";
        if (mkdtemp(tmpl) == nullptr) return 1;
        root = tmpl;
    }
    std::printf(
        "bake_fidelity: %d x %d cameras of %d x %d pixels, %d directions, %d cores\n",
        base.grid, base.grid, base.size, base.size, base.directions,
        static_cast<int>(std::thread::hardware_concurrency()));

    BakeOptions small;
    small.grid = 2;
    small.size = 32;
    if (!TimedBake(root + "/small", small, "small bake (2 x 2 cameras of 32 x 32)"))
        return 1;

    const Scene scene = DemoScene();
    const BakeSlab slab = DemoSlab(base.grid, base.size);
    const std::vector<ViewHits> views = TraceAllViews(scene, slab);
    const std::vector<Vec3d> held_out = HeldOutLightDirections();

    for (int bands : {3, 4, 5}) {
        BakeOptions options = base;
        options.bands = bands;
        const std::string dir = root + "/bands" + std::to_string(bands);
        const std::string what = "bake at " + std::to_string(bands) + " bands" +
                                 (bands == 4 ? " (the default bake)" : "");
        if (!TimedBake(dir, options, what.c_str())) return 1;
        auto record = std::make_unique<lumo::SlabRecord>();
        std::vector<double> light_means;
        std::vector<double> all;
        {
            const lumo::Status s =
                LoadBakedSlab(dir, base.grid, base.size, bands == 4, *record);
            if (!s.ok()) {
                std::fprintf(stderr, "%s", s.message().c_str());
                return 1;
            }
            for (const Vec3d& d : held_out) {
                std::vector<double> p;
                lumo::FatalIfError(CompareDirectional(*record, scene, views, d, p));
                light_means.push_back(Mean(p));
                all.insert(all.end(), p.begin(), p.end());
            }
        }
        std::printf(
            "  %d bands, 8 held-out directional lights: mean %.2f dB over the views "
            "(worst view %.2f dB); per light:",
            bands, Mean(all), Min(all));
        for (double m : light_means)
            std::printf(" %.1f", m);
        std::printf("\n");
        if (bands != 4) continue;

        // Lights along bake directions (towards the cameras' side).
        const std::vector<Vec3d> bake_dirs = SphereDirections(base.directions);
        std::vector<double> on_bake;
        std::vector<double> points;
        std::vector<double> photo_light;
        std::vector<double> head_on;
        {
            lumo::FatalIfError(CompareDirectional(*record, scene, views,
                                                  kPhotoLightDirection, photo_light));
            lumo::FatalIfError(
                CompareDirectional(*record, scene, views, Vec3d(0, 0, -1), head_on));
            for (size_t k = 0; k < bake_dirs.size(); k += bake_dirs.size() / 8) {
                if (bake_dirs[k].z < 0.3) continue;
                std::vector<double> p;
                lumo::FatalIfError(
                    CompareDirectional(*record, scene, views, -bake_dirs[k], p));
                on_bake.insert(on_bake.end(), p.begin(), p.end());
            }
            // Point lights at the viewer's default distance of 3 from the origin.
            for (const Vec3d& d : held_out) {
                std::vector<double> p;
                lumo::FatalIfError(ComparePoint(*record, scene, views, d * -3.0, p));
                points.insert(points.end(), p.begin(), p.end());
            }
        }
        std::printf(
            "  4 bands, directional lights along bake directions: mean %.2f dB "
            "(worst view %.2f dB)\n",
            Mean(on_bake), Min(on_bake));
        std::printf(
            "  4 bands, the photographs' light (%.2f, %.2f, %.2f): mean %.2f dB "
            "(worst view %.2f dB)\n",
            kPhotoLightDirection.x, kPhotoLightDirection.y, kPhotoLightDirection.z,
            Mean(photo_light), Min(photo_light));
        std::printf(
            "  4 bands, the viewer's starting light (0, 0, -1): mean %.2f dB (worst "
            "view %.2f dB)\n",
            Mean(head_on), Min(head_on));
        std::printf(
            "  4 bands, 8 point lights at distance 3 through the depth maps: mean "
            "%.2f dB (worst view %.2f dB)\n",
            Mean(points), Min(points));
    }
    if (keep.empty()) std::filesystem::remove_all(root);
    return 0;
}
