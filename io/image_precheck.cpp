#include "io/image_precheck.h"

#include <cstring>

#include "base/str_printf.h"

namespace lumo {
namespace {

constexpr uint8_t kExrMagic[4] = {0x76, 0x2f, 0x31, 0x01};
constexpr uint32_t kExrMultipart = 0x1000;
// An attribute's name and type are at most 255 characters each (with long
// names; 31 without), then comes its 4-byte size.
constexpr size_t kExrAttributeHead = 2 * 256 + 4;

uint32_t Little32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
           uint32_t{p[3]} << 24;
}

std::string ExrRefusal(const ReadBytesAt& read, uint64_t file_bytes, uint32_t flags) {
    uint64_t pos = 8;
    uint8_t head[kExrAttributeHead];
    for (;;) {
        // One header: attributes up to an empty name.
        for (;;) {
            const size_t got = read(pos, head, sizeof head);
            if (got == 0) return "";
            const auto* name_end = static_cast<const uint8_t*>(std::memchr(head, 0, got));
            if (name_end == nullptr) return "";
            if (name_end == head) {
                ++pos;
                break;
            }
            const size_t type_at = static_cast<size_t>(name_end - head) + 1;
            if (type_at >= got) return "";
            const auto* type_end = static_cast<const uint8_t*>(
                std::memchr(head + type_at, 0, got - type_at));
            if (type_end == nullptr) return "";
            const size_t size_at = static_cast<size_t>(type_end - head) + 1;
            if (size_at + 4 > got) return "";
            const int32_t size = static_cast<int32_t>(Little32(head + size_at));
            const uint64_t value_at = pos + size_at + 4;
            if (size < 0 || value_at > file_bytes ||
                static_cast<uint64_t>(size) > file_bytes - value_at) {
                return StrPrintf(
                    "an attribute of its header claims %d bytes, more than its "
                    "%llu bytes hold",
                    size, static_cast<unsigned long long>(file_bytes));
            }
            pos = value_at + static_cast<uint64_t>(size);
        }
        if ((flags & kExrMultipart) == 0) return "";
        // Several parts: their headers follow each other up to an empty one.
        uint8_t next = 0;
        if (read(pos, &next, 1) != 1 || next == 0) return "";
    }
}

}  // namespace

std::string PictureBytesRefusal(const ReadBytesAt& read, uint64_t file_bytes) {
    uint8_t start[8];
    if (read(0, start, sizeof start) != sizeof start) return "";
    if (std::memcmp(start, kExrMagic, sizeof kExrMagic) == 0)
        return ExrRefusal(read, file_bytes, Little32(start + 4));
    return "";
}

}  // namespace lumo
