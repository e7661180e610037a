// Reader of lumo's chunked deflate container.
//
// Layout, from the position at which the container starts (integers are
// 32-bit signed big-endian):
//   "EZ"                 two-byte signature, no terminator
//   N                    chunk count
//   offset[N]            absolute byte position of each chunk in the file
//   size[N]              stored length of each chunk
// Each chunk is a raw deflate stream followed by a little-endian CRC-32 of
// its decoded bytes and a little-endian decoded length (a gzip member without
// its header). Chunks are decoded in table order and their outputs placed one
// after the other. Offsets are absolute, so a container inside a larger
// stream must be read from that very stream.
//
// Container faults end the program; decoding errors inside a chunk are
// reported ("\n%s: %s: %s\n": decoder, input label, reason) and the load
// goes on with the bytes the chunk delivered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/byte_block.h"
#include "base/message_sink.h"
#include "base/status.h"

namespace lumo {

inline constexpr size_t DEFLATE_CHUNK_IN_MAX = 65536;  // largest stored chunk
inline constexpr size_t DEFLATE_CHUNK_OUT = 32768;     // output room per chunk

// The decoder's name in the chunk error messages.
inline constexpr const char* INFLATE_NAME = "inflate";

// Decodes one stored chunk of `length` bytes at `chunk` and appends its
// decoded bytes to `block` (so the chunk's output starts at the block's
// current size), never letting the block grow past `limit` bytes; sets
// `delivered` to the number of bytes appended. The chunk's bytes are the only
// input. Decoding errors ("out of memory", "invalid compressed data--format
// violated", "unexpected end of file", "invalid compressed data--crc error",
// "invalid compressed data--length error") go to `sink` in the form
// "\n%s: %s: %s\n" and keep the bytes delivered before them. Returns false
// when the chunk decodes to more than the room left under `limit`, or when
// the block cannot grow (`out_of_memory` set).
bool InflateChunk(const uint8_t* chunk, size_t length, std::vector<uint8_t>& block,
                  size_t limit, size_t& delivered, const MessageSink& sink,
                  bool* out_of_memory = nullptr);
bool InflateChunk(const uint8_t* chunk, size_t length, ByteBlock& block, size_t limit,
                  size_t& delivered, const MessageSink& sink,
                  bool* out_of_memory = nullptr);

// Decodes the container at the current
// position of `stream` into `block` (its size is the number of decoded bytes,
// also given as `decoded`). Afterwards the stream is positioned at the end of
// the last chunk in table order (offset plus stored length), or just after
// the size table when there are no chunks. Fails with
// "[ReadDeflateZip]: input file is not in our zip file format\n" for a wrong
// signature, a negative count or tables the file cannot hold, a chunk longer
// than 65536 bytes, or outputs that would run past N x 32768 bytes; with
// "[ReadDeflateZip]: No memory for outbuf\n" (and the other allocation
// messages) when memory runs out.
//
// Chunks are decoded on up to `threads` threads (0: one per core): those
// that decode cleanly to the length they declare by a whole-buffer decoder,
// the others one after another by the zlib path that words the errors, so
// the bytes and the messages are those of a sequential zlib decode whatever
// the number of threads.
Status ReadDeflateZip(std::FILE* stream, std::vector<uint8_t>& block, size_t& decoded,
                      const MessageSink& chunk_errors, int threads = 0);
// The same into a ByteBlock (no clearing, huge pages for large outputs).
Status ReadDeflateZip(std::FILE* stream, ByteBlock& block, size_t& decoded,
                      const MessageSink& chunk_errors, int threads = 0);

// ReadDeflateZip with chunk errors on standard error; container faults end
// the program with their message and status 1.
void ReadDeflateZipOrExit(std::FILE* stream, std::vector<uint8_t>& block,
                          size_t& decoded);

// Decodes the container at `in` and
// writes the decoded bytes to `out` in pieces of at most 32768 bytes. Write
// results are not checked.
Status ExtractDeflateZip(std::FILE* in, std::FILE* out, const MessageSink& chunk_errors);

// ExtractDeflateZip with chunk errors on standard error; container faults
// end the program.
void ExtractDeflateZipOrExit(std::FILE* in, std::FILE* out);

}  // namespace lumo
