#define GL_GLEXT_PROTOTYPES
#include "display/slab_textures.h"

#include <GL/glext.h>

#include <algorithm>

#include "base/parallel_for.h"
#include "relight/brdf_levels.h"

namespace lumo {
namespace {

void SetFilterParameters(TextureFilter filter) {
    GLint min = GL_LINEAR, mag = GL_LINEAR;
    if (filter == TextureFilter::kMipmapped) min = GL_LINEAR_MIPMAP_LINEAR;
    if (filter == TextureFilter::kPixels) min = mag = GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
}

Photo HalveOnce(const Photo& p) {
    Photo out;
    out.width = std::max(1, (p.width + 1) / 2);
    out.height = std::max(1, (p.height + 1) / 2);
    out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) *
                      3);
    const size_t w = static_cast<size_t>(p.width);
    for (int32_t y = 0; y < out.height; ++y) {
        const int32_t y0 = 2 * y, y1 = std::min(2 * y + 1, p.height - 1);
        for (int32_t x = 0; x < out.width; ++x) {
            const int32_t x0 = 2 * x, x1 = std::min(2 * x + 1, p.width - 1);
            for (int c = 0; c < 3; ++c) {
                auto at = [&](int32_t xx, int32_t yy) {
                    return static_cast<unsigned>(
                        p.pixels[(static_cast<size_t>(yy) * w + static_cast<size_t>(xx)) *
                                     3 +
                                 static_cast<size_t>(c)]);
                };
                const unsigned sum = at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1);
                out.pixels[(static_cast<size_t>(y) * static_cast<size_t>(out.width) +
                            static_cast<size_t>(x)) *
                               3 +
                           static_cast<size_t>(c)] = static_cast<uint8_t>((sum + 2) / 4);
            }
        }
    }
    return out;
}

// The next mipmap level: floor(w / 2) x floor(h / 2) (at least 1), each
// pixel the rounded mean of its 2 x 2 block (of what there is at a side of 1).
Photo NextLevel(const Photo& p) {
    Photo out;
    out.width = std::max(1, p.width / 2);
    out.height = std::max(1, p.height / 2);
    out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) *
                      3);
    const size_t in_row = static_cast<size_t>(p.width) * 3;
    const size_t dx = p.width > 1 ? 3 : 0;
    const size_t dy = p.height > 1 ? in_row : 0;
    ParallelFor(static_cast<size_t>(out.height), 64, [&](size_t begin, size_t end) {
        for (size_t y = begin; y < end; ++y) {
            const uint8_t* a = p.pixels.data() + (p.height > 1 ? 2 * y : y) * in_row;
            uint8_t* o = out.pixels.data() + y * static_cast<size_t>(out.width) * 3;
            for (int32_t x = 0; x < out.width; ++x) {
                const uint8_t* q = a + (p.width > 1 ? 6 * static_cast<size_t>(x) : 0);
                for (int c = 0; c < 3; ++c)
                    o[c] = static_cast<uint8_t>(
                        (q[c] + q[c + dx] + q[c + dy] + q[c + dx + dy] + 2) / 4);
                o += 3;
            }
        }
    });
    return out;
}

}  // namespace

void UploadMipLevels(const Photo& level0) {
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    Photo level = NextLevel(level0);
    for (GLint i = 1;; ++i) {
        glTexImage2D(GL_TEXTURE_2D, i, 3, level.width, level.height, 0, GL_RGB,
                     GL_UNSIGNED_BYTE, level.pixels.data());
        if (level.width == 1 && level.height == 1) break;
        level = NextLevel(level);
    }
}

Photo ReduceToFit(const Photo& p, int32_t limit) {
    Photo out = HalveOnce(p);
    while (out.width > limit || out.height > limit)
        out = HalveOnce(out);
    return out;
}

void SlabTextures::Release() {
    EndDrawing();
    if (!names_.empty())
        glDeleteTextures(static_cast<GLsizei>(names_.size()), names_.data());
    Forget();
}

void SlabTextures::Forget() {
    scale_s_ = scale_t_ = 1.0f;
    slab_ = nullptr;
    grid_ = -1;
    names_.clear();
    entries_.clear();
}

void SlabTextures::Prepare(const SlabRecord& slab, int grid) {
    const size_t count = slab.photo[grid].size();
    if (slab_ == &slab && grid_ == grid && names_.size() == count) return;
    Release();
    slab_ = &slab;
    grid_ = grid;
    names_.resize(count);
    entries_.assign(count, Entry{});
    if (count == 0) return;
    glGenTextures(static_cast<GLsizei>(count), names_.data());
    for (GLuint name : names_) {
        glBindTexture(GL_TEXTURE_2D, name);
        // Clamping to the edge: GL_CLAMP would blend the image's border with
        // the black border colour under linear filtering.
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        SetFilterParameters(TextureFilter::kSmooth);
    }
}

