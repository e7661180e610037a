// A whole file mapped read-only into memory, unmapped when the object goes.
//
// The pages are the page cache's own: mapping costs no copy and no fresh
// memory, several processes mapping one file share its pages, and the kernel
// reads a page in when it is first touched and may drop it again under
// memory pressure (it is clean: the file holds it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace lumo {

class MappedFile {
  public:
    // Maps the regular file open on `fd` (which may be closed afterwards),
    // `size` bytes from its start. Null, with errno set, when the system
    // refuses or `size` is 0.
    static std::shared_ptr<const MappedFile> Map(int fd, size_t size);

    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    MappedFile(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace lumo
