// SlabTextures: the texture objects of the reference images one view draws.
//
// One texture object per reference image of the slab and grid drawn last;
// an image is uploaded only when it changed since its last upload (a
// reconstruction or a load bumps the slab's image_generation), and a camera
// without an image shows black. Each view that draws slabs owns one table;
// it holds names of the GL context it was filled in.
//
// How the images are filtered follows how large they appear: drawn smaller
// than their size they are minified through mipmap levels (built from the
// uploaded image only while they are shown small, so a light change on a
// magnified picture costs only its upload); at one image pixel per screen
// pixel, or beyond it after the view was magnified, every texel is drawn as
// its square of pixels. An image larger than the GL's largest texture is halved
// (each texel the mean of its 2 x 2) until it fits, rather than refused.
// After a reconstruction that relit only part of an image (preview), only
// that part is uploaded. An image last relit at a reduced resolution
// (slab.fresh_level) is uploaded as its reduced picture, with mipmap levels
// of its own, and drawn through a texture matrix that scales the image's
// texture coordinates onto it; back at full resolution the image's own
// picture is uploaded again.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/slab_record.h"

namespace lumo {

enum class TextureFilter : uint8_t {
    kSmooth,     // linear, no mipmaps: images drawn at their size or larger
    kMipmapped,  // trilinear over mipmap levels: images drawn smaller
    kPixels,     // nearest texel: inspecting single pixels
};

class SlabTextures {
  public:
    // Makes the table hold one texture object per image of `grid` of `slab`,
    // replacing (and deleting) the objects of another slab or grid.
    void Prepare(const SlabRecord& slab, int grid);
    // Binds the texture of image k, uploading the image first when it changed
    // (check) or was never uploaded, and gives it the table's filter.
    void Bind(const SlabRecord& slab, int grid, size_t k, bool check);
    // Loads the identity texture matrix again if a bound image needed
    // another: for after drawing with the table.
    void EndDrawing();
    // Drops the table without deleting the objects: for when their context
    // is gone.
    void Forget();
    // Number of texture objects held.
    size_t size() const { return names_.size(); }

    // The filter of the textures bound from now on.
    void SetFilter(TextureFilter filter) { filter_ = filter; }
    TextureFilter filter() const { return filter_; }
    // The largest side uploaded (0: the GL's GL_MAX_TEXTURE_SIZE, read once).
    void SetSizeLimit(int32_t limit) { limit_ = limit; }
    // The size of image k's texture as uploaded (after any halving); 0 x 0
    // before its first upload.
    void UploadedSize(size_t k, int32_t& width, int32_t& height) const;

  private:
    void Release();
    void Upload(const Photo& p, size_t k);
    void UploadPart(const Photo& p, const PixelRect& r);
    // The picture image k is drawn from, and the level it was relit at.
    static const Photo& Picture(const SlabRecord& slab, int grid, size_t k,
                                int32_t& level);

    struct Entry {
        uint64_t generation = 0;  // image_generation at the last upload; 0: never
        bool mipmaps = false;     // levels built from the current upload
        TextureFilter filter = TextureFilter::kSmooth;  // as the parameters are set
        int32_t width = 0, height = 0;
        bool reduced = false;  // halved to fit the GL's largest texture
        int32_t level = 0;     // the relight's level (slab.fresh_level) uploaded
        float scale_s = 1.0f, scale_t = 1.0f;  // the texture matrix it is drawn with
    };

    const SlabRecord* slab_ = nullptr;
    int grid_ = -1;
    std::vector<GLuint> names_;
    std::vector<Entry> entries_;
    TextureFilter filter_ = TextureFilter::kSmooth;
    int32_t limit_ = 0;
    // The scale the current texture matrix holds (1: the identity).
    float scale_s_ = 1.0f, scale_t_ = 1.0f;
};

// Uploads mipmap levels 1, 2, ... down to 1 x 1 of `level0` into the bound
// texture: each level floor(w / 2) x floor(h / 2) of the one before, each
// pixel the rounded mean of its 2 x 2 block.
void UploadMipLevels(const Photo& level0);

// Halves `p` (each pixel the mean of its 2 x 2 block; an odd last row or
// column averages what there is) until both sides are at most `limit`.
Photo ReduceToFit(const Photo& p, int32_t limit);

}  // namespace lumo
