// SlabRecord: one light slab, as the scene description declares it and as
// model set-up, the relighting engine and the display use it.
//
// A field with two entries has one for each camera grid, indexed by `grid`:
// 0 for the UV grid (samples_u x samples_v cameras), 1 for the QR grid
// (samples_q x samples_r). Sample (a, b) of a grid with n columns has index
// b * n + a. An empty array stands for "not allocated".
#pragma once

#include <cstdint>
#include <vector>

#include "geom/vec.h"
#include "io/depth_map.h"
#include "io/photo.h"
#include "scene/brdf_image.h"
#include "scene/pixel_rect.h"

namespace lumo {

enum SlabFormat : uint8_t {
    kFormatRGB = 0,   // reference photographs (SGI images or one image set)
    kFormatBRDF = 1,  // images reconstructed from spherical-harmonic coefficients
};

// Planes of corner_vert: the camera planes and the image plane.
enum SlabPlane { kPlaneUV = 0, kPlaneQR = 1, kPlaneST = 2 };

struct SlabRecord {
    // Filled from the scene description.
    int32_t slab_number = 0;          // the SLAB line's number; stored
    char name[256] = {};              // base name of the slab's data files
    Vec4 corner_vert[3][4];           // four corners (x, y, z, w) of planes UV, QR, ST
    float corner_pair[3][4][2] = {};  // fifth and sixth number of each corner line
    int32_t samples_u = 0;            // cameras along u on the UV plane
    int32_t samples_v = 0;            // cameras along v
    int32_t samples_q = 0;            // samples along q on the QR plane
    int32_t samples_r = 0;            // samples along r
    int32_t samples_s = 0;            // width of each reference image in pixels
    int32_t samples_t = 0;            // height of each reference image in pixels
    uint8_t format = kFormatRGB;
    int32_t sh_count = 0;             // stored
    int32_t samples_theta = 0;        // stored
    int32_t samples_phi = 0;          // stored
    float samples_intensity = 0.0f;   // stored
    float dct_quant_bit_rate = 3.0f;  // stored; 3.0 unless given

    // Built by model set-up and the per-frame geometry.
    Vec3 normal;                             // unit normal of the camera plane
    std::vector<Vec4> subvert[2];            // (n+1) x (m+1) grid-vertex positions
    std::vector<Vec4> sampvert[2];           // n x m sample positions (cell centres)
    std::vector<Photo> photo[2];             // n x m reference images
    std::vector<BrdfImage> brdf;             // samples_u x samples_v coefficient sets
    std::vector<float> curr_st;              // (s, t) pairs, two floats per vertex
    std::vector<uint8_t> subskip[2];         // n x m: 1 = leave the cell out
    std::vector<uint8_t> sampskip[2];        // 6 x n x m: 1 = leave the triangle out
    std::vector<uint8_t> viewenablemask[2];  // n x m: 1 = camera enabled
    int32_t depth_loaded = 0;                // depth maps have been loaded
    std::vector<Zfile> zfile;                // samples_u x samples_v depth maps
    // Bumped whenever the slab's images change (a load, a reconstruction), so
    // the drawing uploads textures only for images that changed.
    uint64_t image_generation = 0;
    // Relighting only what is seen (preview), per image of the UV grid:
    // `shown` holds the pixels the next frame shows, set before the frame
    // (an empty array: relight whole images); `fresh` the pixels relit under
    // the current lights by the last reconstruction (an empty array: all of
    // every image), which left the rest of each image as it was;
    // fresh_generation is the image_generation that reconstruction gave.
    std::vector<PixelRect> shown;
    std::vector<PixelRect> fresh;
    uint64_t fresh_generation = 0;
    // Images drawn much smaller than their size are relit at a reduced
    // resolution: shown_level holds, beside `shown`, the coarsest coefficient
    // level (relight/brdf_levels.h) the next frame may show of each image (an
    // empty array: 0, full resolution). fresh_level gives the level the last
    // reconstruction relit each image at, or of the picture an image it left
    // out shows (an empty array: 0). An image relit
    // at level L > 0 was written into reduced_photo[k], of that level's size;
    // its `fresh` rectangle still counts the image's own pixels, and its
    // photo keeps the pixels it had, no longer up to date.
    std::vector<int32_t> shown_level;
    std::vector<int32_t> fresh_level;
    std::vector<Photo> reduced_photo;

    // The empty state: RGB format, a DCT rate of 3.0, no arrays, depth maps
    // not loaded. The other file fields are kept.
    void Clear();
};

}  // namespace lumo
