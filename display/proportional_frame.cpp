#include "display/proportional_frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstring>

#include "display/frame_output.h"
#include "display/main_frame.h"

namespace lumo {
namespace {

// The main view's projection, moved by `dx`, `dy` whole frames (the tile to
// the right of the frame is dx = 1, the one above it dy = 1).
void LoadShiftedProjection(int32_t dx, int32_t dy) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (dx != 0 || dy != 0)
        glTranslatef(-2.0f * static_cast<float>(dx), -2.0f * static_cast<float>(dy),
                     0.0f);
    gluPerspective(kMainViewFovYDegrees, 1.0, 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
}

int32_t CeilDiv(int32_t a, int32_t b) {
    return a <= 0 ? 0 : (a + b - 1) / b;
}

}  // namespace

Status DrawProportionalFrame(Model& model, SlabTextures& textures, int32_t width,
                             int32_t height, Photo& frame) {
    const int32_t S = std::min(width, height);
    if (Status s = frame.Alloc(width, height); !s.ok()) return s;
    // Where the centre square starts along the longer side, and how many
    // tiles lie before and after it.
    const bool wide = width >= height;
    const int32_t along = wide ? width : height;
    const int32_t start = (along - S) / 2;
    const int32_t before = CeilDiv(start, S);
    const int32_t after = CeilDiv(along - start - S, S);
    Photo tile;
    for (int32_t k = -before; k <= after; ++k) {
        LoadShiftedProjection(wide ? k : 0, wide ? 0 : k);
        // Every tile is drawn whole: the multi-light cache holds one tile.
        model.view.others_cache_light = -1;
        if (Status s = DrawMainFrame(model, textures); !s.ok()) return s;
        FinishFrame();
        if (Status s = ReadMainFrame(model.view, tile); !s.ok()) return s;
        const int32_t origin = start + k * S;  // the tile's first column or row
        for (int32_t i = 0; i < S; ++i) {
            const int32_t at = origin + i;
            if (at < 0 || at >= along) continue;
            if (wide) {
                for (int32_t y = 0; y < S; ++y) {
                    const uint8_t* src =
                        &tile.pixels[(static_cast<size_t>(y) * S + i) * 3];
                    uint8_t* dst =
                        &frame.pixels[(static_cast<size_t>(y) * width + at) * 3];
                    std::memcpy(dst, src, 3);
                }
            } else {
                std::memcpy(&frame.pixels[static_cast<size_t>(at) * width * 3],
                            &tile.pixels[static_cast<size_t>(i) * S * 3],
                            static_cast<size_t>(S) * 3);
            }
        }
    }
    LoadShiftedProjection(0, 0);
    model.view.others_cache_light = -1;
    return Status::Ok();
}

}  // namespace lumo
