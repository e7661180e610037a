#include "io/depth_map_writer.h"
#include "io/named_file_write.h"

#include <cstring>

#include "base/file_ptr.h"
#include "base/str_printf.h"

namespace lumo {
namespace {

// Appends the `size` bytes of one value in the file's byte order.
void Put(std::vector<uint8_t>& out, const void* value, size_t size, bool big_endian) {
    const auto* p = static_cast<const uint8_t*>(value);
    for (size_t i = 0; i < size; ++i)
        out.push_back(big_endian ? p[size - 1 - i] : p[i]);
}

}  // namespace

Status EncodeZfile(const Zfile& z, ZfileByteOrder order, std::vector<uint8_t>& file) {
    if (z.width < 0 || z.height < 0 || z.width > 32767 || z.height > 32767 ||
        z.depth.size() != static_cast<size_t>(z.width) * static_cast<size_t>(z.height))
        return Status::Error(
            "[WriteZfile]: depth map size does not fit the file format\n");
    const bool big = order == ZfileByteOrder::kBigEndian;
    file.clear();
    const uint8_t magic_big[4] = {0x2F, 0x08, 0x67, 0xAB};
    const uint8_t magic_little[4] = {0xAB, 0x67, 0x08, 0x2F};
    const uint8_t* magic = big ? magic_big : magic_little;
    for (int i = 0; i < 4; ++i)
        file.push_back(magic[i]);
    const int16_t size[2] = {static_cast<int16_t>(z.width),
                             static_cast<int16_t>(z.height)};
    for (int16_t v : size)
        Put(file, &v, 2, big);
    for (float v : z.cameraMatrix)
        Put(file, &v, 4, big);
    for (float v : z.screenMatrix)
        Put(file, &v, 4, big);
    for (float v : z.depth)
        Put(file, &v, 4, big);
    return Status::Ok();
}

Status WriteZfile(const char* path, const Zfile& z, ZfileByteOrder order) {
    std::vector<uint8_t> bytes;
    if (Status s = EncodeZfile(z, order, bytes); !s.ok()) return s;
    return WriteNamedFile(
        "WriteZfile", path,
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace lumo
