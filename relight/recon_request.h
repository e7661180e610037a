// What one reconstruction is asked to do: the lights, how many coefficients
// each pixel sums, whether preview skips images out of view, and where the
// lines it reports go.
//
// The engine reads no process-wide setting: the program's boundary (model
// set-up, the viewer, lumotool) fills the request from its own state.
#pragma once

#include <cstdint>
#include <span>

#include "base/message_sink.h"
#include "relight/light_source.h"

namespace lumo {

// The lights in use of `count` (0 for count <= 0): at most MAX_LIGHTS and at
// most the span's size.
int32_t LightsInUse(std::span<const LightSrc> lights, int32_t count);
// All of `lights`, at most MAX_LIGHTS.
int32_t LightsInUse(std::span<const LightSrc> lights);

struct ReconRequest {
    // The lights in use, in order; at most MAX_LIGHTS of them are used. A slide
    // projector's frame may be updated.
    std::span<LightSrc> lights;
    // Coefficients summed per pixel, the lower bands first; an image never
    // sums more than it stores, and 0 or less sums none.
    int32_t terms = 0;
    // Nonzero: images whose cell is out of view (subskip[0]) keep their pixels.
    uint8_t preview = 0;
    // Nonzero: several lights are each evaluated by their own kind and added
    // (relight/recon_mixed.h); zero: they act as directional lights.
    uint8_t mixed = 0;
    // "Reconstructing image (%d,%d) ...", the window lines and a slide
    // projector's frame, in the order of the sequential algorithm.
    MessageSink progress = WriteToStdout;
    // Images skipped because their sizes disagree.
    MessageSink errors = WriteToStderr;
};

}  // namespace lumo
