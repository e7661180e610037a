// Writing a whole file atomically (base/atomic_file.h) with messages that
// name the writer, the file and the system's reason, as every format writer
// of this folder words them.
#pragma once

#include <string>
#include <string_view>

#include "base/atomic_file.h"
#include "base/status.h"

namespace lumo {

// Writes `path` through `write`. A writer's own failure that is not a failed
// write to its stream (a size it refuses, say) is returned as it is.
// Otherwise the failures are, with TAG the writer's name:
//   "[TAG]: cannot open PATH for writing\n"        the file cannot be made
//   "[TAG]: cannot write PATH: not a regular file\n"
//   "[TAG]: cannot write PATH: REASON\n"           a write, the close or the
//                                                  rename failed (REASON the
//                                                  system's words)
// and a failure leaves any earlier file at `path` as it was.
Status WriteNamedFile(std::string_view tag, const std::string& path,
                      const StreamWriter& write);

// As above, writing `bytes`.
Status WriteNamedFile(std::string_view tag, const std::string& path,
                      std::string_view bytes);

}  // namespace lumo
