#!/bin/sh
# Installs what is missing, builds the Release configuration with warnings as
# errors, runs every test, then builds and runs the unit tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, runs each fuzz target
# briefly, and checks the code's formatting.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

# The Release configuration (-O3) is the one users build: the tests prove it,
# with warnings as errors (the optimiser's flow analysis warns only there).
echo "== Release build (warnings are errors)"
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Release -DLUMO_WERROR=ON
cmake --build build/test -j "$jobs"

echo "== tests"
ctest --test-dir build/test --output-on-failure -j "$jobs"

echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DLUMO_WERROR=ON \
    -DLUMO_SANITIZE=address,undefined -DLUMO_BUILD_VIEWER=OFF -DLUMO_BUILD_BENCH=OFF
cmake --build build/sanitize -j "$jobs"
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

echo "== fuzz smoke run (clang, libFuzzer, a few seconds per reader)"
scripts/fuzz.sh 5

echo "== layering"
scripts/check-layers.sh

echo "== formatting"
find base geom arcball io imagelib scene slab relight model bake fit testing display togl app cli lumo \
    lumotool tests bench \
    \( -name '*.cpp' -o -name '*.h' \) -print | sort | xargs clang-format --dry-run --Werror

echo "== all tests passed"
