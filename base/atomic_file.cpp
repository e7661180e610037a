#include "base/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/str_printf.h"

namespace lumo {
namespace {

namespace fs = std::filesystem;

// A name for a temporary beside `path`, ".STEM.PID-N.part.EXT" (".NAME.PID-N.part"
// without an extension): no other process and no other write of this one uses
// it, and the extension stays last for writers that choose the format by it.
std::string TemporaryName(const std::string& path) {
    static std::atomic<unsigned long> counter{0};
    const fs::path target(path);
    const std::string stem = target.stem().string();
    const std::string ext = target.extension().string();
    return (target.parent_path() / StrPrintf(".%s.%ld-%lu.part%s", stem.c_str(),
                                             static_cast<long>(getpid()),
                                             counter.fetch_add(1), ext.c_str()))
        .string();
}

// Creates a new temporary beside `path` and returns its descriptor, or -1 with
// errno set. The mode is the one fopen gives (0666 less the umask), so the
// renamed file has the permissions a direct write would have given it.
int CreateTemporary(const std::string& path, std::string& temp) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = TemporaryName(path);
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

Status Fail(AtomicWriteFailure* failure, AtomicWriteFailure::Step step,
            const std::string& path, const std::string& temp, const std::string& reason) {
    if (step != AtomicWriteFailure::Step::kCreate) {
        std::error_code ec;
        fs::remove(temp, ec);
    }
    if (failure != nullptr) *failure = {step, temp, reason};
    return Status::Error(
        StrPrintf("[WriteFile]: cannot write %s: %s\n", path.c_str(), reason.c_str()));
}

// Renames the finished temporary over `path`.
Status Publish(const std::string& path, const std::string& temp,
               AtomicWriteFailure* failure) {
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec)
        return Fail(failure, AtomicWriteFailure::Step::kRename, path, temp, ec.message());
    if (failure != nullptr) *failure = {};
    return Status::Ok();
}

// Removes the temporary after the writer failed and passes its Status on.
Status WriterFailed(AtomicWriteFailure* failure, const std::string& temp, Status s) {
    std::error_code ec;
    fs::remove(temp, ec);
    if (failure != nullptr) *failure = {AtomicWriteFailure::Step::kWrite, temp, ""};
    return s;
}

}  // namespace

Status WriteFileAtomically(const std::string& path, const StreamWriter& write,
                           AtomicWriteFailure* failure) {
    std::string temp;
    const int fd = CreateTemporary(path, temp);
    if (fd < 0) {
        const std::string reason = std::strerror(errno);
        return Fail(failure, AtomicWriteFailure::Step::kCreate, path, temp, reason);
    }
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        const std::string reason = std::strerror(errno);
        close(fd);
        std::error_code ec;
        fs::remove(temp, ec);
        return Fail(failure, AtomicWriteFailure::Step::kCreate, path, temp, reason);
    }
    Status s = write(stream);
    if (!s.ok()) {
        std::fclose(stream);
        return WriterFailed(failure, temp, std::move(s));
    }
    const bool flushed_ok = std::ferror(stream) == 0;
    if (std::fclose(stream) != 0 || !flushed_ok) {
        const std::string reason = errno != 0 ? std::strerror(errno) : "write error";
        return Fail(failure, AtomicWriteFailure::Step::kClose, path, temp, reason);
    }
    return Publish(path, temp, failure);
}

Status WriteFileAtomically(const std::string& path, std::string_view bytes,
                           AtomicWriteFailure* failure) {
    return WriteFileAtomically(
        path,
        [&path, bytes](std::FILE* stream) {
            if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
                return Status::Error(StrPrintf(
                    "[WriteFile]: cannot write %s: short write\n", path.c_str()));
            }
            return Status::Ok();
        },
        failure);
}

Status WriteFileAtomicallyByName(const std::string& path, const NamedWriter& write,
                                 AtomicWriteFailure* failure) {
    const std::string temp = TemporaryName(path);
    Status s = write(temp);
    if (!s.ok()) return WriterFailed(failure, temp, std::move(s));
    return Publish(path, temp, failure);
}

}  // namespace lumo
