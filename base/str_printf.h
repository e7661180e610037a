// printf-style formatting into a std::string, for messages with values in them.
#pragma once

#include <string>

namespace lumo {

std::string StrPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace lumo
