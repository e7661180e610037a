#include "io/deflate_container.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "base/alloc.h"
#include "base/fatal.h"
#include "base/parallel_for.h"
#include "base/str_printf.h"
#include "io/checked_io.h"
#include "io/stream_bytes.h"

namespace lumo {
namespace {

constexpr const char* kNotOurFormat =
    "[ReadDeflateZip]: input file is not in our zip file format\n";

void ChunkError(const MessageSink& sink, const char* reason) {
    Emit(sink, StrPrintf("\n%s: %s: %s\n", INFLATE_NAME, "stdin", reason));
}

uint32_t LittleEndian32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
           uint32_t{p[3]} << 24;
}

// The most that `length` bytes of raw deflate data can decode to: deflate
// cannot expand more than 1032 times (a 258-byte match in every 2 bits), plus
// room for the last block's slack.
size_t MaxInflatedSize(size_t length) {
    return length * 1032 + 1024;
}

// Grows `block` by up to `want` bytes without passing `limit`.
template <class Block>
bool Grow(Block& block, size_t want, size_t limit) {
    const size_t target = std::min(limit, block.size() + want);
    try {
        block.resize(target);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// One raw-inflate state for all the chunks of a container: reset between
// chunks, so that its window is allocated once.
class Inflater {
  public:
    Inflater() { ready_ = inflateInit2(&zs_, -MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (ready_) inflateEnd(&zs_);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // The state for a new chunk, or null when it could not be had.
    z_stream* Fresh() {
        if (ready_ && inflateReset(&zs_) != Z_OK) {
            inflateEnd(&zs_);
            ready_ = false;
        }
        if (!ready_) ready_ = inflateInit2(&zs_, -MAX_WBITS) == Z_OK;
        return ready_ ? &zs_ : nullptr;
    }

  private:
    z_stream zs_{};
    bool ready_ = false;
};

template <class Block>
bool InflateChunkInto(Inflater& inflater, const uint8_t* chunk, size_t length,
                      Block& block, size_t limit, size_t& delivered,
                      const MessageSink& sink, bool* out_of_memory) {
    delivered = 0;
    if (out_of_memory != nullptr) *out_of_memory = false;
    const size_t start = block.size();
    z_stream* state = inflater.Fresh();
    if (state == nullptr) {
        ChunkError(sink, "out of memory");
        return true;
    }
    z_stream& zs = *state;
    zs.next_in = const_cast<uint8_t*>(chunk);
    zs.avail_in = static_cast<uInt>(length);
    size_t pos = start;
    enum class End { kStreamEnd, kFormat, kEof, kMemory } end = End::kEof;
    bool fits = true;
    for (;;) {
        int rc;
        if (pos == block.size()) {
            if (block.size() >= limit) {
                // The room is used up: anything more would run past the block.
                uint8_t probe = 0;
                zs.next_out = &probe;
                zs.avail_out = 1;
                rc = inflate(&zs, Z_NO_FLUSH);
                if (zs.avail_out == 0) {
                    fits = false;
                    break;
                }
            } else {
                // The trailer's length says how much to expect; more room is
                // added as the data turn out to need it. Neither may ask for
                // more than the chunk's compressed bytes can inflate to: the
                // trailer is not trusted with the memory.
                size_t want =
                    std::max<size_t>(2 * (block.size() - start), DEFLATE_CHUNK_OUT);
                if (block.size() == start && length >= 8) {
                    const size_t declared = LittleEndian32(chunk + length - 4);
                    if (declared > 0) want = declared;
                }
                const size_t most = MaxInflatedSize(length);
                const size_t produced = block.size() - start;
                want = produced < most ? std::min(want, most - produced) : 1;
                if (!Grow(block, want, limit)) {
                    if (out_of_memory != nullptr) *out_of_memory = true;
                    fits = false;
                    break;
                }
                continue;
            }
        } else {
            zs.next_out = block.data() + pos;
            zs.avail_out =
                static_cast<uInt>(std::min<size_t>(block.size() - pos, 1u << 30));
            rc = inflate(&zs, Z_NO_FLUSH);
            pos = static_cast<size_t>(zs.next_out - block.data());
        }
        if (rc == Z_STREAM_END) {
            end = End::kStreamEnd;
            break;
        }
        if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT || rc == Z_STREAM_ERROR) {
            end = End::kFormat;
            break;
        }
        if (rc == Z_MEM_ERROR) {
            end = End::kMemory;
            break;
        }
        if (zs.avail_out == 0) continue;  // more room wanted
        end = End::kEof;                  // all input used before the final block
        break;
    }
    const size_t left = zs.avail_in;
    block.resize(pos);
    delivered = pos - start;
    if (!fits) return false;

    switch (end) {
        case End::kMemory:
            ChunkError(sink, "out of memory");
            return true;
        case End::kEof:
            ChunkError(sink, "unexpected end of file");
            return true;
        case End::kFormat:
            ChunkError(sink, "invalid compressed data--format violated");
            break;
        case End::kStreamEnd:
            break;
    }
    // The trailer follows where decoding stopped.
    if (left < 8) {
        ChunkError(sink, "unexpected end of file");
        return true;
    }
    const uint8_t* trailer = chunk + (length - left);
    const uLong crc = crc32_z(crc32(0L, Z_NULL, 0), block.data() + start, delivered);
    if (LittleEndian32(trailer) != static_cast<uint32_t>(crc))
        ChunkError(sink, "invalid compressed data--crc error");
    if (LittleEndian32(trailer + 4) != static_cast<uint32_t>(delivered))
        ChunkError(sink, "invalid compressed data--length error");
    return true;
}

// A whole-buffer decoder (libdeflate) for the chunks that decode cleanly:
// a chunk whose deflate data decode to exactly the length its last four
// bytes declare, followed by a trailer whose CRC-32 and length match, is
// taken from it. Any other chunk goes through the zlib path, which says
// what is wrong with it in the words the messages use.
class WholeChunkDecoder {
  public:
    WholeChunkDecoder() : d_(libdeflate_alloc_decompressor()) {}
    ~WholeChunkDecoder() {
        if (d_ != nullptr) libdeflate_free_decompressor(d_);
    }
    WholeChunkDecoder(const WholeChunkDecoder&) = delete;
    WholeChunkDecoder& operator=(const WholeChunkDecoder&) = delete;

    // Decodes `length` bytes at `chunk` into exactly `declared` bytes at
    // `out`; true when the chunk is clean as above.
    bool Decode(const uint8_t* chunk, size_t length, uint8_t* out, size_t declared) {
        if (d_ == nullptr || length < 8) return false;
        size_t used = 0, produced = 0;
        if (libdeflate_deflate_decompress_ex(d_, chunk, length, out, declared, &used,
                                             &produced) != LIBDEFLATE_SUCCESS)
            return false;
        if (produced != declared || length - used < 8) return false;
        const uint8_t* trailer = chunk + used;
        return LittleEndian32(trailer + 4) == static_cast<uint32_t>(produced) &&
               LittleEndian32(trailer) ==
                   static_cast<uint32_t>(libdeflate_crc32(0, out, produced));
    }

  private:
    libdeflate_decompressor* d_;
};

// Spare room at the end of a decoded block, for readers that pad it.
constexpr size_t kReaderSlack = 64;

// Chunks are read and decoded in groups of at most this many input bytes.
constexpr size_t kGroupInput = size_t{8} << 20;

template <class Block>
Status ReadDeflateZipInto(std::FILE* stream, Block& block, size_t& decoded,
                          const MessageSink& chunk_errors, int threads) {
    block.clear();
    decoded = 0;
    std::vector<uint8_t> inbuf;
    if (!TryAssign(inbuf, DEFLATE_CHUNK_IN_MAX))
        return Status::Error("[ReadDeflateZip]: No memory for inbuf\n");
    char signature[2] = {};
    if (std::fread(signature, 1, 2, stream) != 2 || signature[0] != 'E' ||
        signature[1] != 'Z')
        return Status::Error(kNotOurFormat);
    int32_t count = 0;
    if (cp_fread(&count, 4, 1, stream) != 1 || count < 0)
        return Status::Error(kNotOurFormat);
    const size_t n = static_cast<size_t>(count);
    // Both tables must be in the file before they are allocated.
    const long left = StreamBytesLeft(stream);
    if (left >= 0 && static_cast<uint64_t>(left) < 8 * static_cast<uint64_t>(n))
        return Status::Error(kNotOurFormat);
    std::vector<int32_t> offsets;
    std::vector<int32_t> sizes;
    if (!TryAssign(offsets, n))
        return Status::Error("[ReadDeflateZip]: no memory for offset table\n");
    if (!TryAssign(sizes, n))
        return Status::Error("[ReadDeflateZip]: no memory for chrunksize table\n");
    if (cp_fread(offsets.data(), 4, n, stream) != n ||
        cp_fread(sizes.data(), 4, n, stream) != n)
        return Status::Error(kNotOurFormat);
    for (int32_t size : sizes) {
        if (size < 0 || static_cast<size_t>(size) > DEFLATE_CHUNK_IN_MAX)
            return Status::Error(kNotOurFormat);
    }
    const size_t limit = n * DEFLATE_CHUNK_OUT;
    // Room for what the chunks can really produce, which a small file keeps
    // small whatever its tables and trailers claim.
    size_t most = 0;
    for (int32_t size : sizes)
        most = std::min(limit, most + MaxInflatedSize(static_cast<size_t>(size)));
    // Room for the first chunks is reserved with the first group.
    const size_t first_room = std::min<size_t>(most, size_t{1} << 20);

    // The chunks' stored bytes, a group at a time: chunk i of the group at
    // input[at[i]], got[i] bytes (fewer where the file ends).
    std::vector<uint8_t>& input = inbuf;
    std::vector<size_t> at, got, place;
    std::vector<uint8_t> clean;
    Inflater inflater;
    for (size_t first = 0; first < n;) {
        size_t total = 0, last = first;
        while (last < n &&
               (last == first || total + static_cast<size_t>(sizes[last]) <= kGroupInput))
            total += static_cast<size_t>(sizes[last++]);
        const size_t m = last - first;
        try {
            input.resize(std::max(total, DEFLATE_CHUNK_IN_MAX));
            at.resize(m);
            got.resize(m);
            place.resize(m + 1);
            clean.assign(m, 0);
        } catch (const std::exception&) {
            return Status::Error("[ReadDeflateZip]: No memory for inbuf\n");
        }
        size_t end = 0;
        for (size_t i = 0; i < m; ++i) {
            const size_t c = first + i;
            at[i] = end;
            got[i] = 0;
            if (offsets[c] >= 0 && std::fseek(stream, offsets[c], SEEK_SET) == 0)
                got[i] = std::fread(input.data() + end, 1, static_cast<size_t>(sizes[c]),
                                    stream);
            end += got[i];
        }
        // Where each chunk's output goes if the chunks before it decode to
        // the lengths they declare; the run of chunks whose declared lengths
        // are possible is decoded on all threads. The claims are not trusted
        // with much more memory than the bytes read: past 64 times those,
        // the chunks go one by one, each growth of the block backed by
        // decoded data.
        place[0] = block.size();
        const size_t claims = 64 * end + (size_t{1} << 20);
        size_t runs = 0;
        while (runs < m && got[runs] >= 8) {
            const size_t declared =
                LittleEndian32(input.data() + at[runs] + got[runs] - 4);
            if (declared > MaxInflatedSize(got[runs]) || declared > limit - place[runs] ||
                place[runs] - place[0] + declared > claims)
                break;
            place[runs + 1] = place[runs] + declared;
            ++runs;
        }
        // The block grows to just what the run declares (or, for the
        // first group, at least the room the one-by-one path starts with),
        // and a little more for readers that pad what they read (the DCT
        // reader's bit reader).
        try {
            block.reserve((first == 0 ? std::max(first_room, place[runs]) : place[runs]) +
                          kReaderSlack);
            block.resize(place[runs]);
        } catch (const std::exception&) {
            runs = 0;
            block.resize(place[0]);
        }
        if (first == 0 && block.capacity() < first_room) {
            try {
                block.reserve(first_room);
            } catch (const std::exception&) {
                return Status::Error("[ReadDeflateZip]: No memory for outbuf\n");
            }
        }
        ParallelFor(
            runs, 4,
            [&](size_t begin, size_t stop) {
                WholeChunkDecoder whole;
                for (size_t i = begin; i < stop; ++i)
                    clean[i] =
                        whole.Decode(input.data() + at[i], got[i],
                                     block.data() + place[i], place[i + 1] - place[i]);
            },
            threads);
        // The clean chunks up to the first other one stand; from there on
        // each chunk is decoded in turn by the exact path.
        size_t i = 0;
        while (i < runs && clean[i])
            ++i;
        block.resize(place[i]);
        for (; i < m; ++i) {
            size_t delivered = 0;
            bool out_of_memory = false;
            if (!InflateChunkInto(inflater, input.data() + at[i], got[i], block, limit,
                                  delivered, chunk_errors, &out_of_memory)) {
                block.clear();
                return Status::Error(out_of_memory
                                         ? "[ReadDeflateZip]: No memory for outbuf\n"
                                         : kNotOurFormat);
            }
        }
        first = last;
    }
    if (n > 0)
        std::fseek(stream, static_cast<long>(offsets[n - 1]) + sizes[n - 1], SEEK_SET);
    decoded = block.size();
    return Status::Ok();
}

}  // namespace

bool InflateChunk(const uint8_t* chunk, size_t length, std::vector<uint8_t>& block,
                  size_t limit, size_t& delivered, const MessageSink& sink,
                  bool* out_of_memory) {
    Inflater inflater;
    return InflateChunkInto(inflater, chunk, length, block, limit, delivered, sink,
                            out_of_memory);
}

bool InflateChunk(const uint8_t* chunk, size_t length, ByteBlock& block, size_t limit,
                  size_t& delivered, const MessageSink& sink, bool* out_of_memory) {
    Inflater inflater;
    return InflateChunkInto(inflater, chunk, length, block, limit, delivered, sink,
                            out_of_memory);
}

Status ReadDeflateZip(std::FILE* stream, std::vector<uint8_t>& block, size_t& decoded,
                      const MessageSink& chunk_errors, int threads) {
    return ReadDeflateZipInto(stream, block, decoded, chunk_errors, threads);
}

Status ReadDeflateZip(std::FILE* stream, ByteBlock& block, size_t& decoded,
                      const MessageSink& chunk_errors, int threads) {
    return ReadDeflateZipInto(stream, block, decoded, chunk_errors, threads);
}

void ReadDeflateZipOrExit(std::FILE* stream, std::vector<uint8_t>& block,
                          size_t& decoded) {
    FatalIfError(ReadDeflateZip(stream, block, decoded, WriteToStderr));
}

Status ExtractDeflateZip(std::FILE* in, std::FILE* out, const MessageSink& chunk_errors) {
    std::vector<uint8_t> block;
    size_t decoded = 0;
    if (Status s = ReadDeflateZip(in, block, decoded, chunk_errors); !s.ok()) return s;
    for (size_t at = 0; at < decoded; at += DEFLATE_CHUNK_OUT)
        cp_fwrite(block.data() + at, 1, std::min(DEFLATE_CHUNK_OUT, decoded - at), out);
    return Status::Ok();
}

void ExtractDeflateZipOrExit(std::FILE* in, std::FILE* out) {
    FatalIfError(ExtractDeflateZip(in, out, WriteToStderr));
}

}  // namespace lumo
