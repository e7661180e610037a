// Model set-up: builds the model from a scene description.
//
// The scene is read; for each slab the camera plane's normal, the camera
// grid's geometry, the reference images (SGI images, one compressed image set,
// or black images that relighting fills) and the per-frame texture-coordinate
// buffer are prepared; the lights are reset to one white directional light
// travelling along (0, 0, -1); for a relightable slab every coefficient file
// is read and every reference image is reconstructed once under that light.
// Every data file is named from the slab's base name and resolved against the
// current directory.
#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "io/photo.h"
#include "model/model.h"
#include "relight/coeff_cache.h"
#include "scene/brdf_image.h"
#include "scene/slab_record.h"

namespace lumo {

// The viewer's RelightSettings::half from the value of LUMO_HALF (null when
// unset): on only for "1".
bool HalfFromEnvironment(const char* value);

// Builds `model` from the scene description `path`. Every failure returns its
// message (an allocation without a message of its own: "[InitModel]: not
// enough memory\n"); what set-up printed before it stays printed.
Status InitModel(Model& model, const char* path);
// As InitModel; a failure ends the program with its message and status 1.
void InitModelOrExit(Model& model, const char* path);

// The unit normal of the camera plane of `grid`, pointing from the image
// plane towards the camera plane.
void ComputeNormal(SlabRecord& slab, int grid);

// Loads the reference images of `grid`: one compressed image set when the
// base name ends in ".dat", else the SGI images "%s.%02d.%02d.rgb" (a missing
// or unreadable one is reported and leaves its image empty); for a BRDF slab,
// samples_s x samples_t black images. Disabled cameras get empty images.
// Failures: "[SlabRecord::ReadPhoto]: no memory for uv array of st image\n",
// "[SlabRecord::ReadPhoto()]: Unsupported photo format\n", the image set's.
// The SGI images' names and the image set's progress go to console.out.
Status LoadReferenceImages(SlabRecord& slab, int grid,
                           const ModelConsole& console = ModelConsole());

// A zeroed (s, t) pair per grid vertex of `grid` (curr_st). Failure:
// "[SlabRecord::AllocST]: no more memory for curr_st\n".
Status AllocVertexST(SlabRecord& slab, int grid);

// For a BRDF slab: reads the coefficient file "%s.%d.%d.urdf.sh" of every
// enabled camera of the UV grid and sets its image's texture window; the first
// file with a present pixel sets the harmonic counts of `settings` when none
// has yet (SetAvailableTerms). The coefficients are kept as half floats when
// settings.half is on. The files are read in parallel, but report and fail as
// if read one after another: the first failure in camera order is returned,
// among them "[LoadSlabSH]: %s holds %d x %d pixels, the slab's images are
// %d x %d\n". The files' header lines go to console.out, their opening lines
// to console.reports.
Status LoadSlabCoefficients(SlabRecord& slab, RelightSettings& settings,
                            const ModelConsole& console = ModelConsole());

// The files of a BRDF slab are read through the coefficient cache
// (relight/coeff_cache.h) unless settings.cache is off or LUMO_CACHE turns it
// off; its per-user folder comes from XDG_CACHE_HOME or HOME. When a file's
// cache cannot be written anywhere, one line says so on console.reports
// ("No coefficient cache for FILE (REASONS): its files will be read again
// next time\n"), once per slab; the load goes on without it.
CoeffCacheOptions CacheOptionsFor(const RelightSettings& settings);

// One coefficient file and what caching it did.
struct SlabFileCache {
    std::string path;
    CacheResult cache;
};

// Makes sure every coefficient file of the enabled cameras of a BRDF slab has
// a valid cache (lumotool cache): maps the caches there are and writes the
// others, keeping no image (so a slab larger than memory can be cached).
// `files` receives each file and its outcome, in camera order. Fails with the
// first file's reading failure.
Status CacheSlabCoefficients(SlabRecord& slab, bool half, const CoeffCacheOptions& cache,
                             std::vector<SlabFileCache>& files);

// Replaces the photo's window by the coefficient window in normalised texture
// coordinates: x0 = xmin / (w - 1), x1 = xmax / (w - 1), y0 = ymin / (h - 1),
// y1 = ymax / (h - 1), ordered and clamped to 0..1. A side of one pixel spans
// the whole 0..1 range.
void SetSlabTextureWindow(Photo& photo, const BrdfImage& brdf);

// Reconstructs the model's images under its lights (preview as linked) and
// clears the reconstruction request. Fails with the engine's message
// (relight/reconstruct.h); the images are then marked changed all the same
// (part of them may be written) and the request is cleared too, so a failed
// reconstruction is reported once and the next light change tries again.
Status ReconstructModel(Model& model);

// Loads the depth maps of every BRDF slab (the first time a light becomes
// non-directional) and, when there was one, marks them loaded
// (scene.depth_requested). The maps' reports go to model.console.reports,
// missing maps to its warnings. Fails with the depth reader's message.
Status LoadModelDepthMaps(Model& model);

}  // namespace lumo
