#include "base/mapped_file.h"

#include <sys/mman.h>

#include <cerrno>

namespace lumo {

std::shared_ptr<const MappedFile> MappedFile::Map(int fd, size_t size) {
    if (size == 0) {
        errno = EINVAL;
        return nullptr;
    }
    void* p = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) return nullptr;
    return std::shared_ptr<const MappedFile>(
        new MappedFile(static_cast<const uint8_t*>(p), size));
}

MappedFile::~MappedFile() {
    if (data_ != nullptr) munmap(const_cast<uint8_t*>(data_), size_);
}

}  // namespace lumo
