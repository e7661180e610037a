#include "model/light_rig.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/atomic_file.h"
#include "base/str_printf.h"
#include "base/text_file.h"
#include "io/sgi_image.h"
#include "model/float_json.h"
#include "model/model_setup.h"

namespace lumo {
namespace {

using RigJson = FloatJson;

constexpr const char* kFormatName = "lumo-rig";
constexpr int kVersion = 1;

Status Fail(const std::string& name, const std::string& what) {
    return Status::Error("[ReadRig]: " + name + ": " + what + "\n");
}

// The text of one JSON number, as it would be typed after key=.
bool NumberText(const RigJson& v, std::string& out) {
    char buf[40];
    std::to_chars_result r{};
    if (v.is_number_unsigned()) {
        r = std::to_chars(buf, buf + sizeof buf, v.get<std::uint64_t>());
    } else if (v.is_number_integer()) {
        r = std::to_chars(buf, buf + sizeof buf, v.get<std::int64_t>());
    } else if (v.is_number_float()) {
        r = std::to_chars(buf, buf + sizeof buf, v.get<float>());
    } else {
        return false;
    }
    out.assign(buf, r.ptr);
    return true;
}

// A member's value as the key=value text of its key, or false when its JSON
// type is not the key's shape.
bool ValueText(const LightSpecKey& key, const RigJson& v, std::string& out) {
    switch (key.shape) {
        case SpecShape::kText:
            if (!v.is_string()) return false;
            out = v.get<std::string>();
            return true;
        case SpecShape::kNumber:
            return NumberText(v, out);
        case SpecShape::kNumbers: {
            if (!v.is_array() || v.size() != static_cast<size_t>(key.count)) return false;
            out.clear();
            for (size_t i = 0; i < v.size(); ++i) {
                std::string n;
                if (!NumberText(v[i], n)) return false;
                out += (i > 0 ? "," : "") + n;
            }
            return true;
        }
    }
    return false;
}

std::string ShapeName(const LightSpecKey& key) {
    switch (key.shape) {
        case SpecShape::kText:
            return "a string";
        case SpecShape::kNumber:
            return "a number";
        case SpecShape::kNumbers:
            return StrPrintf("an array of %d numbers", key.count);
    }
    return "?";
}

Status ParseLight(const RigJson& j, size_t index, const std::string& name,
                  LightSpec& spec, MapFileCache* maps) {
    const std::string where = StrPrintf("light %zu: ", index);
    if (!j.is_object()) return Fail(name, where + "not an object");
    spec = LightSpec();
    for (const auto& [member, value] : j.items()) {
        const LightSpecKey* key = FindLightSpecKey(member);
        std::string text, error;
        if (key == nullptr) {
            SetLightSpecKey(spec, member, "", error);  // the unknown-key message
            return Fail(name, where + error);
        }
        if (!ValueText(*key, value, text))
            return Fail(name, where + member + " must be " + ShapeName(*key));
        if (!SetLightSpecKey(spec, member, text, error)) return Fail(name, where + error);
    }
    if (Status s = ResolveLightSpec(spec, maps); !s.ok())
        return Fail(name, where + s.message());
    return Status::Ok();
}

Status IntegerMember(const RigJson& j, const char* member, const std::string& name,
                     int32_t low, int32_t high, int32_t& out) {
    const RigJson& v = j.at(member);
    if (!v.is_number_integer() || v.get<std::int64_t>() < low ||
        v.get<std::int64_t>() > high) {
        return Fail(name,
                    StrPrintf("%s must be an integer in %d..%d", member, low, high));
    }
    out = static_cast<int32_t>(v.get<std::int64_t>());
    return Status::Ok();
}

}  // namespace

Status ParseLightRig(const std::string& text, const std::string& name, LightRig& rig,
                     MapFileCache* maps) {
    RigJson j;
    std::string error;
    if (!ParseFloatJson(text, j, error)) return Fail(name, "not JSON: " + error);
    return LightRigFromJson(j, name, rig, maps);
}

Status LightRigFromJson(const FloatJson& j, const std::string& name, LightRig& rig,
                        MapFileCache* maps) {
    if (!j.is_object()) return Fail(name, "not a JSON object");
    for (const auto& item : j.items()) {
        const std::string& member = item.key();
        static const char* const kMembers[] = {"format",  "version", "harmonics",
                                               "current", "mixed",   "lights"};
        if (std::find_if(std::begin(kMembers), std::end(kMembers), [&](const char* m) {
                return member == m;
            }) == std::end(kMembers)) {
            return Fail(name, "unknown member '" + member + "'");
        }
    }
    if (!j.contains("format") || !j["format"].is_string() ||
        j["format"].get<std::string>() != kFormatName) {
        return Fail(name, std::string("format must be \"") + kFormatName + "\"");
    }
    if (!j.contains("version") || !j["version"].is_number_integer() ||
        j["version"].get<std::int64_t>() != kVersion) {
        return Fail(name, StrPrintf("version must be %d", kVersion));
    }
    if (!j.contains("lights") || !j["lights"].is_array())
        return Fail(name, "lights must be an array");
    const RigJson& lights = j["lights"];
    if (lights.size() > static_cast<size_t>(MAX_LIGHTS))
        return Fail(name,
                    StrPrintf("more than %d lights (%zu)", MAX_LIGHTS, lights.size()));
    LightRig out;
    out.lights.resize(lights.size());
    for (size_t i = 0; i < lights.size(); ++i) {
        if (Status s = ParseLight(lights[i], i, name, out.lights[i], maps); !s.ok())
            return s;
    }
    if (j.contains("harmonics")) {
        if (Status s = IntegerMember(j, "harmonics", name, 0, 1 << 20, out.harmonics);
            !s.ok())
            return s;
    }
    if (j.contains("mixed")) {
        if (!j["mixed"].is_boolean()) return Fail(name, "mixed must be true or false");
        out.mixed = j["mixed"].get<bool>();
    }
    if (j.contains("current")) {
        const int32_t high =
            std::max<int32_t>(0, static_cast<int32_t>(lights.size()) - 1);
        if (Status s = IntegerMember(j, "current", name, 0, high, out.current); !s.ok())
            return s;
    }
    rig = std::move(out);
    return Status::Ok();
}

Status ReadLightRig(const std::string& path, LightRig& rig, MapFileCache* maps) {
    std::string text, why;
    switch (ReadTextFile(path, kRigFileCap, text, why)) {
        case TextFileError::kNone:
            break;
        case TextFileError::kOpen:
            return Fail(path, "cannot read the file");
        default:
            return Fail(path, why);
    }
    return ParseLightRig(text, path, rig, maps);
}

std::string LightRigText(const LightRig& rig) {
    std::string out = "{\n";
    out += std::string("  \"format\": \"") + kFormatName + "\",\n";
    out += StrPrintf("  \"version\": %d,\n", kVersion);
    if (rig.harmonics >= 0) out += StrPrintf("  \"harmonics\": %d,\n", rig.harmonics);
    out += StrPrintf("  \"current\": %d,\n", rig.current);
    if (rig.mixed) out += "  \"mixed\": true,\n";
    out += "  \"lights\": [";
    for (size_t i = 0; i < rig.lights.size(); ++i) {
        out += i == 0 ? "\n    {" : ",\n    {";
        bool first = true;
        for (const auto& [key, value] : LightSpecPairs(rig.lights[i])) {
            const LightSpecKey* k = FindLightSpecKey(key);
            out += first ? "" : ", ";
            first = false;
            out += RigJson(key).dump() + ": ";
            if (k == nullptr || k->shape == SpecShape::kText) {
                out += RigJson(value).dump();
            } else if (k->shape == SpecShape::kNumber) {
                out += value;
            } else {
                std::string v = value;
                std::replace(v.begin(), v.end(), ',', ' ');
                std::istringstream parts(v);
                std::string part, joined;
                while (parts >> part)
                    joined += (joined.empty() ? "" : ", ") + part;
                out += "[" + joined + "]";
            }
        }
        out += "}";
    }
    out += rig.lights.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

Status WriteLightRig(const std::string& path, const LightRig& rig) {
    if (!WriteFileAtomically(path, LightRigText(rig)).ok())
        return Status::Error("[WriteRig]: cannot write " + path + "\n");
    return Status::Ok();
}

LightRig RigFromModel(const Model& model) {
    LightRig rig;
    const int32_t n = LightsInUse(model.lights);
    for (int32_t i = 0; i < n; ++i)
        rig.lights.push_back(SpecFromLight(model.lights.table[static_cast<size_t>(i)]));
    rig.harmonics = model.relight.terms;
    rig.current = std::clamp(model.lights.currlight, 0, std::max(0, n - 1));
    rig.mixed = model.lights.mixed != 0;
    return rig;
}

Status ApplyLightRig(Model& model, const LightRig& rig) {
    LightTable& lights = model.lights;
    const int32_t n = static_cast<int32_t>(rig.lights.size());
    bool local = false;
    for (int32_t i = 0; i < MAX_LIGHTS; ++i) {
        LightSrc& light = lights.table[static_cast<size_t>(i)];
        if (i < n) {
            if (Status s = ApplyLightSpec(rig.lights[static_cast<size_t>(i)], light);
                !s.ok())
                return s;
            local = local || light.kind != Directional;
        } else {
            light.Init();
        }
    }
    lights.lightcnt = n;
    lights.mixed = rig.mixed ? 1 : 0;
    lights.currlight = n > 0 ? std::clamp(rig.current, 0, n - 1) : 0;
    lights.currlighttype = n > 0
                               ? lights.table[static_cast<size_t>(lights.currlight)].kind
                               : static_cast<int32_t>(Directional);
    if (local && model.scene.depth_requested == 0) {
        if (Status s = LoadModelDepthMaps(model); !s.ok()) return s;
    }
    if (rig.harmonics >= 0) SetTerms(model.relight, rig.harmonics);
    model.view.others_cache_light = -1;
    model.view.recon_request = 1;
    return Status::Ok();
}

}  // namespace lumo
