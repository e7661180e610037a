#include "model/model_setup.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/alloc.h"
#include "base/fatal.h"
#include "base/message_sink.h"
#include "base/parallel_for.h"
#include "base/str_printf.h"
#include "io/depth_map.h"
#include "io/image_set.h"
#include "io/sgi_image.h"
#include "relight/brdf_file.h"
#include "relight/coeff_cache.h"
#include "relight/reconstruct.h"
#include "relight/sh_basis.h"
#include "scene/lid_reader.h"
#include "slab/slab_geometry.h"

namespace lumo {
namespace {

bool EndsWithDat(const char* name) {
    const size_t n = std::strlen(name);
    return n > 4 && std::strcmp(name + n - 4, ".dat") == 0;
}

const uint8_t* MaskOrNull(const std::vector<uint8_t>& mask, size_t count) {
    return mask.size() >= count && count > 0 ? mask.data() : nullptr;
}

bool Enabled(const std::vector<uint8_t>& mask, size_t k) {
    return k < mask.size() && mask[k];
}

}  // namespace

void ComputeNormal(SlabRecord& slab, int grid) {
    const Vec4* c = slab.corner_vert[grid];
    const Vec4& s0 = slab.corner_vert[kPlaneST][0];
    Vec3 a, b, n;
    VecSub(c[0], c[1], a);
    VecSub(c[2], c[1], b);
    VecCross(a, b, n);
    Vec3 to_camera;
    VecSub(c[0], s0, to_camera);
    if (VecDot(to_camera, n) < 0.0f) VecScale(n, -1.0f);
    VecNormalize(n);
    slab.normal = n;
}

Status LoadReferenceImages(SlabRecord& slab, int grid, const ModelConsole& console) {
    int32_t n = 0, m = 0;
    GridSize(slab, grid, n, m);
    const size_t count = static_cast<size_t>(n) * static_cast<size_t>(m);
    std::vector<Photo>& photos = slab.photo[grid];
    if (!TryResizeFresh(photos, count)) {
        return Status::Error(
            "[SlabRecord::ReadPhoto]: no memory for uv array of st image\n");
    }
    const std::vector<uint8_t>& mask = slab.viewenablemask[grid];
    if (slab.format == kFormatRGB) {
        if (EndsWithDat(slab.name)) {
            int32_t cols = n, rows = m;
            ImageSetReadOptions options;
            options.progress = console.out;
            return ReadDAT(slab.name, photos.data(), photos.size(), cols, rows,
                           MaskOrNull(mask, count), options);
        }
        for (int32_t b = 0; b < m; ++b) {
            for (int32_t a = 0; a < n; ++a) {
                const size_t k = static_cast<size_t>(b) * static_cast<size_t>(n) +
                                 static_cast<size_t>(a);
                if (!Enabled(mask, k)) continue;
                const std::string file = StrPrintf("%s.%02d.%02d.rgb", slab.name, a, b);
                Emit(console.out, file + "\n");
                photos[k].Reset();
                bool loaded = false;  // a refused file leaves its image empty
                if (Status s = ReadSGIRGB(photos[k], file.c_str(), SgiReadOptions{},
                                          WriteToStderr, loaded);
                    !s.ok())
                    return s;
            }
        }
        return Status::Ok();
    }
    if (slab.format == kFormatBRDF) {
        // A relit image gets its pixels once its coefficient file has shown
        // the slab's image size (LoadSlabCoefficients): the scene description alone
        // never costs memory.
        for (size_t k = 0; k < count; ++k)
            if (Enabled(mask, k)) photos[k].Reset();
        return Status::Ok();
    }
    return Status::Error("[SlabRecord::ReadPhoto()]: Unsupported photo format\n");
}

Status AllocVertexST(SlabRecord& slab, int grid) {
    int32_t n = 0, m = 0;
    GridSize(slab, grid, n, m);
    const size_t pairs = (static_cast<size_t>(n) + 1) * (static_cast<size_t>(m) + 1);
    if (!TryAssign(slab.curr_st, 2 * pairs, 0.0f)) {
        return Status::Error("[SlabRecord::AllocST]: no more memory for curr_st\n");
    }
    return Status::Ok();
}

void SetSlabTextureWindow(Photo& photo, const BrdfImage& brdf) {
    const float w = static_cast<float>(photo.width - 1);
    const float h = static_cast<float>(photo.height - 1);
    float x0 = 0.0f, x1 = 1.0f, y0 = 0.0f, y1 = 1.0f;
    if (w > 0.0f) {
        x0 = static_cast<float>(brdf.xmin) / w;
        x1 = static_cast<float>(brdf.xmax) / w;
    }
    if (h > 0.0f) {
        y0 = static_cast<float>(brdf.ymin) / h;
        y1 = static_cast<float>(brdf.ymax) / h;
    }
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    if (x0 < 0.0f) x0 = 0.0f;
    if (y0 < 0.0f) y0 = 0.0f;
    if (x1 > 1.0f) x1 = 1.0f;
    if (y1 > 1.0f) y1 = 1.0f;
    // Coefficient row y is texture row y (pixel y lies at (y + 0.5)/H of the
    // way from the image plane's first corner towards its fourth, as t is
    // measured), so the rows are not mirrored.
    photo.x0 = x0;
    photo.x1 = x1;
    photo.y0 = y0;
    photo.y1 = y1;
}

bool HalfFromEnvironment(const char* value) {
    return value != nullptr && std::strcmp(value, "1") == 0;
}

namespace {

// One coefficient file being read: what it reports is kept until the files
// before it have reported.
struct FileLoad {
    size_t k = 0;
    std::string path;
    std::string opening;
    std::string header;
    Status status;
    CacheResult cache;
};

// The files of the enabled cameras of the UV grid, in camera order.
std::vector<FileLoad> PlanFileLoads(const SlabRecord& slab) {
    std::vector<FileLoad> loads;
    const int32_t n = slab.samples_u, m = slab.samples_v;
    for (int32_t b = 0; b < m; ++b) {
        for (int32_t a = 0; a < n; ++a) {
            const size_t k =
                static_cast<size_t>(b) * static_cast<size_t>(n) + static_cast<size_t>(a);
            if (!Enabled(slab.viewenablemask[0], k)) continue;
            FileLoad& load = loads.emplace_back();
            load.k = k;
            load.path = StrPrintf("%s.%d.%d.urdf.sh", slab.name, a, b);
        }
    }
    return loads;
}

// Reads the files on every thread, one file per task. A failed file ends the
// set-up: files after it need not be read.
void ReadFileLoads(SlabRecord& slab, std::vector<FileLoad>& loads, bool half,
                   const CoeffCacheOptions& cache, bool keep = true) {
    std::atomic<size_t> first_failure{loads.size()};
    ParallelForEach(loads.size(), [&](size_t i) {
        if (i > first_failure.load()) return;
        FileLoad& load = loads[i];
        BrdfReadOptions options;
        options.half = half;
        options.opening = [&load](std::string_view text) { load.opening.append(text); };
        options.header = [&load](std::string_view text) { load.header.append(text); };
        BrdfImage dropped;
        BrdfImage& image = keep ? slab.brdf[load.k] : dropped;
        image = BrdfImage();
        try {
            load.status =
                LoadBrdfPathCached(load.path.c_str(), image, options, cache, load.cache);
        } catch (const std::bad_alloc&) {
            // As InitModel reports it on the calling thread.
            load.status = Status::Error("[InitModel]: not enough memory\n");
        }
        if (!load.status.ok()) {
            size_t before = first_failure.load();
            while (i < before && !first_failure.compare_exchange_weak(before, i)) {
            }
        }
    });
}

// Writes what one file reported and applies the effects of having read it:
// the basis tables, the harmonic counts, its photo's pixels and texture
// window.
Status FinishFileLoad(SlabRecord& slab, const FileLoad& load, RelightSettings& settings,
                      const ModelConsole& console) {
    if (!load.opening.empty()) Emit(console.reports, load.opening);
    if (!load.header.empty()) Emit(console.out, load.header);
    if (!load.status.ok()) return load.status;
    const BrdfImage& read = slab.brdf[load.k];
    if (Status s = FinishBrdfImage(read); !s.ok()) return s;
    if (read.tile_count > 0) SetAvailableTerms(settings, read.lcnt);
    if (read.width != slab.samples_s || read.height != slab.samples_t) {
        // Every image of a slab has the slab's size: the images are drawn as
        // one light field and relit into photos of that size.
        return Status::Error(StrPrintf(
            "[LoadSlabSH]: %s holds %d x %d pixels, the slab's images "
            "are %d x %d\n",
            load.path.c_str(), read.width, read.height, slab.samples_s, slab.samples_t));
    }
    if (load.k < slab.photo[0].size()) {
        Photo& photo = slab.photo[0][load.k];
        if (!photo.has_pixels()) {
            if (Status s = photo.Alloc(slab.samples_s, slab.samples_t); !s.ok()) return s;
        }
        SetSlabTextureWindow(photo, read);
    }
    return Status::Ok();
}

// The cache's line when some file's cache could not be written anywhere
// (one per slab: the first such file's reasons).
void ReportUnwrittenCache(const std::vector<FileLoad>& loads,
                          const ModelConsole& console) {
    for (const FileLoad& load : loads) {
        if (load.cache.use != CacheResult::Use::kNotWritten) continue;
        Emit(console.reports,
             StrPrintf("No coefficient cache for %s (%s): its files will "
                       "be read again next time\n",
                       load.path.c_str(), load.cache.reason.c_str()));
        return;
    }
}

}  // namespace

CoeffCacheOptions CacheOptionsFor(const RelightSettings& settings) {
    CoeffCacheOptions options;
    options.enabled = settings.cache && !CacheOffByEnvironment(std::getenv("LUMO_CACHE"));
    options.user_folder =
        UserCacheFolder(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
    return options;
}

Status CacheSlabCoefficients(SlabRecord& slab, bool half, const CoeffCacheOptions& cache,
                             std::vector<SlabFileCache>& files) {
    files.clear();
    if (slab.format != kFormatBRDF) return Status::Ok();
    std::vector<FileLoad> loads = PlanFileLoads(slab);
    ReadFileLoads(slab, loads, half, cache, false);
    for (const FileLoad& load : loads) {
        if (!load.status.ok()) return load.status;
        files.push_back({load.path, load.cache});
    }
    return Status::Ok();
}

Status LoadSlabCoefficients(SlabRecord& slab, RelightSettings& settings,
                            const ModelConsole& console) {
    if (slab.format != kFormatBRDF) return Status::Ok();
    const size_t count =
        static_cast<size_t>(slab.samples_u) * static_cast<size_t>(slab.samples_v);
    if (!TryResizeFresh(slab.brdf, count))
        return Status::Error("[InitModel]: no memory for uv array of st image\n");
    // The files are read on every thread; what each one reports is written
    // afterwards in camera order, and the effects of reading (the basis
    // tables, the harmonic counts) are applied in the same order, so the
    // output and the state are those of reading the files one after another.
    std::vector<FileLoad> loads = PlanFileLoads(slab);
    ReadFileLoads(slab, loads, settings.half, CacheOptionsFor(settings));
    for (const FileLoad& load : loads) {
        if (Status s = FinishFileLoad(slab, load, settings, console); !s.ok()) return s;
    }
    ReportUnwrittenCache(loads, console);
    return Status::Ok();
}

namespace {

// The reconstruction of the model's lights in use with its terms applied; the
// engine's lines go to the standard streams.
ReconRequest RequestFor(Model& model, uint8_t preview) {
    ReconRequest request;
    request.lights = std::span<LightSrc>(model.lights.table)
                         .first(static_cast<size_t>(LightsInUse(model.lights)));
    request.terms = model.relight.terms;
    request.preview = preview;
    request.mixed = model.lights.mixed != 0 ? 1 : 0;
    request.progress = model.console.out;
    return request;
}

Status BuildModel(Model& model, const char* path) {
    for (uint8_t& v : model.scene.slab_visible)
        v = 0;
    model.scene.slab_visible[0] = 1;

    auto info = std::make_unique<LidInfo>();
    if (Status s = ReadLidFile(path, *info); !s.ok()) return s;

    int grid = 0;
    for (int32_t i = 0; i < info->slab_count; ++i) {
        SlabRecord& slab = info->slabs[static_cast<size_t>(i)];
        if (slab.samples_q != 0 && slab.samples_r != 0) {
            model.scene.qr_mode = 1;
            grid = 1;
        }
        if (grid == 1 && slab.format == kFormatBRDF) {
            // Relightable images belong to the UV grid's cameras; a QR grid has
            // no coefficients to relight.
            return Status::Error(
                StrPrintf("[InitModel]: slab %s has both a QR grid and BRDF format; a "
                          "relightable slab uses the UV grid only\n",
                          slab.name));
        }
        ComputeNormal(slab, grid);
        if (Status s = BuildGridVertices(slab, grid); !s.ok()) return s;
        if (Status s = BuildSamplePositions(slab, grid); !s.ok()) return s;
        if (Status s = LoadReferenceImages(slab, grid, model.console); !s.ok()) return s;
        if (Status s = AllocVertexST(slab, grid); !s.ok()) return s;
        ++slab.image_generation;
    }

    for (LightSrc& light : model.lights.table)
        light.Init();
    for (LightControl& control : model.lights.controls)
        MatIdentity(control.placement);
    model.lights.lightcnt = 1;
    model.lights.currlight = 0;
    LightSrc& first = model.lights.table[0];
    first.SetKind(Directional);
    first.color[0] = first.color[1] = first.color[2] = 1.0f;
    first.SetDirection(Vec3(0.0f, 0.0f, -1.0f));

    for (int32_t i = 0; i < info->slab_count; ++i) {
        SlabRecord& slab = info->slabs[static_cast<size_t>(i)];
        if (slab.format != kFormatBRDF) continue;
        if (Status s = LoadSlabCoefficients(slab, model.relight, model.console); !s.ok())
            return s;
        // The first coefficient file set the harmonic counts just now.
        if (Status s = RelightSlabSeveral(slab, RequestFor(model, 0)); !s.ok()) return s;
        ++slab.image_generation;
    }
    model.scene.info = std::move(info);
    return Status::Ok();
}

}  // namespace

Status InitModel(Model& model, const char* path) {
    // The allocations that have no message of their own (the scene's records,
    // the engine's working memory) fail with set-up's.
    try {
        return BuildModel(model, path);
    } catch (const std::bad_alloc&) {
        return Status::Error("[InitModel]: not enough memory\n");
    }
}

void InitModelOrExit(Model& model, const char* path) {
    FatalIfError(InitModel(model, path));
}

Status ReconstructModel(Model& model) {
    Status status;
    if (model.scene.info) {
        status = ReconstructAll(
            *model.scene.info,
            RequestFor(model, static_cast<uint8_t>(model.options.preview & 0xff)));
        // A failed reconstruction may have written part of the images: they
        // are uploaded again all the same.
        for (int32_t i = 0; i < model.scene.info->slab_count; ++i) {
            SlabRecord& slab = model.scene.info->slabs[static_cast<size_t>(i)];
            ++slab.image_generation;
            // What this reconstruction relit (slab.fresh) is what changed.
            slab.fresh_generation = slab.image_generation;
        }
    }
    model.view.recon_request = 0;
    return status;
}

Status LoadModelDepthMaps(Model& model) {
    if (!model.scene.info) return Status::Ok();
    bool any = false;
    for (int32_t i = 0; i < model.scene.info->slab_count; ++i) {
        SlabRecord& slab = model.scene.info->slabs[static_cast<size_t>(i)];
        if (slab.format != kFormatBRDF) continue;
        const size_t count =
            static_cast<size_t>(slab.samples_u) * static_cast<size_t>(slab.samples_v);
        if (Status s =
                ReadZFile(slab.name, slab.samples_u, slab.samples_v,
                          MaskOrNull(slab.viewenablemask[0], count), slab.depth_loaded,
                          slab.zfile, model.console.reports, model.console.warnings);
            !s.ok())
            return s;
        any = true;
    }
    if (any) model.scene.depth_requested = 1;
    return Status::Ok();
}

}  // namespace lumo