void SlabTextures::UploadPart(const Photo& p, const PixelRect& r) {
    if (r.empty()) return;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, p.width);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, r.x0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, r.y0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, r.x0, r.y0, r.x1 - r.x0 + 1, r.y1 - r.y0 + 1,
                    GL_RGB, GL_UNSIGNED_BYTE, p.pixels.data());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
}

void SlabTextures::Upload(const Photo& p, size_t k) {
    static const uint8_t kBlack[3] = {0, 0, 0};
    Entry& e = entries_[k];
    e.reduced = false;
    if (!p.has_pixels()) {
        glTexImage2D(GL_TEXTURE_2D, 0, 3, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, kBlack);
        e.width = e.height = 1;
        return;
    }
    if (limit_ <= 0) {
        GLint largest = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
        limit_ = largest > 0 ? largest : 1024;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (p.width > limit_ || p.height > limit_) {
        const Photo reduced = ReduceToFit(p, limit_);
        glTexImage2D(GL_TEXTURE_2D, 0, 3, reduced.width, reduced.height, 0, GL_RGB,
                     GL_UNSIGNED_BYTE, reduced.pixels.data());
        e.width = reduced.width;
        e.height = reduced.height;
        e.reduced = true;
        return;
    }
    glTexImage2D(GL_TEXTURE_2D, 0, 3, p.width, p.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 p.pixels.data());
    e.width = p.width;
    e.height = p.height;
}

const Photo& SlabTextures::Picture(const SlabRecord& slab, int grid, size_t k,
                                   int32_t& level) {
    level = grid == 0 && k < slab.fresh_level.size() && k < slab.reduced_photo.size()
                ? slab.fresh_level[k]
                : 0;
    return level > 0 ? slab.reduced_photo[k] : slab.photo[grid][k];
}

void SlabTextures::Bind(const SlabRecord& slab, int grid, size_t k, bool check) {
    glBindTexture(GL_TEXTURE_2D, names_[k]);
    Entry& e = entries_[k];
    const uint64_t generation = slab.image_generation + 1;  // never 0
    if (e.generation != generation && (check || e.generation == 0)) {
        int32_t level = 0;
        const Photo& p = Picture(slab, grid, k, level);
        // Uploaded just before the last reconstruction, which relit only part
        // of the image (at the same level): only that part changed.
        const bool part = grid == 0 && e.generation == slab.image_generation &&
                          slab.fresh_generation == slab.image_generation &&
                          k < slab.fresh.size() && p.has_pixels() && p.width == e.width &&
                          p.height == e.height && !e.reduced && e.level == level;
        if (part) {
            UploadPart(p, LevelArea(slab.fresh[k], level, p.width, p.height));
        } else {
            Upload(p, k);
        }
        e.level = level;
        // A reduced picture covers its image's blocks, the last of which may
        // reach past the image: the texture coordinates of the image's far
        // edges are scaled onto the image's part of it.
        e.scale_s = e.scale_t = 1.0f;
        if (level > 0 && p.has_pixels()) {
            const float block = static_cast<float>(int64_t{1} << level);
            e.scale_s = static_cast<float>(slab.samples_s) /
                        (block * static_cast<float>(p.width));
            e.scale_t = static_cast<float>(slab.samples_t) /
                        (block * static_cast<float>(p.height));
        }
        e.generation = generation;
        e.mipmaps = false;
    }
    if (filter_ == TextureFilter::kMipmapped && !e.mipmaps) {
        // Built here rather than by glGenerateMipmap, which takes several
        // times as long on llvmpipe (view_bench prints both).
        int32_t level = 0;
        const Photo& p = Picture(slab, grid, k, level);
        if (!p.has_pixels()) {
            glGenerateMipmap(GL_TEXTURE_2D);  // the one black texel
        } else if (e.reduced) {
            UploadMipLevels(ReduceToFit(p, limit_));
        } else {
            UploadMipLevels(p);
        }
        e.mipmaps = true;
    }
    if (e.filter != filter_) {
        SetFilterParameters(filter_);
        e.filter = filter_;
    }
    if (e.scale_s != scale_s_ || e.scale_t != scale_t_) {
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        if (e.scale_s != 1.0f || e.scale_t != 1.0f) glScalef(e.scale_s, e.scale_t, 1.0f);
        glMatrixMode(GL_MODELVIEW);
        scale_s_ = e.scale_s;
        scale_t_ = e.scale_t;
    }
}

void SlabTextures::EndDrawing() {
    if (scale_s_ == 1.0f && scale_t_ == 1.0f) return;
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    scale_s_ = scale_t_ = 1.0f;
}

void SlabTextures::UploadedSize(size_t k, int32_t& width, int32_t& height) const {
    width = height = 0;
    if (k >= entries_.size()) return;
    width = entries_[k].width;
    height = entries_[k].height;
}

}  // namespace lumo
