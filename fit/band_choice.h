// `lumotool fit --bands auto`: the band count and the smoothness weight
// chosen by how well the fit relights photographs it did not see.
//
// The choice is made once for the whole capture (a slab has one band count)
// from a fixed sample of cameras, up to four spread over the grid, so that
// every shard of a sharded fit computes the same choice and writes the same
// bytes. Of each sample camera only the photographs the fit itself uses take
// part (those held out for the report stay unseen); one in ten of them
// (at least one), spread over the directions, is held back for validation,
// and the rest are fitted at every candidate: 2 to 8 bands (as long as a
// sample camera has twice as many fitted photographs as coefficients; 2
// always) and lambda 0, 1e-5, 1e-4, 1e-3, 1e-2. The pixels are a regular
// grid of about 32768 per camera. The validation PSNR (in the photographs'
// 8-bit scale, as the report measures) picks the weight per band count;
// then the fewest bands within kBandChoiceSlackDb of the best are chosen:
// every band adds to the files' size, and a gain under a third of a decibel
// is not worth it.
#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "fit/light_positions.h"
#include "scene/slab_record.h"

namespace lumo {

inline constexpr double kBandChoiceSlackDb = 0.3;
inline constexpr int kMinChoiceBands = 2;
inline constexpr int kMaxChoiceBands = 8;

// The sample cameras of a columns x rows grid, row-major indices: the grid
// points at a quarter and three quarters along each direction, without
// repeats (one camera for a 1 x 1 grid, four for 4 x 4 and larger).
std::vector<int> ChoiceSampleCameras(int columns, int rows);

struct BandChoiceInput {
    const SlabRecord* record = nullptr;  // the slab's frame for the basis
    // Per sample camera, the photographs the fit uses.
    std::vector<std::vector<LightPhoto>> cameras;
    int width = 0;
    int height = 0;
    int bands = 0;       // > 0: fixed, only lambda is chosen
    double lambda = -1;  // >= 0: fixed, only the bands are chosen
    int threads = 0;
};

struct BandCandidate {
    int bands = 0;
    double lambda = 0.0;
    double psnr = 0.0;  // on the validation photographs
};

struct BandChoice {
    int bands = 0;
    double lambda = 0.0;
    double psnr = 0.0;   // the choice's validation PSNR
    int best_bands = 0;  // the best candidate's
    double best_psnr = 0.0;
    int pixels = 0;                         // sample pixels per camera
    std::vector<BandCandidate> candidates;  // every one that could be solved
};

// Reads the sample cameras' photographs (in strips, bounded memory) and
// chooses. Fails with the picture reader's message, or with "[FitCapture]:
// no band count from 2 to 8 can be fitted to %s\n" (a sample camera's
// light-position file) when none solves.
Status ChooseBands(const BandChoiceInput& input, const std::vector<std::string>& lp_files,
                   BandChoice& choice);

// One line for the summary: why these bands.
std::string BandChoiceReason(const BandChoice& choice);

}  // namespace lumo
