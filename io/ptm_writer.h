// Writing polynomial texture maps (".ptm"), for tests and fuzz seeds: every
// format the reader reads, the JPEG planes with chosen references, and side
// information wherever the JPEG coding changed a byte, so that the reader
// gives back exactly the bytes written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "io/ptm_file.h"

namespace lumo {

struct PtmWriteOptions {
    int quality = 90;  // JPEG quality of the planes
    // JPEG formats, per plane (empty: none): the plane it is predicted from
    // (-1 none) and whether that plane is inverted first.
    std::vector<int> reference;
    std::vector<int> transform;
    // The planes' decoding sequence (empty: index order).
    std::vector<int> order;
    bool side_information = true;  // correct every byte the coding changed
};

// The file's bytes for `ptm` (its version, format, sizes, scales, biases,
// coefficient and colour bytes as PtmFile holds them).
Status EncodePtm(const PtmFile& ptm, const PtmWriteOptions& options,
                 std::vector<uint8_t>& bytes);

// EncodePtm, written to `path` ("[WritePtm]: cannot write %s\n").
Status WritePtmFile(const std::string& path, const PtmFile& ptm,
                    const PtmWriteOptions& options = {});

}  // namespace lumo
