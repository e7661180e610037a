#include "bake/bake_scene.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "bake/baked_slab.h"
#include "bake/capture_writer.h"
#include "bake/demo_scene.h"
#include "bake/direction_set.h"
#include "bake/sky_map.h"
#include "bake/slide_pattern.h"
#include "bake/view_render.h"
#include "base/clock.h"
#include "base/file_ptr.h"
#include "base/parallel_for.h"
#include "base/str_printf.h"
#include "io/depth_map_writer.h"
#include "io/image_set_writer.h"
#include "io/photo.h"
#include "io/sgi_writer.h"
#include "relight/brdf_writer.h"
#include "relight/sh_basis.h"
#include "scene/lid_writer.h"

namespace lumo::tool {
namespace {

constexpr const char* kBaseName = "scene";

std::string Join(const std::string& dir, const std::string& name) {
    return (std::filesystem::path(dir) / name).string();
}

Status WriteText(const std::string& path, const std::string& text) {
    FilePtr f = OpenFile(path.c_str(), "wb");
    if (!f)
        return Status::Error(StrPrintf("[BakeDemo]: cannot create %s\n", path.c_str()));
    if (std::fwrite(text.data(), 1, text.size(), f.get()) != text.size() ||
        std::fclose(f.release()) != 0) {
        return Status::Error(StrPrintf("[BakeDemo]: cannot write %s\n", path.c_str()));
    }
    return Status::Ok();
}

// The header matrices of camera (a, b)'s depth map, in column order: world to
// camera (the camera looks down -z with the world's axes), and world to the
// screen, the off-axis frustum through the image plane's rectangle mapped to
// -1..1.
void DepthMatrices(const BakeSlab& slab, const Vec3d& eye, float camera[16],
                   float screen[16]) {
    double cam[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -eye.x, -eye.y, -eye.z, 1};
    const Vec3d lo = slab.image.corner[0] - eye;
    const Vec3d hi = slab.image.corner[2] - eye;
    const double n = -lo.z;  // distance from the camera to the image plane
    const double f = n + 10.0;
    double proj[16] = {};
    proj[0] = 2 * n / (hi.x - lo.x);
    proj[5] = 2 * n / (hi.y - lo.y);
    proj[8] = (hi.x + lo.x) / (hi.x - lo.x);
    proj[9] = (hi.y + lo.y) / (hi.y - lo.y);
    proj[10] = -(f + n) / (f - n);
    proj[11] = -1;
    proj[14] = -2 * f * n / (f - n);
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += proj[4 * k + row] * cam[4 * col + k];
            screen[4 * col + row] = static_cast<float>(sum);
            camera[4 * col + row] = static_cast<float>(cam[4 * col + row]);
        }
    }
}

Status WriteCoefficients(const std::string& path, const ViewCoefficients& c, int width,
                         int height, int bands) {
    ShCoeffImage image(width, height, bands);
    const size_t terms = static_cast<size_t>(c.terms);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) +
                             static_cast<size_t>(x);
            if (!c.present[i]) continue;
            for (int ch = 0; ch < 3; ++ch)
                image.Set(ch, x, y,
                          std::span<const float>(&c.coeff[ch][i * terms], terms));
        }
    }
    return WriteBrdfFile(path.c_str(), image);
}

Photo ToPhoto(const std::vector<uint8_t>& rgb, int width, int height) {
    Photo p;
    if (!p.Alloc(width, height).ok()) return p;
    p.pixels = rgb;
    p.x1 = static_cast<float>(width - 1);
    p.y1 = static_cast<float>(height - 1);
    return p;
}

}  // namespace

