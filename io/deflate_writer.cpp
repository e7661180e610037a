#include "io/deflate_writer.h"

#include <zlib.h>

#include <algorithm>

#include "io/deflate_container.h"

namespace lumo {
namespace {

constexpr const char* kCompressionFailed = "[WriteDeflateZip]: compression failed\n";
constexpr const char* kTooLarge = "[WriteDeflateZip]: container too large\n";

void PutBig32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void PushLittle32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Trailer(const uint8_t* data, size_t size, std::vector<uint8_t>& chunk) {
    PushLittle32(chunk, static_cast<uint32_t>(crc32_z(crc32(0L, Z_NULL, 0), data, size)));
    PushLittle32(chunk, static_cast<uint32_t>(size));
}

// One chunk holding the piece as a single stored deflate block (at most
// 65535 bytes), its CRC-32 and length.
void Store(const uint8_t* data, size_t size, std::vector<uint8_t>& chunk) {
    const uint16_t n = static_cast<uint16_t>(size);
    const uint16_t inverse = static_cast<uint16_t>(~n);
    chunk = {0x01, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
             static_cast<uint8_t>(inverse), static_cast<uint8_t>(inverse >> 8)};
    chunk.insert(chunk.end(), data, data + size);
    Trailer(data, size, chunk);
}

// One chunk: the raw deflate stream of the piece, its CRC-32 and length.
bool Compress(z_stream& zs, const uint8_t* data, size_t size,
              std::vector<uint8_t>& chunk) {
    if (size > (size_t{1} << 30) || deflateReset(&zs) != Z_OK) return false;
    chunk.resize(deflateBound(&zs, static_cast<uLong>(size)) + 8);
    zs.next_in = const_cast<uint8_t*>(data);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = chunk.data();
    zs.avail_out = static_cast<uInt>(chunk.size());
    if (deflate(&zs, Z_FINISH) != Z_STREAM_END) return false;
    chunk.resize(zs.total_out);
    Trailer(data, size, chunk);
    return true;
}

}  // namespace

Status MakeDeflateChunk(const uint8_t* data, size_t size, int level,
                        std::vector<uint8_t>& chunk) {
    z_stream zs{};
    if (deflateInit2(&zs, std::clamp(level, 0, 9), Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return Status::Error(kCompressionFailed);
    const bool ok = Compress(zs, data, size, chunk);
    deflateEnd(&zs);
    return ok ? Status::Ok() : Status::Error(kCompressionFailed);
}

Status AppendChunks(std::vector<uint8_t>& file,
                    const std::vector<std::vector<uint8_t>>& chunks, bool reverse_layout,
                    uint64_t base) {
    const size_t n = chunks.size();
    if (n > 0x7fffffff) return Status::Error(kTooLarge);
    const size_t head = file.size();
    file.resize(head + 6 + 8 * n);
    file[head] = 'E';
    file[head + 1] = 'Z';
    PutBig32(file, head + 2, static_cast<uint32_t>(n));
    for (size_t k = 0; k < n; ++k) {
        const size_t i = reverse_layout ? n - 1 - k : k;
        const uint64_t offset = base + file.size();
        if (offset > 0x7fffffff || chunks[i].size() > 0x7fffffff)
            return Status::Error(kTooLarge);
        PutBig32(file, head + 6 + 4 * i, static_cast<uint32_t>(offset));
        PutBig32(file, head + 6 + 4 * (n + i), static_cast<uint32_t>(chunks[i].size()));
        file.insert(file.end(), chunks[i].begin(), chunks[i].end());
    }
    return Status::Ok();
}

Status AppendDeflateZip(std::vector<uint8_t>& file, const uint8_t* data, size_t size,
                        const DeflateWriteOptions& options, uint64_t base) {
    const size_t piece = std::clamp<size_t>(options.piece, 1, DEFLATE_CHUNK_OUT);
    const size_t n = (size + piece - 1) / piece;
    z_stream zs{};
    if (deflateInit2(&zs, std::clamp(options.level, 0, 9), Z_DEFLATED, -MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return Status::Error(kCompressionFailed);
    std::vector<std::vector<uint8_t>> chunks(n);
    bool ok = true;
    for (size_t i = 0; i < n && ok; ++i) {
        const size_t at = i * piece;
        const size_t n = std::min(piece, size - at);
        ok = Compress(zs, data + at, n, chunks[i]) &&
             chunks[i].size() <= DEFLATE_CHUNK_IN_MAX;
        if (ok && options.min_gain > 0.0 &&
            static_cast<double>(chunks[i].size() - 8) >
                (1.0 - options.min_gain) * double(n))
            Store(data + at, n, chunks[i]);
    }
    deflateEnd(&zs);
    if (!ok) return Status::Error(kCompressionFailed);
    return AppendChunks(file, chunks, options.reverse_layout, base);
}

Status WriteDeflateZip(std::FILE* stream, const uint8_t* data, size_t size,
                       const DeflateWriteOptions& options) {
    const long base = std::ftell(stream);
    if (base < 0) return Status::Error("[WriteDeflateZip]: write failed\n");
    std::vector<uint8_t> bytes;
    if (Status s =
            AppendDeflateZip(bytes, data, size, options, static_cast<uint64_t>(base));
        !s.ok())
        return s;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size())
        return Status::Error("[WriteDeflateZip]: write failed\n");
    return Status::Ok();
}

}  // namespace lumo
