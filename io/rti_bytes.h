// What the readers of the reflectance-transformation formats (PTM, HSH)
// share: opening a regular file, reading a whole stream, and the tokens of a
// text header followed by binary data.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_ptr.h"

namespace lumo {

// A JPEG or PNG stream of B bytes is taken to hold at most this many pixels
// times B: far more than any real picture compresses to (a flat 8 x 8 block
// still costs a few bits), so a header that claims more is refused before
// anything is decoded.
inline constexpr uint64_t kJpegPixelsPerByte = 4096;

// `path` opened for reading when it is a regular file; null otherwise (a
// folder, a device, a missing file).
FilePtr OpenRegularFile(const std::string& path);

// Reads `stream` from its position to its end into `bytes`; false on a read
// error.
bool ReadAllBytes(std::FILE* stream, std::vector<uint8_t>& bytes);

// White-space separated tokens at the start of a byte block.
class TokenReader {
  public:
    explicit TokenReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    // With comments on, a token that starts with '#' and the rest of its line
    // are skipped.
    void set_comments(bool on) { comments_ = on; }

    // The next token; false at the end of the bytes.
    bool Next(std::string_view& token);
    // The next token as a whole decimal integer or a finite float.
    bool Int(int64_t& value);
    bool Float(float& value);
    // Skips the one white-space byte that ends the last token (a CR LF pair
    // counts as one); false when there is none.
    bool SkipOneSpace();
    // Skips the rest of the current line, its line feed included; false when
    // no line feed follows.
    bool SkipLine();
    // The bytes after the position.
    std::span<const uint8_t> Rest() const { return bytes_.subspan(at_); }

  private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
    bool comments_ = false;
};

}  // namespace lumo
