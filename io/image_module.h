// The interface between the picture wrapper (io/image_file.cpp) and the
// picture module (imagelib/), the one place that calls OpenImageIO.
//
// The module is a shared object loaded with dlopen the first time a picture
// is read or written, so that programs and runs that never touch a picture
// never load OpenImageIO and the many libraries it brings. The module only
// decodes and encodes: every check (regular files, size caps, normalisation
// of values) stays in the wrapper. Both sides are built from the same tree by
// the same compiler; the entry point's name carries the interface's version,
// so a module left from another build is refused when it is loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace lumo::image_module {

// How pixel values are handed over: 8- and 16-bit unsigned as stored, every
// other type converted to 32-bit float.
enum class Sample : int32_t { kUint8 = 1, kUint16 = 2, kFloat = 4 };

// What a picture's header says, before any pixel is decoded.
struct Header {
    int64_t width = 0;
    int64_t height = 0;
    int64_t channels = 0;
    int64_t depth = 0;               // 1 for a two-dimensional picture
    Sample sample = Sample::kFloat;  // how ReadRows hands values over
    int32_t file_bits = 0;           // bits per sample in the file (smallest channel)
    int32_t tile_width = 0;          // 0 for pictures stored in scanlines
    int32_t tile_height = 0;
    std::string format;       // the library's name for it: "png", "jpeg", "tiff", ...
    std::string compression;  // as the library reports it ("none", "zip", ...), or ""
};

// An open picture.
class Input {
  public:
    virtual ~Input() = default;
    virtual const Header& header() const = 0;
    // Reads rows [y0, y1) (row 0 at the top; 0 <= y0 < y1 <= height) into
    // `out`: width * channels values of header().sample per row, channels
    // interleaved. Rows may be read in any order; reading them top to bottom
    // decodes each once. False with the library's words in `error`.
    virtual bool ReadRows(int64_t y0, int64_t y1, void* out, std::string& error) = 0;
};

// A picture to write, rows top first.
struct WriteRequest {
    const char* path = nullptr;
    const char* format =
        nullptr;  // the library's format name, or null: from the path's extension
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    Sample given = Sample::kFloat;   // the type of `pixels` (kUint8 or kFloat)
    Sample stored = Sample::kUint8;  // the type written
    const void* pixels = nullptr;
    bool no_time_stamp = false;  // clear the DateTime the TIFF and OpenEXR writers stamp
    int32_t tile = 0;            // > 0: square tiles of this size (TIFF, OpenEXR)
};

struct Api {
    size_t size = sizeof(Api);  // checked by the loader
    // Opens the picture in the open file `fd` (a regular file; the module
    // owns the descriptor from here on and closes it, also on failure),
    // `name` giving its format by its extension. Null with the reason in
    // `error`.
    std::unique_ptr<Input> (*open_file)(const char* name, int fd,
                                        std::string& error) = nullptr;
    // The same for `size` bytes at `data`, which must outlive the Input.
    std::unique_ptr<Input> (*open_memory)(const char* name, const void* data, size_t size,
                                          std::string& error) = nullptr;
    // Writes a picture; false with the reason in `error`.
    bool (*write)(const WriteRequest& request, std::string& error) = nullptr;
};

}  // namespace lumo::image_module

// The module's one exported symbol.
#define LUMO_IMAGE_MODULE_ENTRY "lumo_image_module_v1"
extern "C" const lumo::image_module::Api* lumo_image_module_v1();
