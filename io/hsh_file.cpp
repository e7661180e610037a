#include "io/hsh_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <span>

#include "base/str_printf.h"
#include "io/rti_bytes.h"

namespace lumo {
namespace {

Status Fail(const std::string& name, const std::string& why) {
    return Status::Error(StrPrintf("[ReadHsh]: %s: %s\n", name.c_str(), why.c_str()));
}

float LittleFloat(const uint8_t* p) {
    const uint32_t bits = uint32_t{p[0]} | (uint32_t{p[1]} << 8) |
                          (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace

void HshBasis(const double d[3], int terms, double* out) {
    const double pi = std::numbers::pi;
    double c = d[2];
    c = c < 0.0 ? 0.0 : c > 1.0 ? 1.0 : c;
    const double phi = std::atan2(d[1], d[0]);
    const double s = std::sqrt(std::max(0.0, c - c * c));
    const double h[9] = {
        1.0 / std::sqrt(2.0 * pi),
        std::sqrt(6.0 / pi) * std::cos(phi) * s,
        std::sqrt(3.0 / (2.0 * pi)) * (2.0 * c - 1.0),
        std::sqrt(6.0 / pi) * std::sin(phi) * s,
        std::sqrt(30.0 / pi) * std::cos(2.0 * phi) * (c * c - c),
        std::sqrt(30.0 / pi) * std::cos(phi) * (2.0 * c - 1.0) * s,
        std::sqrt(5.0 / (2.0 * pi)) * (1.0 - 6.0 * c + 6.0 * c * c),
        std::sqrt(30.0 / pi) * std::sin(phi) * (2.0 * c - 1.0) * s,
        std::sqrt(30.0 / pi) * std::sin(2.0 * phi) * (c * c - c),
    };
    for (int k = 0; k < terms && k < 9; ++k)
        out[k] = h[k];
}

Status ReadHsh(std::FILE* stream, const std::string& name, HshFile& hsh) {
    hsh = HshFile();
    std::vector<uint8_t> bytes;
    if (!ReadAllBytes(stream, bytes)) return Fail(name, "cannot read");
    static constexpr char kMagic[] = "#HSH";
    if (bytes.size() < 4 || std::memcmp(bytes.data(), kMagic, 4) != 0)
        return Fail(name, "not an HSH file");
    TokenReader in(bytes);
    in.set_comments(true);
    int64_t type = 0, w = 0, h = 0, colours = 0, terms = 0, basis = 0, element = 0;
    if (!in.Int(type)) return Fail(name, "bad header");
    if (type != 3)
        return Fail(name,
                    StrPrintf("type %lld is not HSH", static_cast<long long>(type)));
    if (!in.Int(w) || !in.Int(h) || !in.Int(colours) || !in.Int(terms) ||
        !in.Int(basis) || !in.Int(element) || !in.SkipLine()) {
        return Fail(name, "bad header");
    }
    if (colours != 3)
        return Fail(name, StrPrintf("%lld colours: only 3 are supported",
                                    static_cast<long long>(colours)));
    if (terms != 4 && terms != 9)
        return Fail(name, StrPrintf("%lld terms: only 4 and 9 are supported",
                                    static_cast<long long>(terms)));
    if (element != 1)
        return Fail(name, StrPrintf("element size %lld: only 1 is supported",
                                    static_cast<long long>(element)));
    const std::span<const uint8_t> body = in.Rest();
    const uint64_t tables = 8 * static_cast<uint64_t>(terms);
    if (w < 1 || h < 1 || w > (int64_t{1} << 20) || h > (int64_t{1} << 20) ||
        static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 3 *
                    static_cast<uint64_t>(terms) +
                tables >
            body.size()) {
        return Fail(name,
                    StrPrintf("size %lld x %lld does not fit the file",
                              static_cast<long long>(w), static_cast<long long>(h)));
    }
    hsh.width = static_cast<int32_t>(w);
    hsh.height = static_cast<int32_t>(h);
    hsh.terms = static_cast<int32_t>(terms);
    hsh.basis_type = static_cast<int32_t>(basis < -1000000  ? -1000000
                                          : basis > 1000000 ? 1000000
                                                            : basis);
    for (int64_t k = 0; k < terms; ++k) {
        hsh.scale.push_back(LittleFloat(&body[static_cast<size_t>(4 * k)]));
        hsh.bias.push_back(LittleFloat(&body[static_cast<size_t>(4 * (terms + k))]));
        if (!std::isfinite(hsh.scale.back()) || !std::isfinite(hsh.bias.back()))
            return Fail(name, "bad header");
    }
    const size_t n =
        static_cast<size_t>(w) * static_cast<size_t>(h) * 3 * static_cast<size_t>(terms);
    hsh.bytes.assign(body.begin() + static_cast<std::ptrdiff_t>(tables),
                     body.begin() + static_cast<std::ptrdiff_t>(tables + n));
    return Status::Ok();
}

Status ReadHshFile(const std::string& path, HshFile& hsh) {
    FilePtr f = OpenRegularFile(path);
    if (!f) return Fail(path, "cannot open");
    return ReadHsh(f.get(), path, hsh);
}

}  // namespace lumo
