#include "io/ppm.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/file_ptr.h"
#include "base/str_printf.h"

namespace lumo {
namespace {

// The next header number, skipping blanks and "#" comments; -1 if none.
long HeaderNumber(std::FILE* f) {
    int c = std::fgetc(f);
    for (;;) {
        while (c != EOF && std::isspace(c))
            c = std::fgetc(f);
        if (c != '#') break;
        while (c != EOF && c != '\n')
            c = std::fgetc(f);
    }
    if (c == EOF || !std::isdigit(c)) return -1;
    long v = 0;
    while (c != EOF && std::isdigit(c)) {
        v = v * 10 + (c - '0');
        if (v > 1 << 20) return -1;
        c = std::fgetc(f);
    }
    return c != EOF && std::isspace(c) ? v : -1;
}

// "[WritePPM]: cannot write NAME: REASON\n" for a write the stream refused.
Status WriteFailed(const std::string& name, int error) {
    return Status::Error(StrPrintf("[WritePPM]: cannot write %s: %s\n",
                                   name.empty() ? "the stream" : name.c_str(),
                                   error != 0 ? std::strerror(error) : "write error"));
}

}  // namespace

Status WritePPM(std::FILE* stream, const Photo& photo, bool upright,
                const std::string& name) {
    const size_t row = static_cast<size_t>(photo.width) * 3;
    if (photo.width <= 0 || photo.height <= 0 ||
        photo.pixels.size() != row * static_cast<size_t>(photo.height))
        return Status::Error("[WritePPM]: image without pixels\n");
    const auto failed = [&name] { return WriteFailed(name, errno); };
    if (std::fprintf(stream, "P6\n%d %d\n255\n", photo.width, photo.height) < 0)
        return failed();
    for (int32_t i = 0; i < photo.height; ++i) {
        const int32_t r = upright ? photo.height - 1 - i : i;
        if (std::fwrite(photo.pixels.data() + static_cast<size_t>(r) * row, 1, row,
                        stream) != row)
            return failed();
    }
    if (std::fflush(stream) != 0) return failed();
    return Status::Ok();
}

Status WritePPMFile(const char* path, const Photo& photo, bool upright) {
    AtomicWriteFailure failure;
    const Status s = WriteFileAtomically(
        path, [&](std::FILE* stream) { return WritePPM(stream, photo, upright, path); },
        &failure);
    switch (failure.step) {
        case AtomicWriteFailure::Step::kNone:
        case AtomicWriteFailure::Step::kWrite:
            return s;
        case AtomicWriteFailure::Step::kCreate:
            if (failure.reason == "not a regular file")
                return Status::Error(
                    StrPrintf("[WritePPM]: cannot write %s: not a regular file\n", path));
            return Status::Error(
                StrPrintf("[WritePPM]: cannot open %s for writing\n", path));
        case AtomicWriteFailure::Step::kClose:
        case AtomicWriteFailure::Step::kRename:
            break;
    }
    return Status::Error(
        StrPrintf("[WritePPM]: cannot write %s: %s\n", path, failure.reason.c_str()));
}

Status ReadPPMFile(const char* path, Photo& photo, bool upright) {
    FilePtr f = OpenFile(path, "rb");
    if (!f) return Status::Error(StrPrintf("[ReadPPM]: cannot open %s\n", path));
    const Status bad =
        Status::Error(StrPrintf("[ReadPPM]: %s is not a binary PPM image\n", path));
    if (std::fgetc(f.get()) != 'P' || std::fgetc(f.get()) != '6') return bad;
    const long w = HeaderNumber(f.get()), h = HeaderNumber(f.get()),
               maxval = HeaderNumber(f.get());
    if (w <= 0 || h <= 0 || maxval != 255) return bad;
    Photo p;
    if (Status s = p.Alloc(static_cast<int32_t>(w), static_cast<int32_t>(h)); !s.ok())
        return bad;
    const size_t row = static_cast<size_t>(w) * 3;
    for (long i = 0; i < h; ++i) {
        const long r = upright ? h - 1 - i : i;
        if (std::fread(p.pixels.data() + static_cast<size_t>(r) * row, 1, row, f.get()) !=
            row)
            return bad;
    }
    p.x1 = static_cast<float>(w - 1);
    p.y1 = static_cast<float>(h - 1);
    photo = std::move(p);
    return Status::Ok();
}

}  // namespace lumo
