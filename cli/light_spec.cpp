#include "cli/light_spec.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace lumo::tool {
namespace {

// Strict numbers: the whole text must be one finite number.
bool ParseNumber(std::string_view text, float& out) {
    if (text.empty()) return false;
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const float v = std::strtof(s.c_str(), &end);
    if (end != s.c_str() + s.size() || errno == ERANGE || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool ParseNumbers(std::string_view text, float* out, size_t count) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ',') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (parts.size() != count) return false;
    for (size_t i = 0; i < count; ++i) {
        if (!ParseNumber(parts[i], out[i])) return false;
    }
    return true;
}

bool ParseVec(std::string_view text, Vec3& v) {
    float f[3];
    if (!ParseNumbers(text, f, 3)) return false;
    v = Vec3(f[0], f[1], f[2]);
    return true;
}

float ClampAngle(float degrees) {
    return std::clamp(degrees, 0.0f, 180.0f);
}

}  // namespace

bool ParseLightSpec(std::string_view text, LightSpec& spec, std::string& error) {
    spec = LightSpec();
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == ';'))
            ++i;
        const size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != ';')
            ++i;
        if (i == start) break;
        const std::string_view pair = text.substr(start, i - start);
        const size_t eq = pair.find('=');
        if (eq == std::string_view::npos) {
            error = "'" + std::string(pair) + "' is not key=value";
            return false;
        }
        const std::string_view key = pair.substr(0, eq);
        const std::string_view value = pair.substr(eq + 1);
        const std::string bad =
            "bad value for " + std::string(key) + ": '" + std::string(value) + "'";
        if (key == "kind") {
            if (value == "dir") {
                spec.kind = Directional;
            } else if (value == "point") {
                spec.kind = Point;
            } else if (value == "slide") {
                spec.kind = SlideProjector;
            } else if (value == "reserved") {
                spec.kind = Reserved;
            } else {
                error = bad + " (dir, point, slide or reserved)";
                return false;
            }
        } else if (key == "dir") {
            Vec3 d;
            if (!ParseVec(value, d) || VecLength(d) == 0.0f) {
                error = bad + " (X,Y,Z, not all zero)";
                return false;
            }
            VecNormalize(d);
            spec.direction = d;
        } else if (key == "radius") {
            if (!ParseNumber(value, spec.radius)) {
                error = bad;
                return false;
            }
            if (spec.radius < 1.0f) spec.radius = 1.0f;
        } else if (key == "color") {
            if (!ParseNumbers(value, spec.color, 3)) {
                error = bad + " (R,G,B)";
                return false;
            }
        } else if (key == "lookat") {
            if (!ParseVec(value, spec.lookat)) {
                error = bad + " (X,Y,Z)";
                return false;
            }
        } else if (key == "up") {
            if (!ParseVec(value, spec.up)) {
                error = bad + " (X,Y,Z)";
                return false;
            }
        } else if (key == "fov") {
            if (!ParseNumbers(value, spec.fov, 2)) {
                error = bad + " (H,V in degrees)";
                return false;
            }
            spec.fov[0] = ClampAngle(spec.fov[0]);
            spec.fov[1] = ClampAngle(spec.fov[1]);
        } else if (key == "slide") {
            if (value.empty()) {
                error = "slide wants a file name";
                return false;
            }
            // The light keeps slide names in a fixed buffer: a longer name
            // would be cut and name another file.
            constexpr size_t kMaxSlide = sizeof(LightSrc::slidename) - 1;
            if (value.size() > kMaxSlide) {
                error = "slide name longer than " + std::to_string(kMaxSlide) +
                        " characters: " + std::string(value);
                return false;
            }
            spec.slide = std::string(value);
        } else {
            error = "unknown key '" + std::string(key) +
                    "' (kind, dir, radius, color, lookat, up, fov, slide)";
            return false;
        }
    }
    return true;
}

void ApplyLightSpec(const LightSpec& spec, LightSrc& light) {
    light.Init();
    light.SetKind(spec.kind);
    light.SetDirection(spec.direction);
    light.SetRadius(spec.radius);
    std::copy(spec.color, spec.color + 3, light.color);
    light.SetSlideLookAt(spec.lookat);
    light.SetSlideUp(spec.up);
    light.slidehangle = spec.fov[0];
    light.slidevangle = spec.fov[1];
    if (spec.kind == SlideProjector) light.SetSlideName(spec.slide);
}

}  // namespace lumo::tool
