// Fuzzes the chunked deflate container reader.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/deflate_container.h"
#include "io/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lumo::FilePtr f = lumo::OpenMemoryStream(data, size);
    if (!f) return 0;
    std::vector<uint8_t> block;
    size_t decoded = 0;
    (void)lumo::ReadDeflateZip(f.get(), block, decoded, lumo::MessageSink());
    return 0;
}
