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

// The file a write to `path` should replace: a symbolic link is followed (link
// by link, so that a dangling link names the file it would create) and the
// temporary is made beside the file it points to, so that saving through a
// link updates the linked file and keeps the link. Gives up after 40 links, as
// the system does, and then writes at the last name reached.
std::string WriteTarget(const std::string& path) {
    fs::path target(path);
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(target, ec)) || ec) break;
        const fs::path next = fs::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target.string();
}

// Whether `path` may be replaced by a rename: it is absent or a regular file.
// A device, a FIFO or a folder under that name is never replaced by a file.
bool ReplaceableTarget(const std::string& path) {
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    return !fs::exists(st) || fs::is_regular_file(st);
}

}  // namespace

Status WriteFileAtomically(const std::string& named, const StreamWriter& write,
                           AtomicWriteFailure* failure) {
    const std::string path = WriteTarget(named);
    std::string temp;
    if (!ReplaceableTarget(path))
        return Fail(failure, AtomicWriteFailure::Step::kCreate, path, temp,
                    "not a regular file");
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

Status WriteFileAtomicallyByName(const std::string& named, const NamedWriter& write,
                                 AtomicWriteFailure* failure) {
    const std::string path = WriteTarget(named);
    if (!ReplaceableTarget(path))
        return Fail(failure, AtomicWriteFailure::Step::kCreate, path, "",
                    "not a regular file");
    const std::string temp = TemporaryName(path);
    Status s = write(temp);
    if (!s.ok()) return WriterFailed(failure, temp, std::move(s));
    return Publish(path, temp, failure);
}

}  // namespace lumo
