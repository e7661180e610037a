// The one place where a failure ends the program.
//
// Readers and the engine return a Status; their `...OrExit` wrappers, called
// at the process boundary, hand a failure to Fatal,
// which writes the message to standard error exactly as given and exits with
// status 1. std::exit flushes standard output, so progress lines printed before
// the failure are not lost when output is a pipe.
#pragma once

#include <string_view>

#include "base/status.h"

namespace lumo {

[[noreturn]] void Fatal(std::string_view message);

// Ends the program with status's message when it is a failure.
inline void FatalIfError(const Status& status) {
    if (!status.ok()) Fatal(status.message());
}

}  // namespace lumo
