#include "io/plane_set_writer.h"

#include <filesystem>
#include <nlohmann/json.hpp>

#include "base/file_ptr.h"
#include "base/str_printf.h"
#include "io/image_file.h"

namespace lumo {

std::string PlaneSetInfoText(const PlaneSetInfo& info) {
    nlohmann::json j = {{"width", info.width},
                        {"height", info.height},
                        {"format", info.format},
                        {"type", info.type},
                        {"colorspace", info.colorspace},
                        {"nplanes", info.nplanes},
                        {"materials", {{{"scale", info.scale}, {"bias", info.bias}}}},
                        {"lights", nlohmann::json::array()}};
    return j.dump(1) + "\n";
}

Status WritePlaneSet(const std::string& folder, const PlaneSetInfo& info,
                     const std::vector<uint8_t>& bytes, int quality) {
    const size_t pixels =
        static_cast<size_t>(info.width) * static_cast<size_t>(info.height);
    if (info.width < 1 || info.height < 1 || info.nplanes < 1 ||
        bytes.size() != pixels * static_cast<size_t>(info.nplanes)) {
        return Status::Error("[WritePlaneSet]: inconsistent planes\n");
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::string info_path = (std::filesystem::path(folder) / "info.json").string();
    const std::string text = PlaneSetInfoText(info);
    FilePtr f = OpenFile(info_path.c_str(), "wb");
    const bool ok = f && std::fwrite(text.data(), 1, text.size(), f.get()) == text.size();
    if (!f || std::fclose(f.release()) != 0 || !ok)
        return Status::Error(
            StrPrintf("[WritePlaneSet]: cannot write %s\n", info_path.c_str()));
    const int pictures = (info.nplanes + 2) / 3;
    for (int p = 0; p < pictures; ++p) {
        FloatImage img;
        img.width = info.width;
        img.height = info.height;
        img.channels = 3;
        img.pixels.assign(pixels * 3, 0.0f);
        for (int c = 0; c < 3 && 3 * p + c < info.nplanes; ++c) {
            const uint8_t* in = bytes.data() + static_cast<size_t>(3 * p + c) * pixels;
            for (size_t i = 0; i < pixels; ++i)
                img.pixels[3 * i + static_cast<size_t>(c)] =
                    static_cast<float>(in[i]) / 255.0f;
        }
        const std::string name = StrPrintf("plane_%d.%s", p, info.format.c_str());
        std::vector<uint8_t> encoded;
        Status s = EncodeImageBytes(img, ImageBits::k8, name, encoded, quality);
        if (!s.ok()) return s;
        const std::string path = (std::filesystem::path(folder) / name).string();
        FilePtr out = OpenFile(path.c_str(), "wb");
        const bool wrote = out && std::fwrite(encoded.data(), 1, encoded.size(),
                                              out.get()) == encoded.size();
        if (!out || std::fclose(out.release()) != 0 || !wrote)
            return Status::Error(
                StrPrintf("[WritePlaneSet]: cannot write %s\n", path.c_str()));
    }
    return Status::Ok();
}

}  // namespace lumo
