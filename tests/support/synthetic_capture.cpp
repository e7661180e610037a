#include "tests/support/synthetic_capture.h"

#include <cmath>
#include <filesystem>
#include <fstream>

#include "bake/direction_set.h"
#include "base/str_printf.h"

namespace lumo::testing {

float SyntheticValue(const SyntheticCapture& c, int x, int row, int ch,
                     const double L[3]) {
    if (x == c.width - 1 && row < 3) return 0.0f;
    const double u = 2.0 * x / (c.width - 1) - 1.0;  // -1 left .. 1 right
    const double v =
        2.0 * (c.height - 1 - row) / (c.height - 1) - 1.0;  // -1 bottom .. 1 top
    const double s = 0.1 * ((c.seed + ch) % 3);
    const double a[3] = {0.28 * u, (ch == 1 ? -0.28 : 0.28) * v * (1.0 - s), 0.1 + s};
    if (c.quadratic) {
        const double len = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        const double d = (a[0] * L[0] + a[1] * L[1] + a[2] * L[2]) / len;
        return static_cast<float>(0.25 + 0.6 * d * d);
    }
    return static_cast<float>(0.5 + a[0] * L[0] + a[1] * L[1] + a[2] * L[2]);
}

std::vector<std::vector<double>> SyntheticDirections(const SyntheticCapture& c) {
    std::vector<std::vector<double>> out;
    for (const tool::Vec3d& d : tool::SphereDirections(c.photos))
        out.push_back({d.x, d.y, d.z});
    return out;
}

std::string WriteSyntheticCapture(const SyntheticCapture& c, const std::string& folder) {
    std::filesystem::create_directories(folder);
    const std::vector<std::vector<double>> dirs = SyntheticDirections(c);
    std::string lp = std::to_string(dirs.size()) + "\n";
    for (size_t k = 0; k < dirs.size(); ++k) {
        FloatImage img;
        img.width = c.width;
        img.height = c.height;
        img.channels = 3;
        for (int row = 0; row < c.height; ++row) {
            for (int x = 0; x < c.width; ++x) {
                for (int ch = 0; ch < 3; ++ch)
                    img.pixels.push_back(SyntheticValue(c, x, row, ch, dirs[k].data()));
            }
        }
        const std::string name = StrPrintf("p%zu.%s", k, c.extension.c_str());
        if (!WriteImageFile(folder + "/" + name, img, c.bits).ok()) return "";
        // Directions written longer than unit: the reader normalises them.
        lp += StrPrintf("%s %.17g %.17g %.17g\n", name.c_str(), 2 * dirs[k][0],
                        2 * dirs[k][1], 2 * dirs[k][2]);
    }
    const std::string path = folder + "/lights.lp";
    std::ofstream(path, std::ios::binary) << lp;
    return path;
}

std::vector<uint8_t> SyntheticBytes(const SyntheticCapture& c, const double L[3]) {
    std::vector<uint8_t> out;
    for (int row = 0; row < c.height; ++row) {
        for (int x = 0; x < c.width; ++x) {
            for (int ch = 0; ch < 3; ++ch) {
                out.push_back(static_cast<uint8_t>(
                    std::lround(255.0 * SyntheticValue(c, x, row, ch, L))));
            }
        }
    }
    return out;
}

}  // namespace lumo::testing
