// Reading a small text input (a rig, a path, a light-position file, a capture
// manifest, a report part) whole, safely: only a regular file is read (a
// folder, a FIFO, a device or a socket is refused without waiting on it), and
// a file larger than the caller's cap is refused before its bytes are read.
#pragma once

#include <cstddef>
#include <string>

namespace lumo {

// The caps of lumo's text inputs, in bytes: far above any real file of the
// kind, far below what would exhaust memory once parsed.
inline constexpr size_t kRigFileCap = size_t{1} << 20;          // 30 lights
inline constexpr size_t kPathFileCap = size_t{64} << 20;        // keyframes with rigs
inline constexpr size_t kLightPositionsCap = size_t{64} << 20;  // .lp files
inline constexpr size_t kManifestCap = size_t{64} << 20;        // capture manifests
inline constexpr size_t kReportPartCap = size_t{64} << 20;      // fit report parts

enum class TextFileError {
    kNone,
    kOpen,        // cannot be opened (missing, no permission)
    kNotRegular,  // a folder, FIFO, device or socket
    kTooLarge,    // more bytes than the cap
    kRead,        // a read failed
};

// Reads the regular file at `path`, at most `cap` bytes, into `text`. On a
// failure `text` is empty and `why` (when not kOpen) holds the words for a
// message: "not a regular file", "larger than the limit of N bytes", or the
// system's reason for a failed read.
TextFileError ReadTextFile(const std::string& path, size_t cap, std::string& text,
                           std::string& why);

}  // namespace lumo
