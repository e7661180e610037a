#include "io/plane_set.h"

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "base/str_printf.h"
#include "io/image_file.h"
#include "io/rti_bytes.h"

namespace lumo {
namespace {

using nlohmann::json;

Status Fail(const std::string& name, const std::string& why) {
    return Status::Error(
        StrPrintf("[ReadPlaneSet]: %s: %s\n", name.c_str(), why.c_str()));
}

// The planes a supported layout has; 0 for a layout that is not read.
bool Supported(const PlaneSetInfo& info, int32_t planes) {
    if (info.type == "ptm" && info.colorspace == "rgb") return planes == 18;
    if (info.type == "ptm" && info.colorspace == "lrgb") return planes == 9;
    if (info.type == "hsh" && info.colorspace == "rgb")
        return planes == 12 || planes == 27;
    return false;
}

bool KnownLayout(const PlaneSetInfo& info) {
    return (info.type == "ptm" &&
            (info.colorspace == "rgb" || info.colorspace == "lrgb")) ||
           (info.type == "hsh" && info.colorspace == "rgb");
}

bool ReadInt(const json& j, const char* key, int32_t lo, int32_t hi, int32_t& out) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_number_integer()) return false;
    const long long v = it->get<long long>();
    if (v < lo || v > hi) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool ReadString(const json& j, const char* key, std::string& out) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_string()) return false;
    out = it->get<std::string>();
    return out.size() <= 64;
}

bool ReadFloats(const json& j, const char* key, std::vector<float>& out) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_array() || it->size() > 1024) return false;
    out.clear();
    for (const json& v : *it) {
        if (!v.is_number()) return false;
        const double d = v.get<double>();
        if (!std::isfinite(d) || std::fabs(d) > 1e30) return false;
        out.push_back(static_cast<float>(d));
    }
    return true;
}

}  // namespace

Status ParsePlaneSetInfo(std::string_view text, const std::string& name,
                         PlaneSetInfo& info) {
    info = PlaneSetInfo();
    json j;
    try {
        j = json::parse(text);
    } catch (const json::exception& e) {
        return Fail(name, e.what());
    }
    if (!j.is_object()) return Fail(name, "expected a JSON object");
    if (!ReadInt(j, "width", 1, 65535, info.width) ||
        !ReadInt(j, "height", 1, 65535, info.height))
        return Fail(name, "\"width\" and \"height\" must be whole numbers 1..65535");
    if (!ReadString(j, "format", info.format) ||
        (info.format != "jpg" && info.format != "png"))
        return Fail(name, "\"format\" must be \"jpg\" or \"png\"");
    if (!ReadString(j, "type", info.type)) return Fail(name, "\"type\" must be a string");
    if (!ReadString(j, "colorspace", info.colorspace))
        return Fail(name, "\"colorspace\" must be a string");
    if (!KnownLayout(info)) {
        return Fail(name,
                    StrPrintf("type %s with colorspace %s is not supported (ptm rgb, "
                              "ptm lrgb and hsh rgb are)",
                              info.type.c_str(), info.colorspace.c_str()));
    }
    if (!ReadInt(j, "nplanes", 1, 1024, info.nplanes))
        return Fail(name, "\"nplanes\" must be a whole number 1..1024");
    if (!Supported(info, info.nplanes)) {
        return Fail(name,
                    StrPrintf("%d planes do not match type %s with colorspace %s",
                              info.nplanes, info.type.c_str(), info.colorspace.c_str()));
    }
    const auto materials = j.find("materials");
    if (materials == j.end() || !materials->is_array() || materials->empty() ||
        !(*materials)[0].is_object() ||
        !ReadFloats((*materials)[0], "scale", info.scale) ||
        !ReadFloats((*materials)[0], "bias", info.bias)) {
        return Fail(
            name, "\"materials\"[0] must have \"scale\" and \"bias\" arrays of numbers");
    }
    if (info.scale.size() != static_cast<size_t>(info.nplanes) ||
        info.bias.size() != static_cast<size_t>(info.nplanes)) {
        return Fail(name, StrPrintf("%zu scales and %zu biases for %d planes",
                                    info.scale.size(), info.bias.size(), info.nplanes));
    }
    return Status::Ok();
}

Status ReadPlaneSet(const std::string& info_path, PlaneSet& set) {
    set = PlaneSet();
    std::string text;
    {
        FilePtr f = OpenRegularFile(info_path);
        std::vector<uint8_t> bytes;
        if (!f || !ReadAllBytes(f.get(), bytes)) return Fail(info_path, "cannot open");
        text.assign(bytes.begin(), bytes.end());
    }
    Status s = ParsePlaneSetInfo(text, info_path, set.info);
    if (!s.ok()) return s;
    const PlaneSetInfo& info = set.info;
    const std::filesystem::path folder = std::filesystem::path(info_path).parent_path();
    const int pictures = (info.nplanes + 2) / 3;
    const size_t pixels =
        static_cast<size_t>(info.width) * static_cast<size_t>(info.height);
    // Every picture's header first: nothing is decoded before all are known
    // to have the set's size.
    std::vector<std::string> paths;
    for (int p = 0; p < pictures; ++p) {
        const std::string path =
            (folder / StrPrintf("plane_%d.%s", p, info.format.c_str())).string();
        std::error_code ec;
        const auto bytes = std::filesystem::file_size(path, ec);
        if (ec || !std::filesystem::is_regular_file(path, ec))
            return Fail(path, "cannot open");
        if (pixels > kJpegPixelsPerByte * static_cast<uint64_t>(bytes))
            return Fail(path, StrPrintf("size %d x %d does not fit the file", info.width,
                                        info.height));
        ImageSize size;
        s = ReadImageSize(path, size);
        if (!s.ok()) return s;
        if (size.width != info.width || size.height != info.height)
            return Fail(path, StrPrintf("%d x %d, the set is %d x %d", size.width,
                                        size.height, info.width, info.height));
        const int need = info.nplanes - 3 * p >= 3 ? 3 : info.nplanes - 3 * p;
        if (size.channels < need)
            return Fail(path,
                        StrPrintf("%d channels, %d are needed", size.channels, need));
        paths.push_back(path);
    }
    set.planes.assign(static_cast<size_t>(info.nplanes) * pixels, 0.0f);
    FloatImage img;
    for (int p = 0; p < pictures; ++p) {
        s = ReadImageFile(paths[static_cast<size_t>(p)], img);
        if (!s.ok()) return s;
        if (img.width != info.width || img.height != info.height)
            return Fail(paths[static_cast<size_t>(p)], "changed while read");
        const size_t ch = static_cast<size_t>(img.channels);
        for (int c = 0; c < 3 && 3 * p + c < info.nplanes; ++c) {
            const size_t k = static_cast<size_t>(3 * p + c);
            float* out = set.planes.data() + k * pixels;
            for (size_t i = 0; i < pixels; ++i) {
                // The byte as stored: 8-bit pictures read as byte / 255.
                const float byte =
                    std::round(img.pixels[i * ch + static_cast<size_t>(c)] * 255.0f);
                out[i] = (byte / 255.0f - info.bias[k]) * info.scale[k];
            }
        }
    }
    return Status::Ok();
}

}  // namespace lumo
