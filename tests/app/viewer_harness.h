// Running the viewer under the test display with a test start-up script.
#pragma once

#include <string>
#include <vector>

#include "io/photo.h"
#include "tests/support/run_process.h"
#include "tests/support/scene_fixture.h"
#include "tests/support/temp_dir.h"

namespace lumo::testing {

// A test start-up script's first lines: the main view and a light-editing
// view, both 300 x 300, shown and drawn once.
inline constexpr char kViews[] =
    "togl .slab -ident slabview -width 300 -height 300 -rgba true -double true -depth "
    "true\n"
    "togl .light -ident lightview -width 300 -height 300 -rgba true -double true -depth "
    "true\n"
    "pack .slab .light -side left\n"
    "update\n";

// Runs `lumo SCENE` in `dir` with `script` as ./lumo.tcl. The script runs
// inside a catch: an error prints the Tcl trace and exits with 3; the end of
// the script exits with 0. `env` adds NAME=VALUE entries to the environment.
// A viewer still running after `timeout_seconds` is killed.
ProcessResult RunViewer(const TempDir& dir, const std::string& scene,
                        const std::string& script,
                        const std::vector<std::string>& env = {},
                        int timeout_seconds = 120);

// A grab read back with its first stored row (the window's top) at row 0.
Photo ReadGrab(const TempDir& dir, const std::string& name);

// Checks pixel (x, y) (row y from the top) against `expected`, each channel
// within `tolerance`.
void ExpectPixel(const Photo& photo, int x, int y, const Rgb8& expected, int tolerance);

Rgb8 PixelAt(const Photo& photo, int x, int y);

// The first `count` numbers after `label` in a transform dump.
std::vector<double> DumpNumbers(const std::string& dump, const std::string& label,
                                int count);

}  // namespace lumo::testing
