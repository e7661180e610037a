#include "tests/app/viewer_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "io/ppm.h"
#include "tests/support/x_display.h"

namespace lumo::testing {

ProcessResult RunViewer(const TempDir& dir, const std::string& scene,
                        const std::string& script, const std::vector<std::string>& env,
                        int timeout_seconds) {
    EXPECT_FALSE(TestDisplay().empty()) << "no X display for the viewer";
    dir.Write("lumo.tcl",
              "if {[catch {\n" + script +
                  "\n} message]} {\n    puts stderr \"test script: $::errorInfo\"\n"
                  "    exit 3\n}\nexit 0\n");
    std::vector<std::string> argv = {"/usr/bin/env"};
    argv.insert(argv.end(), env.begin(), env.end());
    argv.push_back(LUMO_PATH);
    argv.push_back(scene);
    return RunProcess(argv, dir.path().string(), "", timeout_seconds);
}

Photo ReadGrab(const TempDir& dir, const std::string& name) {
    Photo p;
    const Status s = ReadPPMFile(dir.File(name).c_str(), p, false);
    EXPECT_TRUE(s.ok()) << s.message();
    return p;
}

Rgb8 PixelAt(const Photo& photo, int x, int y) {
    if (x < 0 || y < 0 || x >= photo.width || y >= photo.height) return Rgb8{-1, -1, -1};
    const size_t i = 3 * (static_cast<size_t>(y) * static_cast<size_t>(photo.width) +
                          static_cast<size_t>(x));
    return Rgb8{photo.pixels[i], photo.pixels[i + 1], photo.pixels[i + 2]};
}

void ExpectPixel(const Photo& photo, int x, int y, const Rgb8& expected, int tolerance) {
    const Rgb8 got = PixelAt(photo, x, y);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(expected[c], got[c], tolerance)
            << "pixel (" << x << ", " << y << ") is (" << got[0] << ", " << got[1] << ", "
            << got[2] << "), expected (" << expected[0] << ", " << expected[1] << ", "
            << expected[2] << ")";
    }
}

std::vector<double> DumpNumbers(const std::string& dump, const std::string& label,
                                int count) {
    std::vector<double> values;
    const size_t at = dump.find(label);
    if (at == std::string::npos) return values;
    std::istringstream in(dump.substr(at + label.size()));
    double v = 0;
    while (static_cast<int>(values.size()) < count && in >> v)
        values.push_back(v);
    return values;
}

}  // namespace lumo::testing
