#include "bake/capture_writer.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "bake/direction_set.h"
#include "base/str_printf.h"
#include "io/image_file.h"

namespace lumo::tool {
namespace {

namespace fs = std::filesystem;

Status WriteText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        return Status::Error(StrPrintf("[BakeDemo]: cannot create %s\n", path.c_str()));
    }
    return Status::Ok();
}

}  // namespace

std::vector<CaptureVariant> CaptureVariants(int k) {
    std::vector<CaptureVariant> out(2);
    out[0].name = "capture-sphere";
    out[0].to_light = SphereDirections(k);
    out[1].name = "capture-dome";
    for (const Vec3d& d : SphereDirections(2 * k)) {
        if (d.z > 0.0) out[1].to_light.push_back(d);
    }
    return out;
}

Status WriteViewCapture(const std::string& outdir, const Scene& scene,
                        const BakeSlab& slab, const ViewHits& view,
                        const std::vector<CaptureVariant>& variants) {
    const int W = slab.width, H = slab.height;
    std::vector<uint8_t> top_first(static_cast<size_t>(W) * static_cast<size_t>(H) * 3);
    const size_t row_bytes = static_cast<size_t>(W) * 3;
    for (const CaptureVariant& v : variants) {
        const fs::path folder =
            fs::path(outdir) / v.name / StrPrintf("%d.%d", view.a, view.b);
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            return Status::Error(
                StrPrintf("[BakeDemo]: cannot create %s\n", folder.c_str()));
        }
        std::string lp = StrPrintf("%zu\n", v.to_light.size());
        for (size_t k = 0; k < v.to_light.size(); ++k) {
            const Vec3d& L = v.to_light[k];
            const std::vector<uint8_t> rgb =
                RenderDirectional(scene, view, -L, {1, 1, 1});
            // The renders hold row 0 at the bottom; pictures start at the top.
            for (int y = 0; y < H; ++y) {
                std::copy_n(rgb.begin() + static_cast<std::ptrdiff_t>(y * row_bytes),
                            row_bytes,
                            top_first.begin() +
                                static_cast<std::ptrdiff_t>((H - 1 - y) * row_bytes));
            }
            const std::string name = StrPrintf("%03zu.png", k);
            const Status s = WritePng8((folder / name).string(), W, H, 3, top_first);
            if (!s.ok()) return s;
            lp += StrPrintf("%s %.17g %.17g %.17g\n", name.c_str(), L.x, L.y, L.z);
        }
        const Status s = WriteText(folder / "lights.lp", lp);
        if (!s.ok()) return s;
    }
    return Status::Ok();
}

Status WriteCaptureManifests(const std::string& outdir, const BakeSlab& slab,
                             const std::vector<CaptureVariant>& variants) {
    auto plane = [](const SlabPlanes& p) {
        nlohmann::json j = nlohmann::json::array();
        for (const Vec3d& c : p.corner)
            j.push_back({c.x, c.y, c.z});
        return j;
    };
    for (const CaptureVariant& v : variants) {
        nlohmann::json cameras = nlohmann::json::array();
        for (int b = 0; b < slab.rows; ++b) {
            for (int a = 0; a < slab.columns; ++a) {
                cameras.push_back(
                    {{"column", a},
                     {"row", b},
                     {"lp", StrPrintf("%s/%d.%d/lights.lp", v.name, a, b)}});
            }
        }
        const nlohmann::json manifest = {{"grid", {slab.columns, slab.rows}},
                                         {"camera_plane", plane(slab.camera)},
                                         {"image_plane", plane(slab.image)},
                                         {"cameras", cameras}};
        const Status s = WriteText(fs::path(outdir) / (std::string(v.name) + ".json"),
                                   manifest.dump(2) + "\n");
        if (!s.ok()) return s;
    }
    return Status::Ok();
}

}  // namespace lumo::tool
