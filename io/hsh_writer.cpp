#include "io/hsh_writer.h"

#include <cstring>

#include "base/file_ptr.h"
#include "base/str_printf.h"

namespace lumo {
namespace {

void AppendFloat(std::vector<uint8_t>& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

}  // namespace

Status EncodeHsh(const HshFile& hsh, std::vector<uint8_t>& bytes, int colours) {
    const size_t n = static_cast<size_t>(hsh.width < 0 ? 0 : hsh.width) *
                     static_cast<size_t>(hsh.height < 0 ? 0 : hsh.height) *
                     static_cast<size_t>(colours < 0 ? 0 : colours) *
                     static_cast<size_t>(hsh.terms < 0 ? 0 : hsh.terms);
    if (hsh.scale.size() != static_cast<size_t>(hsh.terms) ||
        hsh.bias.size() != static_cast<size_t>(hsh.terms) || hsh.bytes.size() != n) {
        return Status::Error("[WriteHsh]: inconsistent file\n");
    }
    const std::string head =
        StrPrintf("#HSH1.2\n#written by lumo\n3\n%d %d %d\n%d %d 1\n", hsh.width,
                  hsh.height, colours, hsh.terms, hsh.basis_type);
    bytes.assign(head.begin(), head.end());
    for (float s : hsh.scale)
        AppendFloat(bytes, s);
    for (float b : hsh.bias)
        AppendFloat(bytes, b);
    bytes.insert(bytes.end(), hsh.bytes.begin(), hsh.bytes.end());
    return Status::Ok();
}

Status WriteHshFile(const std::string& path, const HshFile& hsh) {
    std::vector<uint8_t> bytes;
    Status s = EncodeHsh(hsh, bytes);
    if (!s.ok()) return s;
    FilePtr f = OpenFile(path.c_str(), "wb");
    const bool ok =
        f && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    if (!f || std::fclose(f.release()) != 0 || !ok)
        return Status::Error(StrPrintf("[WriteHsh]: cannot write %s\n", path.c_str()));
    return Status::Ok();
}

}  // namespace lumo
