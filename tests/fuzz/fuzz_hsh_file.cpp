// Fuzzes the HSH (.rti) reader.
#include <cstddef>
#include <cstdint>

#include "io/hsh_file.h"
#include "io/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lumo::FilePtr f = lumo::OpenMemoryStream(data, size);
    if (!f) return 0;
    lumo::HshFile hsh;
    if (lumo::ReadHsh(f.get(), "fuzz.rti", hsh).ok())
        (void)hsh.Term(hsh.width - 1, hsh.height - 1, 2, hsh.terms - 1);
    return 0;
}
