#include "cli/scene_info.h"

#include <charconv>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string_view>

namespace lumo::tool {
namespace {

// Keys in field order; floats print as the shortest text that reads back as
// the same 32-bit value.
using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, std::uint64_t, float>;

Json Mask(const std::vector<uint8_t>& mask) {
    Json a = Json::array();
    for (uint8_t b : mask)
        a.push_back(b != 0 ? 1 : 0);
    return a;
}

Json SlabJson(const SlabRecord& s) {
    Json j;
    j["slab_number"] = s.slab_number;
    j["name"] = std::string(s.name);
    Json verts = Json::array();
    Json pairs = Json::array();
    for (int p = 0; p < 3; ++p) {
        Json vp = Json::array();
        Json pp = Json::array();
        for (int k = 0; k < 4; ++k) {
            const Vec4& c = s.corner_vert[p][k];
            vp.push_back(Json::array({c.x, c.y, c.z, c.w}));
            pp.push_back(Json::array({s.corner_pair[p][k][0], s.corner_pair[p][k][1]}));
        }
        verts.push_back(vp);
        pairs.push_back(pp);
    }
    j["corner_vert"] = verts;
    j["corner_pair"] = pairs;
    j["samples_u"] = s.samples_u;
    j["samples_v"] = s.samples_v;
    j["samples_q"] = s.samples_q;
    j["samples_r"] = s.samples_r;
    j["samples_s"] = s.samples_s;
    j["samples_t"] = s.samples_t;
    j["format"] = s.format;
    j["sh_count"] = s.sh_count;
    j["samples_theta"] = s.samples_theta;
    j["samples_phi"] = s.samples_phi;
    j["samples_intensity"] = s.samples_intensity;
    j["dct_quant_bit_rate"] = s.dct_quant_bit_rate;
    j["viewenablemask"] =
        Json::array({Mask(s.viewenablemask[0]), Mask(s.viewenablemask[1])});
    return j;
}

Json PanoramaJson(const PanoramaRecord& p) {
    Json j;
    j["name"] = std::string(p.name);
    j["image_width"] = p.image_width;
    j["image_height"] = p.image_height;
    j["panorama_number"] = p.panorama_number;
    j["sh_count"] = p.sh_count;
    j["samples_theta"] = p.samples_theta;
    j["samples_phi"] = p.samples_phi;
    j["samples_intensity"] = p.samples_intensity;
    j["dct_quant_bit_rate"] = p.dct_quant_bit_rate;
    j["orientation"] = Json::array();
    for (float f : p.orientation)
        j["orientation"].push_back(f);
    j["cylinder_radius"] = p.cylinder_radius;
    j["cylinder_height"] = p.cylinder_height;
    j["boundary_angle"] = p.boundary_angle;
    return j;
}

std::string Num(float f) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, f);
    return std::string(buf, r.ptr);
}

std::string Corner(const Vec4& c) {
    std::ostringstream t;
    t << "(" << Num(c.x) << ", " << Num(c.y) << ", " << Num(c.z) << ", " << Num(c.w)
      << ")";
    return t.str();
}

size_t Enabled(const std::vector<uint8_t>& mask) {
    size_t n = 0;
    for (uint8_t b : mask)
        n += b != 0;
    return n;
}

std::string Grid(int32_t a, int32_t b, const std::vector<uint8_t>& mask,
                 const char* what) {
    if (a == 0 && b == 0) return "none";
    std::string t = std::to_string(a) + " x " + std::to_string(b) + " " + what;
    t += ", " + std::to_string(Enabled(mask)) + " enabled";
    return t;
}

}  // namespace

std::string SceneInfoJson(const LidInfo& info) {
    Json j;
    j["slab_count"] = info.slab_count;
    j["kind"] = info.kind;
    j["slabs"] = Json::array();
    for (int i = 0; i < info.slab_count && i < MAX_SLABS; ++i) {
        j["slabs"].push_back(SlabJson(info.slabs[static_cast<size_t>(i)]));
    }
    if (info.kind == kScenePanorama) j["panorama"] = PanoramaJson(info.panorama);
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string SceneInfoText(const LidInfo& info, const std::string& path) {
    std::ostringstream t;
    t << path << ": ";
    switch (info.kind) {
        case kSceneSlab:
            t << "light slab\n";
            break;
        case kScenePanorama:
            t << "cylindrical panorama (not displayed)\n";
            break;
        default:
            t << "nothing declared\n";
            break;
    }
    for (int i = 0; i < info.slab_count && i < MAX_SLABS; ++i) {
        const SlabRecord& s = info.slabs[static_cast<size_t>(i)];
        t << "slab " << s.slab_number << " \"" << s.name << "\"\n";
        t << "  format:       "
          << (s.format == kFormatBRDF  ? "BRDF (relightable)"
              : s.format == kFormatRGB ? "RGB (photographs)"
                                       : "unknown")
          << "\n";
        t << "  UV grid:      "
          << Grid(s.samples_u, s.samples_v, s.viewenablemask[0], "cameras") << "\n";
        t << "  QR grid:      "
          << Grid(s.samples_q, s.samples_r, s.viewenablemask[1], "samples") << "\n";
        t << "  images:       " << s.samples_s << " x " << s.samples_t << " pixels\n";
        t << "  SH terms:     " << s.sh_count << "\n";
        t << "  DCT rate:     " << Num(s.dct_quant_bit_rate) << " bits\n";
        static constexpr const char* kPlanes[3] = {"UV", "QR", "ST"};
        for (int p = 0; p < 3; ++p) {
            t << "  " << kPlanes[p] << " corners: ";
            for (int k = 0; k < 4; ++k)
                t << " " << Corner(s.corner_vert[p][k]);
            t << "\n";
        }
    }
    if (info.kind == kScenePanorama) {
        const PanoramaRecord& p = info.panorama;
        t << "panorama " << p.panorama_number << " \"" << p.name << "\"\n";
        t << "  image:        " << p.image_width << " x " << p.image_height
          << " pixels\n";
        t << "  cylinder:     radius " << Num(p.cylinder_radius) << ", height "
          << Num(p.cylinder_height) << ", boundary angle " << Num(p.boundary_angle)
          << "\n";
    }
    return t.str();
}

}  // namespace lumo::tool