Status BakeDemo(const std::string& outdir, const BakeOptions& options,
                const MessageSink& progress) {
    const double start = GetSeconds();
    if (options.grid < 1 || options.grid > 99 || options.size < 1 ||
        options.size > 4096 || options.bands < 1 || options.bands > kMaxShBands ||
        options.directions < options.bands * options.bands ||
        options.directions > 1000000 || options.capture < 0 || options.capture > 999) {
        return Status::Error("[BakeDemo]: options out of range\n");
    }
    std::error_code ec;
    std::filesystem::create_directories(outdir, ec);
    if (!std::filesystem::is_directory(outdir, ec)) {
        return Status::Error(
            StrPrintf("[BakeDemo]: cannot create folder %s\n", outdir.c_str()));
    }
    const Scene scene = DemoScene();
    const BakeSlab slab = DemoSlab(options.grid, options.size);
    const int views = slab.columns * slab.rows;
    const int terms = options.bands * options.bands;
    Emit(progress,
         StrPrintf("bake: %d x %d cameras of %d x %d pixels, %d bands from %d light "
                   "directions, into %s\n",
                   slab.columns, slab.rows, slab.width, slab.height, options.bands,
                   options.directions, outdir.c_str()));

    auto record = std::make_unique<SlabRecord>();
    FillSlabRecord(slab, kBaseName, *record);
    const std::vector<Vec3d> directions = SphereDirections(options.directions);
    std::vector<float> basis;
    if (Status s = BasisAtDirections(*record, directions, options.bands, basis); !s.ok())
        return s;

    const std::vector<CaptureVariant> variants = options.capture > 0
                                                     ? CaptureVariants(options.capture)
                                                     : std::vector<CaptureVariant>();

    std::vector<Photo> photos(static_cast<size_t>(views));
    std::vector<Status> failures(static_cast<size_t>(views));
    std::mutex progress_mutex;
    int done = 0;
    ParallelForEach(
        static_cast<size_t>(views),
        [&](size_t i) {
            const int v = static_cast<int>(i);
            const int a = v % slab.columns;
            const int b = v / slab.columns;
            const ViewHits view = TraceView(scene, slab, a, b);
            Status s = WriteCoefficients(
                Join(outdir, StrPrintf("%s.%d.%d.urdf.sh", kBaseName, a, b)),
                ProjectResponse(scene, view, directions, basis, terms), slab.width,
                slab.height, options.bands);
            if (s.ok()) {
                Zfile z;
                z.width = slab.width;
                z.height = slab.height;
                DepthMatrices(slab, view.camera, z.cameraMatrix, z.screenMatrix);
                z.depth = DepthMapValues(view);
                s = WriteZfile(
                    Join(outdir, StrPrintf("%s.%d.%d.z", kBaseName, a, b)).c_str(), z);
            }
            Photo& photo = photos[static_cast<size_t>(v)];
            if (s.ok()) {
                photo = ToPhoto(
                    RenderDirectional(scene, view, kPhotoLightDirection, {1, 1, 1}),
                    slab.width, slab.height);
                s = WriteSGIRGB(
                    Join(outdir, StrPrintf("%s.%02d.%02d.rgb", kBaseName, a, b)).c_str(),
                    photo);
            }
            if (s.ok() && !variants.empty()) {
                s = WriteViewCapture(outdir, scene, slab, view, variants);
            }
            failures[static_cast<size_t>(v)] = s;
            std::lock_guard<std::mutex> lock(progress_mutex);
            ++done;
            // About ten lines for the whole bake.
            if (done == views || done * 10 / views != (done - 1) * 10 / views)
                Emit(progress, StrPrintf("bake: %d of %d views\n", done, views));
        },
        options.threads);
    for (const Status& s : failures) {
        if (!s.ok()) return s;
    }

    const std::string dat_name = std::string(kBaseName) + ".dat";
    Emit(progress, StrPrintf("bake: image set %s\n", dat_name.c_str()));
    ImageSetWriteOptions dat_options;
    dat_options.dct.rate = options.dct_rate;
    dat_options.text = "lumo demo scene, photographs under one light";
    Status s = WriteImageSet(Join(outdir, dat_name).c_str(), photos.data(), slab.columns,
                             slab.rows, dat_options);
    if (!s.ok()) return s;
    s = WriteSGIRGB(Join(outdir, "slide.rgb").c_str(), SlidePattern(128));
    if (!s.ok()) return s;
    s = WriteImageFile(Join(outdir, "sky.exr"), SkyMap(128, 64), ImageBits::kFloat);
    if (!s.ok()) return s;
    if (!variants.empty()) {
        s = WriteCaptureManifests(outdir, slab, variants);
        if (!s.ok()) return s;
    }

    const std::string about = StrPrintf(
        "lumo demo scene, baked by lumotool bake --grid %d --size %d --bands %d "
        "--directions %d%s",
        options.grid, options.size, options.bands, options.directions,
        options.capture > 0 ? StrPrintf(" --capture %d", options.capture).c_str() : "");
    struct LidFile {
        const char* file;
        LidSpec spec;
    };
    const LidFile lids[] = {
        {"scene.lid",
         {about + "\nRelightable: per-pixel spherical-harmonic coefficients.", kBaseName,
          true, terms, 0.0f, LidGrid::kUV}},
        {"scene-rgb.lid",
         {about + "\nPhotographs under one light, as SGI images.", kBaseName, false, 0,
          0.0f, LidGrid::kUV}},
        {"scene-dat.lid",
         {about + "\nPhotographs under one light, as one compressed image set.", dat_name,
          false, 0, options.dct_rate, LidGrid::kUV}},
        {"scene-qr.lid",
         {about + "\nPhotographs under one light, cameras on a QR grid.", kBaseName,
          false, 0, 0.0f, LidGrid::kQR}},
    };
    for (const LidFile& lid : lids) {
        s = WriteText(Join(outdir, lid.file), SlabLidText(ToLidSlab(slab), lid.spec));
        if (!s.ok()) return s;
    }
    Emit(progress, StrPrintf("bake: done in %.1f s\n", GetSeconds() - start));
    return Status::Ok();
}

}  // namespace lumo::tool
