#include "display/slab_textures.h"

namespace lumo {

void SlabTextures::Release() {
    if (!names_.empty())
        glDeleteTextures(static_cast<GLsizei>(names_.size()), names_.data());
    slab_ = nullptr;
    grid_ = -1;
    names_.clear();
    generation_.clear();
}

void SlabTextures::Forget() {
    slab_ = nullptr;
    grid_ = -1;
    names_.clear();
    generation_.clear();
}

void SlabTextures::Prepare(const SlabRecord& slab, int grid) {
    const size_t count = slab.photo[grid].size();
    if (slab_ == &slab && grid_ == grid && names_.size() == count) return;
    Release();
    slab_ = &slab;
    grid_ = grid;
    names_.resize(count);
    generation_.assign(count, 0);
    if (count == 0) return;
    glGenTextures(static_cast<GLsizei>(count), names_.data());
    for (GLuint name : names_) {
        glBindTexture(GL_TEXTURE_2D, name);
        // Clamping to the edge: GL_CLAMP would blend the image's border with
        // the black border colour under linear filtering.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }
}

void SlabTextures::Bind(const SlabRecord& slab, int grid, size_t k, bool check) {
    glBindTexture(GL_TEXTURE_2D, names_[k]);
    const uint64_t generation = slab.image_generation + 1;  // never 0
    if (generation_[k] == generation || (!check && generation_[k] != 0)) return;
    const Photo& p = slab.photo[grid][k];
    static const uint8_t kBlack[3] = {0, 0, 0};
    if (p.has_pixels()) {
        glTexImage2D(GL_TEXTURE_2D, 0, 3, p.width, p.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                     p.pixels.data());
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, 3, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, kBlack);
    }
    generation_[k] = generation;
}

}  // namespace lumo
