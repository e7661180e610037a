#include "base/fatal.h"

#include <cstdio>
#include <cstdlib>

namespace lumo {

void Fatal(std::string_view message) {
    std::fflush(stdout);
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
    std::exit(1);
}

}  // namespace lumo
