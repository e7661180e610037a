// Where the streaming fit takes its photographs from: rows of each of a
// camera's photographs, as RGB floats normalised as io/image_file.h
// normalises them (a grey picture gives its value in all three channels,
// channels past the third are dropped). Rows are asked for from the top
// down, every photograph's strip before the next strip.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"

namespace lumo {

class PhotoRows {
  public:
    virtual ~PhotoRows() = default;
    virtual int32_t width() const = 0;
    virtual int32_t height() const = 0;
    virtual size_t count() const = 0;
    // Picture rows y0..y1 - 1 (row 0 the top) of photograph `k` into `rgb`,
    // (y1 - y0) * width * 3 floats. Calls for different photographs may run
    // at once on different threads.
    virtual Status Read(size_t k, int32_t y0, int32_t y1, float* rgb) = 0;
};

// The photographs at `paths`, all opened at once (headers only) and read in
// strips. Fails with the picture reader's message, or with "[FitCapture]: %s
// is %d x %d, the capture's photographs are %d x %d\n" when one is not
// width x height.
Status OpenPhotoRows(const std::vector<std::string>& paths, int32_t width, int32_t height,
                     std::unique_ptr<PhotoRows>& out);

}  // namespace lumo
