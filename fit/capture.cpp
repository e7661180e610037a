#include "fit/capture.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "base/str_printf.h"
#include "base/text_file.h"
#include "io/bounded_json.h"

namespace lumo {
namespace {

using tool::SlabPlanes;
using tool::Vec3d;

constexpr double kSpan = 1.2;  // the longer side of a single camera's planes
constexpr double kCameraPlaneZ = 2.0;

SlabPlanes Rectangle(double half_w, double half_h, double z) {
    SlabPlanes p;
    p.corner[0] = Vec3d(-half_w, -half_h, z);
    p.corner[1] = Vec3d(half_w, -half_h, z);
    p.corner[2] = Vec3d(half_w, half_h, z);
    p.corner[3] = Vec3d(-half_w, half_h, z);
    return p;
}

Status Fail(const std::string& path, const std::string& why) {
    return Status::Error(
        StrPrintf("[ReadCaptureManifest]: %s: %s\n", path.c_str(), why.c_str()));
}

bool ReadPlane(const nlohmann::json& j, SlabPlanes& plane) {
    if (!j.is_array() || j.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        const nlohmann::json& c = j[i];
        if (!c.is_array() || c.size() != 3) return false;
        double v[3];
        for (size_t k = 0; k < 3; ++k) {
            if (!c[k].is_number()) return false;
            v[k] = c[k].get<double>();
            if (!std::isfinite(v[k])) return false;
        }
        plane.corner[i] = Vec3d(v[0], v[1], v[2]);
    }
    return true;
}

bool Degenerate(const SlabPlanes& p) {
    const Vec3d a = p.corner[1] - p.corner[0];
    const Vec3d b = p.corner[3] - p.corner[0];
    const double area = tool::Length(tool::Cross(a, b));
    return !(area > 1e-12 * tool::Length(a) * tool::Length(b));
}

bool IsInt(const nlohmann::json& j) {
    return j.is_number_integer() || j.is_number_unsigned();
}

}  // namespace

Capture SingleCameraCapture(const std::string& path) {
    Capture c;
    c.source = path;
    c.single = true;
    c.slab.columns = 1;
    c.slab.rows = 1;
    c.cameras.push_back(CaptureCamera{0, 0, path});
    SetPhotoSize(c, 1, 1);
    return c;
}

void SetPhotoSize(Capture& capture, int width, int height) {
    capture.slab.width = width;
    capture.slab.height = height;
    if (!capture.single) return;
    const double longer = width > height ? width : height;
    const double half_w = 0.5 * kSpan * width / longer;
    const double half_h = 0.5 * kSpan * height / longer;
    capture.slab.image = Rectangle(half_w, half_h, 0.0);
    capture.slab.camera = Rectangle(half_w, half_h, kCameraPlaneZ);
}

Status ReadCaptureManifest(const std::string& path, Capture& capture) {
    capture = Capture();
    capture.source = path;
    std::string text, why;
    switch (ReadTextFile(path, kManifestCap, text, why)) {
        case TextFileError::kNone:
            break;
        case TextFileError::kOpen:
            return Fail(path, "cannot open");
        default:
            return Fail(path, why);
    }
    return ParseCaptureManifest(text, path, capture);
}

Status ParseCaptureManifest(const std::string& text, const std::string& path,
                            Capture& capture) {
    capture = Capture();
    capture.source = path;
    nlohmann::json j;
    try {
        // No camera takes fewer than 24 bytes ({"column":0,"row":0,"lp":"a"}).
        j = ParseBoundedJson<nlohmann::json>(text, BoundsForText(text.size(), 24));
    } catch (const JsonBoundsExceeded& e) {
        return Fail(path, e.what());
    } catch (const nlohmann::json::exception& e) {
        return Fail(path, e.what());
    }
    if (!j.is_object()) return Fail(path, "expected a JSON object");
    const auto grid = j.find("grid");
    if (grid == j.end() || !grid->is_array() || grid->size() != 2 || !IsInt((*grid)[0]) ||
        !IsInt((*grid)[1]) || (*grid)[0].get<long long>() < 1 ||
        (*grid)[1].get<long long>() < 1 || (*grid)[0].get<long long>() > 999 ||
        (*grid)[1].get<long long>() > 999) {
        return Fail(path, "\"grid\" must be [COLUMNS, ROWS], each 1..999");
    }
    const int cols = (*grid)[0].get<int>();
    const int rows = (*grid)[1].get<int>();
    capture.slab.columns = cols;
    capture.slab.rows = rows;
    const char* planes[2] = {"camera_plane", "image_plane"};
    SlabPlanes* targets[2] = {&capture.slab.camera, &capture.slab.image};
    for (int p = 0; p < 2; ++p) {
        const auto it = j.find(planes[p]);
        if (it == j.end() || !ReadPlane(*it, *targets[p])) {
            return Fail(path,
                        StrPrintf("\"%s\" must be four corners [x, y, z]", planes[p]));
        }
        if (Degenerate(*targets[p])) {
            return Fail(path, StrPrintf("\"%s\" has no area", planes[p]));
        }
    }
    // The cameras must stand off the image plane, or the slab has no normal side.
    {
        const tool::BakeFrame f = tool::FrameOf(capture.slab);
        const Vec3d d = capture.slab.camera.corner[0] - capture.slab.image.corner[0];
        if (!(std::fabs(tool::Dot(d, f.normal)) > 1e-9 * tool::Length(d))) {
            return Fail(path, "the camera plane lies in the image plane");
        }
    }
    const auto cams = j.find("cameras");
    if (cams == j.end() || !cams->is_array()) {
        return Fail(path, "\"cameras\" must be an array");
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    capture.cameras.assign(static_cast<size_t>(cols) * static_cast<size_t>(rows),
                           CaptureCamera{-1, -1, ""});
    for (size_t i = 0; i < cams->size(); ++i) {
        const nlohmann::json& c = (*cams)[i];
        const auto col = c.is_object() ? c.find("column") : c.end();
        const auto row = c.is_object() ? c.find("row") : c.end();
        const auto lp = c.is_object() ? c.find("lp") : c.end();
        if (!c.is_object() || col == c.end() || row == c.end() || lp == c.end() ||
            !IsInt(*col) || !IsInt(*row) || !lp->is_string()) {
            return Fail(path, StrPrintf("camera %zu must have an integer \"column\" and "
                                        "\"row\" and an \"lp\" path",
                                        i));
        }
        const long long a = col->get<long long>();
        const long long b = row->get<long long>();
        if (a < 0 || b < 0 || a >= cols || b >= rows) {
            return Fail(path,
                        StrPrintf("camera %zu at column %lld, row %lld lies outside "
                                  "the %d x %d grid",
                                  i, a, b, cols, rows));
        }
        CaptureCamera& slot =
            capture.cameras[static_cast<size_t>(b) * static_cast<size_t>(cols) +
                            static_cast<size_t>(a)];
        if (slot.column >= 0) {
            return Fail(path, StrPrintf("camera (%lld, %lld) is listed twice", a, b));
        }
        const std::filesystem::path file(lp->get<std::string>());
        slot = CaptureCamera{static_cast<int>(a), static_cast<int>(b),
                             (file.is_absolute() ? file : folder / file).string()};
    }
    for (size_t k = 0; k < capture.cameras.size(); ++k) {
        if (capture.cameras[k].column < 0) {
            return Fail(path,
                        StrPrintf("camera (%zu, %zu) is missing", k % cols, k / cols));
        }
    }
    return Status::Ok();
}

}  // namespace lumo
