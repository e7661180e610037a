// Fuzzes the PTM reader, JPEG planes included (decoded through the picture
// wrapper after the reader has checked their sizes).
#include <cstddef>
#include <cstdint>

#include "io/memory_stream.h"
#include "io/ptm_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lumo::FilePtr f = lumo::OpenMemoryStream(data, size);
    if (!f) return 0;
    lumo::PtmFile ptm;
    if (lumo::ReadPtm(f.get(), "fuzz.ptm", ptm).ok() && ptm.width > 0 && ptm.height > 0)
        (void)ptm.Coefficient(ptm.Blocks() - 1, ptm.width - 1, ptm.height - 1, 5);
    return 0;
}
