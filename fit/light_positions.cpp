#include "fit/light_positions.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/str_printf.h"
#include "base/text_file.h"

namespace lumo {
namespace {

// Where a listed picture is: the path as written, against the listing's
// folder. Listings made on another machine name pictures by paths that only
// held there (capture tools write absolute Windows paths such as
// "C:\dome\jpeg-exports\IMG_0001.JPG"), and the pictures are handed over
// beside the listing: when the path as written names nothing here, a picture
// of the same file name in the listing's folder is taken.
std::string PicturePath(const std::string& name, const std::filesystem::path& folder) {
    const std::filesystem::path image(name);
    const std::filesystem::path written = image.is_absolute() ? image : folder / image;
    std::error_code ec;
    if (std::filesystem::exists(written, ec)) return written.string();
    const size_t cut = name.find_last_of("/\\");
    if (cut == std::string::npos || cut + 1 == name.size()) return written.string();
    const std::filesystem::path beside = folder / name.substr(cut + 1);
    if (std::filesystem::is_regular_file(beside, ec)) return beside.string();
    return written.string();
}

Status Fail(const std::string& path, int line, const std::string& why) {
    return Status::Error(
        StrPrintf("[ReadLightPositions]: %s:%d: %s\n", path.c_str(), line, why.c_str()));
}

std::vector<std::string> Fields(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string f;
    while (in >> f)
        out.push_back(f);
    return out;
}

bool ParseDouble(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return r.ec == std::errc() && r.ptr == end && std::isfinite(value);
}

bool Blank(const std::string& line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

}  // namespace

Status ReadLightPositions(const std::string& path, std::vector<LightPhoto>& photos) {
    photos.clear();
    std::string text, why;
    switch (ReadTextFile(path, kLightPositionsCap, text, why)) {
        case TextFileError::kNone:
            break;
        case TextFileError::kOpen:
            return Fail(path, 0, "cannot open");
        default:
            return Fail(path, 0, why);
    }
    return ParseLightPositions(text, path, photos);
}

Status ParseLightPositions(const std::string& text, const std::string& path,
                           std::vector<LightPhoto>& photos) {
    photos.clear();
    std::istringstream in(text);
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::string line;
    int number = 0;
    int count = -1;
    int count_line = 0;
    int listed = 0;
    int last_line = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (count < 0) {
            const std::vector<std::string> f = Fields(line);
            if (f.empty() && Blank(line)) continue;  // leading blank lines
            double n = 0;
            if (f.size() != 1 || !ParseDouble(f[0], n) || n < 0 || n != std::floor(n) ||
                n > 1e7) {
                return Fail(path, number, "expected the number of photographs");
            }
            count = static_cast<int>(n);
            count_line = number;
            continue;
        }
        if (Blank(line)) continue;
        ++listed;
        last_line = number;
        if (listed > count) continue;  // counted below
        const std::vector<std::string> f = Fields(line);
        if (f.size() < 4) return Fail(path, number, "expected IMAGE X Y Z");
        LightPhoto p;
        p.line = number;
        for (int i = 0; i < 3; ++i) {
            const std::string& text = f[f.size() - 3 + static_cast<size_t>(i)];
            if (!ParseDouble(text, p.direction[i])) {
                return Fail(path, number, "malformed number '" + text + "'");
            }
        }
        const double len =
            std::sqrt(p.direction[0] * p.direction[0] + p.direction[1] * p.direction[1] +
                      p.direction[2] * p.direction[2]);
        if (!(len > 0.0) || !std::isfinite(len))
            return Fail(path, number, "zero direction");
        for (double& d : p.direction)
            d /= len;
        // The name: everything before the three numbers, as written.
        std::string name = line;
        for (int i = 0; i < 3; ++i) {
            name.erase(name.find_last_not_of(" \t") + 1);
            name.erase(name.find_last_of(" \t") + 1);
        }
        name.erase(name.find_last_not_of(" \t") + 1);
        name.erase(0, name.find_first_not_of(" \t"));
        p.path = PicturePath(name, folder);
        photos.push_back(std::move(p));
    }
    if (count < 0) return Fail(path, number + 1, "expected the number of photographs");
    if (listed != count) {
        return Fail(path, listed > count ? last_line : count_line,
                    StrPrintf("the count says %d photographs but %d lines follow", count,
                              listed));
    }
    return Status::Ok();
}

}  // namespace lumo
