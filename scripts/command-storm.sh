#!/bin/sh
# Runs the viewer's command storm long: a seeded stream of hostile widget
# commands, variable writes, redraws, grabs, light additions and deletions and
# view re-creations against the real lumo under a private Xvfb.
#
#   scripts/command-storm.sh [SEED] [COUNT]
#
# SEED (default: the test's own) chooses the storm, COUNT its steps (default
# 50000; the test command runs 2000). Uses the build in $BUILD (default
# build), building the viewer tests first. A failing storm keeps its script:
# the test prints the seed; rerun with it to reproduce.
set -eu
cd "$(dirname "$0")/.."

build=${BUILD:-build}
[ -d "$build" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j 2 --target viewer_tests

[ $# -gt 0 ] && export LUMO_STORM_SEED="$1"
export LUMO_STORM_COUNT="${2:-50000}"
exec "$build/tests/app/viewer_tests" --gtest_filter='CommandStormTest.TheViewer*'
