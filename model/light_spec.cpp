#include "model/light_spec.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "io/sgi_image.h"

namespace lumo {
namespace {

constexpr std::array<LightSpecKey, 10> kKeys = {{
    {"kind", SpecShape::kText, 0},
    {"dir", SpecShape::kNumbers, 3},
    {"radius", SpecShape::kNumber, 1},
    {"color", SpecShape::kNumbers, 3},
    {"lookat", SpecShape::kNumbers, 3},
    {"up", SpecShape::kNumbers, 3},
    {"fov", SpecShape::kNumbers, 2},
    {"slide", SpecShape::kText, 0},
    {"map", SpecShape::kText, 0},
    {"spin", SpecShape::kNumber, 1},
}};

struct KindName {
    LightKind kind;
    std::string_view name;
};
constexpr std::array<KindName, 4> kKindNames = {{
    {Directional, "dir"},
    {Point, "point"},
    {SlideProjector, "slide"},
    {Environment, "reserved"},
}};

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

// The shortest text strtof reads back as `v`.
std::string NumberText(float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string NumbersText(const float* v, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) out += ',';
        out += NumberText(v[i]);
    }
    return out;
}

std::string VecText(const Vec3& v) {
    const float f[3] = {v.x, v.y, v.z};
    return NumbersText(f, 3);
}

std::string_view KindText(LightKind kind) {
    for (const KindName& k : kKindNames) {
        if (k.kind == kind) return k.name;
    }
    return "dir";
}

}  // namespace

std::span<const LightSpecKey> LightSpecKeys() {
    return kKeys;
}

const LightSpecKey* FindLightSpecKey(std::string_view name) {
    for (const LightSpecKey& k : kKeys) {
        if (k.name == name) return &k;
    }
    return nullptr;
}

bool SetLightSpecKey(LightSpec& spec, std::string_view key, std::string_view value,
                     std::string& error) {
    const std::string bad =
        "bad value for " + std::string(key) + ": '" + std::string(value) + "'";
    if (key == "kind") {
        if (value == "env") {
            spec.kind = Environment;
            spec.env = true;
            return true;
        }
        for (const KindName& k : kKindNames) {
            if (k.name == value) {
                spec.kind = k.kind;
                spec.env = false;
                return true;
            }
        }
        error = bad + " (dir, point, slide, env or reserved)";
        return false;
    }
    if (key == "dir") {
        Vec3 d;
        if (!ParseVec(value, d) || VecLength(d) == 0.0f) {
            error = bad + " (X,Y,Z, not all zero)";
            return false;
        }
        // A unit vector stays as it is, so a saved direction reads back exactly.
        if (VecLength(d) != 1.0f) VecNormalize(d);
        spec.direction = d;
        return true;
    }
    if (key == "radius") {
        if (!ParseNumber(value, spec.radius)) {
            error = bad;
            return false;
        }
        if (spec.radius < 1.0f) spec.radius = 1.0f;
        return true;
    }
    if (key == "color") {
        if (!ParseNumbers(value, spec.color, 3)) {
            error = bad + " (R,G,B)";
            return false;
        }
        return true;
    }
    if (key == "lookat" || key == "up") {
        if (!ParseVec(value, key == "up" ? spec.up : spec.lookat)) {
            error = bad + " (X,Y,Z)";
            return false;
        }
        return true;
    }
    if (key == "fov") {
        if (!ParseNumbers(value, spec.fov, 2)) {
            error = bad + " (H,V in degrees)";
            return false;
        }
        spec.fov[0] = ClampAngle(spec.fov[0]);
        spec.fov[1] = ClampAngle(spec.fov[1]);
        return true;
    }
    if (key == "slide") {
        if (value.empty()) {
            error = "slide wants a file name";
            return false;
        }
        // The light keeps slide names in a fixed buffer: a longer name would
        // be cut and name another file.
        constexpr size_t kMaxSlide = sizeof(LightSrc::slidename) - 1;
        if (value.size() > kMaxSlide) {
            error = "slide name longer than " + std::to_string(kMaxSlide) +
                    " characters: " + std::string(value);
            return false;
        }
        spec.slide = std::string(value);
        spec.slideimage.reset();
        return true;
    }
    if (key == "map") {
        if (value.empty()) {
            error = "map wants a file name";
            return false;
        }
        spec.map = std::string(value);
        spec.envmap.reset();
        return true;
    }
    if (key == "spin") {
        if (!ParseNumber(value, spec.spin)) {
            error = bad + " (degrees)";
            return false;
        }
        return true;
    }
    std::string names;
    for (const LightSpecKey& k : kKeys) {
        names += names.empty() ? "" : ", ";
        names += k.name;
    }
    error = "unknown key '" + std::string(key) + "' (" + names + ")";
    return false;
}

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
            // Built piece by piece: GCC 12 at -O3 warns falsely on
            // "literal" + std::string.
            error.assign(1, '\'');
            error.append(pair);
            error.append("' is not key=value");
            return false;
        }
        if (!SetLightSpecKey(spec, pair.substr(0, eq), pair.substr(eq + 1), error))
            return false;
    }
    return true;
}

