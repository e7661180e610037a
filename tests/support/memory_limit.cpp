#include "tests/support/memory_limit.h"

#include <sys/resource.h>

#include <cstdio>

namespace lumo::testing {

void LimitMemory(size_t extra) {
    long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * 4096 + extra;
    const rlimit r{limit, limit};
    setrlimit(RLIMIT_AS, &r);
}

}  // namespace lumo::testing
