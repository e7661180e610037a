#!/bin/sh
# Builds the reconstruction benchmark (optimised, in build/bench-recon) and
# prints its figures: ms per ReconstructAll, megapixels per second and the
# speed-up over the sequential reference for the directional, 4-light and
# point modes, and the directional mode's share of this machine's streaming
# read bandwidth. Arguments go to the benchmark: --reps N, --threads N,
# --no-reference, --only MODE.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh >/dev/null
cmake -S . -B build/bench-recon -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMO_BUILD_VIEWER=OFF \
    -DLUMO_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench-recon -j "$(nproc 2>/dev/null || echo 2)" --target recon_bench >/dev/null
exec build/bench-recon/bench/recon_bench "$@"
