// Writing a file so that its readers see either the old file or the complete
// new one, never a part: the bytes go to a temporary file of a name of its own
// in the target's folder, every write and the close are checked, and only then
// is the temporary renamed over the target. A failure leaves the old file as it
// was and removes the temporary. A target that is a symbolic link is followed:
// the file it points to is replaced and the link stays.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "base/status.h"

namespace lumo {

// The step at which an atomic write failed, and the system's reason, for
// callers that word their own messages.
struct AtomicWriteFailure {
    enum class Step { kNone, kCreate, kWrite, kClose, kRename };
    Step step = Step::kNone;
    std::string temp;    // the temporary's name
    std::string reason;  // the system's words for the failure; empty for kWrite
};

// Fills the open temporary. A failed Status is returned as it is.
using StreamWriter = std::function<Status(std::FILE* stream)>;

// Fills the temporary by its name, for writers that open files themselves.
using NamedWriter = std::function<Status(const std::string& temp)>;

// Writes the file at `path` through `write`. Fails with the writer's Status
// when it fails, else with "[WriteFile]: cannot write PATH: REASON\n"; fills
// `failure` (when given) either way.
Status WriteFileAtomically(const std::string& path, const StreamWriter& write,
                           AtomicWriteFailure* failure = nullptr);

// Writes `bytes` as the whole file at `path`.
Status WriteFileAtomically(const std::string& path, std::string_view bytes,
                           AtomicWriteFailure* failure = nullptr);

// As above, but `write` gets the temporary's name (not yet created) and
// creates and writes it itself.
Status WriteFileAtomicallyByName(const std::string& path, const NamedWriter& write,
                                 AtomicWriteFailure* failure = nullptr);

}  // namespace lumo
