// An owned C stream that closes itself.
#pragma once

#include <cstdio>
#include <memory>

namespace lumo {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};

using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

inline FilePtr OpenFile(const char* path, const char* mode) {
    return FilePtr(std::fopen(path, mode));
}

}  // namespace lumo
