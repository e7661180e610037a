#include "model/view_path.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/atomic_file.h"
#include "base/str_printf.h"
#include "base/text_file.h"
#include "model/float_json.h"

namespace lumo {
namespace {

constexpr const char* kFormatName = "lumo-path";
constexpr int kVersion = 1;

Status Fail(const std::string& name, const std::string& what) {
    return Status::Error("[ReadPath]: " + name + ": " + what + "\n");
}

std::string Num(float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

bool GetFloat(const FloatJson& v, float& out) {
    if (!v.is_number()) return false;
    out = v.get<float>();
    return std::isfinite(out);
}

Status ParseKeyframe(const FloatJson& j, size_t index, const std::string& name,
                     MapFileCache& maps, Keyframe& key) {
    const std::string where = StrPrintf("keyframe %zu: ", index);
    if (!j.is_object()) return Fail(name, where + "not an object");
    for (const auto& [member, value] : j.items()) {
        if (member == "time") {
            if (!GetFloat(value, key.time))
                return Fail(name, where + "time must be a number");
        } else if (member == "turn") {
            if (!value.is_array() || value.size() != 2 ||
                !GetFloat(value[0], key.turn_x) || !GetFloat(value[1], key.turn_y))
                return Fail(name, where + "turn must be an array of 2 numbers");
        } else if (member == "zoom") {
            if (!GetFloat(value, key.zoom) || !(key.zoom > 0.0f))
                return Fail(name, where + "zoom must be a positive number");
        } else if (member == "mode") {
            if (value == "corner") {
                key.mode = 0;
            } else if (value == "centre") {
                key.mode = 1;
            } else {
                return Fail(name, where + "mode must be \"corner\" or \"centre\"");
            }
        } else if (member == "rig") {
            LightRig rig;
            if (Status s =
                    LightRigFromJson(value, name + ": " + where + "rig", rig, &maps);
                !s.ok())
                return s;
            key.rig = std::move(rig);
        } else {
            return Fail(name, where + "unknown member '" + member + "'");
        }
    }
    if (!j.contains("time")) return Fail(name, where + "time is missing");
    return Status::Ok();
}

float Lerp(float a, float b, float u) {
    return a + (b - a) * u;
}

Vec3 LerpVec(const Vec3& a, const Vec3& b, float u) {
    return Vec3(Lerp(a.x, b.x, u), Lerp(a.y, b.y, u), Lerp(a.z, b.z, u));
}

// Lights between two rigs, or nothing when they do not match light for light.
std::optional<LightRig> BlendRigs(const LightRig& a, const LightRig& b, float u) {
    if (a.lights.size() != b.lights.size() || a.mixed != b.mixed) return std::nullopt;
    LightRig out = a;
    for (size_t i = 0; i < a.lights.size(); ++i) {
        const LightSpec& la = a.lights[i];
        const LightSpec& lb = b.lights[i];
        if (la.kind != lb.kind || la.env != lb.env || la.map != lb.map)
            return std::nullopt;
        LightSpec& l = out.lights[i];
        l.direction = SlerpDirection(la.direction, lb.direction, u);
        l.radius = Lerp(la.radius, lb.radius, u);
        for (int c = 0; c < 3; ++c)
            l.color[c] = Lerp(la.color[c], lb.color[c], u);
        l.lookat = LerpVec(la.lookat, lb.lookat, u);
        l.up = LerpVec(la.up, lb.up, u);
        l.fov[0] = Lerp(la.fov[0], lb.fov[0], u);
        l.fov[1] = Lerp(la.fov[1], lb.fov[1], u);
        l.spin = Lerp(la.spin, lb.spin, u);
    }
    return out;
}

PathSample SampleAt(const Keyframe& key, const std::optional<LightRig>& rig) {
    PathSample s;
    s.turn_x = key.turn_x;
    s.turn_y = key.turn_y;
    s.zoom = key.zoom;
    s.mode = key.mode;
    s.rig = rig;
    return s;
}

}  // namespace

Status ParseViewPath(const std::string& text, const std::string& name, ViewPath& path,
                     MapFileCache* maps) {
    FloatJson j;
    std::string error;
    // No keyframe takes fewer than 10 bytes ({"time":0}).
    if (!ParseFloatJson(text, j, error, BoundsForText(text.size(), 10)))
        return Fail(name, "not JSON: " + error);
    if (!j.is_object()) return Fail(name, "not a JSON object");
    for (const auto& [member, value] : j.items()) {
        if (member != "format" && member != "version" && member != "keyframes")
            return Fail(name, "unknown member '" + member + "'");
    }
    if (!j.contains("format") || j["format"] != kFormatName)
        return Fail(name, std::string("format must be \"") + kFormatName + "\"");
    if (!j.contains("version") || !j["version"].is_number_integer() ||
        j["version"].get<std::int64_t>() != kVersion)
        return Fail(name, StrPrintf("version must be %d", kVersion));
    if (!j.contains("keyframes") || !j["keyframes"].is_array() || j["keyframes"].empty())
        return Fail(name, "keyframes must be an array of at least one keyframe");
    ViewPath out;
    MapFileCache own;  // each map the keyframes name is read once
    MapFileCache& cache = maps != nullptr ? *maps : own;
    for (size_t i = 0; i < j["keyframes"].size(); ++i) {
        Keyframe key;
        if (Status s = ParseKeyframe(j["keyframes"][i], i, name, cache, key); !s.ok())
            return s;
        if (i > 0 && !(key.time > out.keyframes.back().time))
            return Fail(name, StrPrintf("keyframe %zu: times must increase", i));
        out.keyframes.push_back(std::move(key));
    }
    path = std::move(out);
    return Status::Ok();
}

Status ReadViewPath(const std::string& file, ViewPath& path, MapFileCache* maps) {
    std::string text, why;
    switch (ReadTextFile(file, kPathFileCap, text, why)) {
        case TextFileError::kNone:
            break;
        case TextFileError::kOpen:
            return Fail(file, "cannot read the file");
        default:
            return Fail(file, why);
    }
    return ParseViewPath(text, file, path, maps);
}

std::string ViewPathText(const ViewPath& path) {
    std::string out = std::string("{\n  \"format\": \"") + kFormatName + "\",\n";
    out += StrPrintf("  \"version\": %d,\n  \"keyframes\": [", kVersion);
    for (size_t i = 0; i < path.keyframes.size(); ++i) {
        const Keyframe& k = path.keyframes[i];
        out += i == 0 ? "\n    {" : ",\n    {";
        out += "\"time\": " + Num(k.time) + ", \"turn\": [" + Num(k.turn_x) + ", " +
               Num(k.turn_y) + "], \"zoom\": " + Num(k.zoom) + ", \"mode\": \"" +
               (k.mode == 0 ? "corner" : "centre") + "\"";
        if (k.rig) {
            std::string rig = LightRigText(*k.rig);
            while (!rig.empty() && rig.back() == '\n')
                rig.pop_back();
            std::string indented;
            for (char c : rig) {
                indented += c;
                if (c == '\n') indented += "      ";
            }
            out += ",\n      \"rig\": " + indented;
        }
        out += "}";
    }
    out += path.keyframes.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

Status WriteViewPath(const std::string& file, const ViewPath& path) {
    if (!WriteFileAtomically(file, ViewPathText(path)).ok())
        return Status::Error("[WritePath]: cannot write " + file + "\n");
    return Status::Ok();
}

Keyframe KeyframeFromModel(const Model& model, float time) {
    Keyframe k;
    k.time = time;
    k.turn_x = model.view.view_turn_x;
    k.turn_y = model.view.view_turn_y;
    k.zoom = model.view.zoom;
    k.mode = model.options.drawslabmode == 0 ? 0 : 1;
    k.rig = RigFromModel(model);
    return k;
}

Quat TurnsToQuat(float turn_x, float turn_y) {
    const double hx = turn_x * M_PI / 4.0;  // half the angle: quarter turn = pi/2
    const double hy = turn_y * M_PI / 4.0;
    Quat qx{static_cast<float>(std::sin(hx)), 0.0f, 0.0f,
            static_cast<float>(std::cos(hx))};
    Quat qy{0.0f, static_cast<float>(std::sin(hy)), 0.0f,
            static_cast<float>(std::cos(hy))};
    return QuatMul(qy, qx);
}

Vec3 SlerpDirection(const Vec3& a, const Vec3& b, float u) {
    const double dot =
        std::clamp(double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z, -1.0, 1.0);
    double wa = 1.0 - u, wb = u;
    const double theta = std::acos(dot);
    if (std::sin(theta) > 1e-4) {
        wa = std::sin((1.0 - u) * theta) / std::sin(theta);
        wb = std::sin(u * theta) / std::sin(theta);
    }
    double v[3] = {wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z};
    const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (n == 0.0) return a;
    return Vec3(static_cast<float>(v[0] / n), static_cast<float>(v[1] / n),
                static_cast<float>(v[2] / n));
}

PathSample SamplePath(const ViewPath& path, float t) {
    const std::vector<Keyframe>& keys = path.keyframes;
    std::optional<LightRig> rig;  // the lights in force at each keyframe
    std::vector<std::optional<LightRig>> rigs(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].rig) rig = keys[i].rig;
        rigs[i] = rig;
    }
    if (t <= keys.front().time) return SampleAt(keys.front(), rigs.front());
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
        const Keyframe& a = keys[i];
        const Keyframe& b = keys[i + 1];
        if (t == a.time) return SampleAt(a, rigs[i]);
        if (t >= b.time) continue;
        const float u = (t - a.time) / (b.time - a.time);
        PathSample s = SampleAt(a, rigs[i]);
        s.use_rotation = true;
        s.rotation =
            Slerp(TurnsToQuat(a.turn_x, a.turn_y), TurnsToQuat(b.turn_x, b.turn_y), u);
        s.zoom = Lerp(a.zoom, b.zoom, u);
        if (rigs[i] && rigs[i + 1]) {
            if (auto blended = BlendRigs(*rigs[i], *rigs[i + 1], u)) s.rig = blended;
        }
        return s;
    }
    return SampleAt(keys.back(), rigs.back());
}

void ApplyViewSample(Model& model, const PathSample& sample) {
    MainView& view = model.view;
    view.view_turn_x = sample.turn_x;
    view.view_turn_y = sample.turn_y;
    view.view_rotation_set = sample.use_rotation ? 1 : 0;
    view.view_rotation = sample.rotation;
    view.zoom = sample.zoom;
    view.zoom_start = sample.zoom;
    model.options.drawslabmode = sample.mode;
}

}  // namespace lumo
