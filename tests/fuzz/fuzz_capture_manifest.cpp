// Fuzzes the capture manifest's parser (JSON text). The light-position files
// it names are only resolved, never opened.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fit/capture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    lumo::Capture capture;
    (void)lumo::ParseCaptureManifest(text, "fuzz/capture.json", capture);
    return 0;
}