Status ResolveLightSpec(LightSpec& spec, MapFileCache* maps) {
    if (spec.kind == SlideProjector && !spec.env) {
        if (spec.slideimage) return Status::Ok();
        if (maps != nullptr) {
            if (const auto it = maps->slides.find(spec.slide); it != maps->slides.end()) {
                spec.slideimage = it->second;
                return Status::Ok();
            }
        }
        auto slide = std::make_shared<Photo>();
        bool loaded = false;
        const Status s = ReadSGIRGB(
            *slide, spec.slide.c_str(), SgiReadOptions{}, [](std::string_view) {},
            loaded);
        if (!s.ok() || !loaded)
            return Status::Error("cannot read the slide '" + spec.slide + "'");
        if (maps != nullptr) maps->slides[spec.slide] = slide;
        spec.slideimage = std::move(slide);
        return Status::Ok();
    }
    if (!spec.env || spec.envmap) return Status::Ok();
    if (spec.map.empty()) return Status::Error("kind=env wants map=FILE");
    if (maps != nullptr) {
        if (const auto it = maps->env.find(spec.map); it != maps->env.end()) {
            spec.envmap = it->second;
            return Status::Ok();
        }
    }
    std::shared_ptr<const EnvMap> map;
    if (Status s = LoadEnvMap(spec.map, map); !s.ok()) {
        std::string message = s.message();
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        return Status::Error(message);
    }
    if (maps != nullptr) maps->env[spec.map] = map;
    spec.envmap = std::move(map);
    return Status::Ok();
}

std::vector<std::pair<std::string, std::string>> LightSpecPairs(const LightSpec& spec) {
    std::vector<std::pair<std::string, std::string>> pairs = {
        {"kind", spec.env ? std::string("env") : std::string(KindText(spec.kind))},
        {"dir", VecText(spec.direction)},
        {"radius", NumberText(spec.radius)},
        {"color", NumbersText(spec.color, 3)},
    };
    if (spec.kind == SlideProjector) {
        pairs.emplace_back("lookat", VecText(spec.lookat));
        pairs.emplace_back("up", VecText(spec.up));
        pairs.emplace_back("fov", NumbersText(spec.fov, 2));
        pairs.emplace_back("slide", spec.slide);
    }
    if (spec.env) {
        pairs.emplace_back("map", spec.map);
        pairs.emplace_back("spin", NumberText(spec.spin));
    }
    return pairs;
}

std::string FormatLightSpec(const LightSpec& spec) {
    std::string out;
    for (const auto& [key, value] : LightSpecPairs(spec)) {
        if (!out.empty()) out += ' ';
        out += key + "=" + value;
    }
    return out;
}

LightSpec SpecFromLight(const LightSrc& light) {
    LightSpec spec;
    spec.kind = light.kind;
    spec.direction = Vec3(light.direction.x, light.direction.y, light.direction.z);
    spec.radius = light.radius;
    std::copy(light.color, light.color + 3, spec.color);
    spec.lookat = Vec3(light.slidelookat.x, light.slidelookat.y, light.slidelookat.z);
    spec.up = Vec3(light.slideup.x, light.slideup.y, light.slideup.z);
    spec.fov[0] = light.slidehangle;
    spec.fov[1] = light.slidevangle;
    if (light.slidename[0] != '\0') spec.slide = light.slidename;
    if (light.HasEnvironment()) {
        spec.env = true;
        spec.map = light.GetEnvName();
        spec.envmap = light.envmap;
    }
    spec.spin = light.envspin;
    return spec;
}

Status ApplyLightSpec(const LightSpec& spec, LightSrc& light) {
    light.Init();
    light.SetKind(spec.kind);
    light.SetDirection(spec.direction);
    light.SetRadius(spec.radius);
    std::copy(spec.color, spec.color + 3, light.color);
    light.SetSlideLookAt(spec.lookat);
    light.SetSlideUp(spec.up);
    light.slidehangle = spec.fov[0];
    light.slidevangle = spec.fov[1];
    if (spec.kind == SlideProjector) {
        if (Status s = spec.slideimage ? light.SetSlide(spec.slide, *spec.slideimage)
                                       : light.SetSlideName(spec.slide);
            !s.ok())
            return s;
    }
    light.envspin = spec.spin;
    if (spec.kind == Environment) light.envmap = spec.envmap;
    return Status::Ok();
}

}  // namespace lumo
