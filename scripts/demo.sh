#!/bin/sh
# Installs what is missing, builds lumo and shows it on the bundled example
# scene.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release -DLUMO_WERROR=OFF \
    -DLUMO_BUILD_BENCH=OFF -DLUMO_BUILD_TESTS=OFF
cmake --build build/demo -j "$(nproc 2>/dev/null || echo 2)"

echo "== lumotool info examples/example.lid"
build/demo/tools/lumotool info examples/example.lid
