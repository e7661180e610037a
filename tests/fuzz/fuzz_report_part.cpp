// Fuzzes the merging of fit report parts: each input is the one part of a
// four-camera capture's shard folder (a fresh temporary folder per process),
// merged as `lumotool fit --merge` merges it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fit/capture.h"
#include "fit/report_merge.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        char name[] = "/tmp/lumo_fuzz_report_XXXXXX";
        if (mkdtemp(name) == nullptr) std::abort();
        return std::string(name);
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string part = Folder() + "/fit-report.0-3.json";
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    lumo::Capture capture;
    for (int c = 0; c < 4; ++c)
        capture.cameras.push_back(lumo::CaptureCamera{c % 2, c / 2, "cam.lp"});
    (void)lumo::MergeFitReports(capture, Folder());
    std::remove((Folder() + "/fit-report.json").c_str());
    return 0;
}
