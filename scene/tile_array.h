// The blocks a BrdfImage keeps its tiles in (scene/brdf_image.h): either
// memory of its own or a read-only view of memory something else keeps alive
// (a mapped coefficient cache, relight/brdf_cache.h). The reconstruction reads
// both alike, through data() and the index.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "base/prefault.h"

namespace lumo {

// A block of T that owns its memory (64-byte aligned, so that a tile's rows of
// kShLanes floats never straddle more cache lines than they must) or views
// someone else's. A block is written in full once allocated, so allocating
// does not clear it, and a large block's pages are mapped in one go
// (PrefaultForWrite). Moving keeps the elements where they are, so pointers
// into the block stay valid.
template <class T>
class TileArray {
  public:
    using value_type = T;
    using size_type = size_t;
    using iterator = T*;
    using const_iterator = const T*;

    static constexpr std::align_val_t kAlign{64};

    TileArray() = default;
    TileArray(const TileArray&) = delete;
    TileArray& operator=(const TileArray&) = delete;
    TileArray(TileArray&& o) noexcept
        : data_(std::exchange(o.data_, nullptr)),
          size_(std::exchange(o.size_, 0)),
          owned_(std::exchange(o.owned_, false)),
          keep_(std::move(o.keep_)) {}
    TileArray& operator=(TileArray&& o) noexcept {
        if (this != &o) {
            Release();
            data_ = std::exchange(o.data_, nullptr);
            size_ = std::exchange(o.size_, 0);
            owned_ = std::exchange(o.owned_, false);
            keep_ = std::move(o.keep_);
        }
        return *this;
    }
    ~TileArray() { Release(); }

    // Replaces the contents by n elements of fresh memory of its own, not
    // cleared. Throws std::bad_alloc (the block is then empty).
    void Allocate(size_t n) {
        Release();
        if (n == 0) return;
        if (n > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        data_ = static_cast<T*>(::operator new(n * sizeof(T), kAlign));
        PrefaultForWrite(data_, n * sizeof(T));
        size_ = n;
        owned_ = true;
    }

    // Replaces the contents by a view of n elements at `data`, which `keep`
    // keeps alive as long as this block (or a block moved from it) needs them.
    // The view is read-only: writing through data() is an error (a mapping's
    // pages fault).
    void View(const T* data, size_t n, std::shared_ptr<const void> keep) {
        Release();
        data_ = const_cast<T*>(data);
        size_ = n;
        keep_ = std::move(keep);
    }

    // Whether the elements are a view of memory the block does not own.
    bool is_view() const { return keep_ != nullptr; }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](size_t i) { return data_[i]; }
    const T& operator[](size_t i) const { return data_[i]; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }

    friend bool operator==(const TileArray& a, const TileArray& b) {
        return a.size_ == b.size_ && std::equal(a.begin(), a.end(), b.begin());
    }

  private:
    void Release() {
        if (owned_) ::operator delete(data_, kAlign);
        data_ = nullptr;
        size_ = 0;
        owned_ = false;
        keep_.reset();
    }

    T* data_ = nullptr;
    size_t size_ = 0;
    bool owned_ = false;
    std::shared_ptr<const void> keep_;
};

}  // namespace lumo
