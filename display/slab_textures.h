// SlabTextures: the texture objects of the reference images one view draws.
//
// One texture object per reference image of the slab and grid drawn last;
// an image is uploaded only when it changed since its last upload (a
// reconstruction or a load bumps the slab's image_generation), and a camera
// without an image shows black. Each view that draws slabs owns one table;
// it holds names of the GL context it was filled in.
#pragma once

#include <GL/gl.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/slab_record.h"

namespace lumo {

class SlabTextures {
  public:
    // Makes the table hold one texture object per image of `grid` of `slab`,
    // replacing (and deleting) the objects of another slab or grid.
    void Prepare(const SlabRecord& slab, int grid);
    // Binds the texture of image k, uploading the image first when it changed
    // (check) or was never uploaded.
    void Bind(const SlabRecord& slab, int grid, size_t k, bool check);
    // Drops the table without deleting the objects: for when their context
    // is gone.
    void Forget();
    // Number of texture objects held.
    size_t size() const { return names_.size(); }

  private:
    void Release();

    const SlabRecord* slab_ = nullptr;
    int grid_ = -1;
    std::vector<GLuint> names_;
    std::vector<uint64_t> generation_;  // image_generation at the last upload; 0: never
};

}  // namespace lumo
