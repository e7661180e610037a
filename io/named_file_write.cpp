#include "io/named_file_write.h"

#include <cerrno>
#include <cstring>

#include "base/str_printf.h"

namespace lumo {

Status WriteNamedFile(std::string_view tag, const std::string& path,
                      const StreamWriter& write) {
    const std::string name(tag);
    int error = 0;
    bool stream_failed = false;
    AtomicWriteFailure failure;
    const Status s = WriteFileAtomically(
        path,
        [&](std::FILE* stream) {
            errno = 0;
            Status w = write(stream);
            if (w.ok() && std::fflush(stream) != 0) w = Status::Error("flush\n");
            if (!w.ok() && std::ferror(stream) != 0) {
                error = errno;
                stream_failed = true;
            }
            return w;
        },
        &failure);
    switch (failure.step) {
        case AtomicWriteFailure::Step::kNone:
            return s;
        case AtomicWriteFailure::Step::kCreate:
            if (failure.reason == "not a regular file")
                return Status::Error(
                    StrPrintf("[%s]: cannot write %s: not a regular file\n", name.c_str(),
                              path.c_str()));
            return Status::Error(StrPrintf("[%s]: cannot open %s for writing\n",
                                           name.c_str(), path.c_str()));
        case AtomicWriteFailure::Step::kWrite:
            if (!stream_failed) return s;
            return Status::Error(
                StrPrintf("[%s]: cannot write %s: %s\n", name.c_str(), path.c_str(),
                          error != 0 ? std::strerror(error) : "write error"));
        case AtomicWriteFailure::Step::kClose:
        case AtomicWriteFailure::Step::kRename:
            break;
    }
    return Status::Error(StrPrintf("[%s]: cannot write %s: %s\n", name.c_str(),
                                   path.c_str(), failure.reason.c_str()));
}

Status WriteNamedFile(std::string_view tag, const std::string& path,
                      std::string_view bytes) {
    return WriteNamedFile(tag, path, [bytes](std::FILE* stream) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size())
            return Status::Error("short write\n");
        return Status::Ok();
    });
}

}  // namespace lumo
