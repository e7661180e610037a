#include "io/checked_io.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/fatal.h"

namespace lumo {
namespace {

constexpr size_t kStagingBytes = size_t{1} << 16;

uint16_t Swap(uint16_t v) {
    return __builtin_bswap16(v);
}
uint32_t Swap(uint32_t v) {
    return __builtin_bswap32(v);
}
uint64_t Swap(uint64_t v) {
    return __builtin_bswap64(v);
}

// Reverses `count` words of type W at `p` (any alignment). Whole runs of
// kRun words go through a fixed-length loop the compiler turns into vector
// byte shuffles (at -O2 too).
template <class W>
void SwapWords(unsigned char* p, size_t count) {
    constexpr size_t kRun = 64 / sizeof(W);
    auto swap_one = [](unsigned char* q) {
        W w;
        std::memcpy(&w, q, sizeof(W));
        w = Swap(w);
        std::memcpy(q, &w, sizeof(W));
    };
    size_t e = 0;
    for (; e + kRun <= count; e += kRun) {
        unsigned char* run = p + e * sizeof(W);
        for (size_t i = 0; i < kRun; ++i)
            swap_one(run + i * sizeof(W));
    }
    for (; e < count; ++e)
        swap_one(p + e * sizeof(W));
}

// The 4-byte case (every float and int of lumo's files) also comes as an
// AVX2 build, whose byte shuffles swap eight words at a time; the plain
// x86-64 build swaps one word per instruction.
#if defined(__x86_64__)
__attribute__((target_clones("avx2", "default")))
#endif
void SwapWords32(unsigned char* p, size_t count) {
    SwapWords<uint32_t>(p, count);
}

}  // namespace

void cp_byteswap(void* data, size_t size, size_t count) {
    auto* p = static_cast<unsigned char*>(data);
    switch (size) {
        case 0:
        case 1:
            return;
        case 2:
            return SwapWords<uint16_t>(p, count);
        case 4:
            return SwapWords32(p, count);
        case 8:
            return SwapWords<uint64_t>(p, count);
        default:
            for (size_t e = 0; e < count; ++e, p += size)
                std::reverse(p, p + size);
    }
}

size_t cp_fread(void* buffer, size_t size, size_t count, std::FILE* stream) {
    if (size == 0) Fatal("[cp_fread]: fread size < 1\n");
    if (size == 1) return std::fread(buffer, 1, count, stream);
    // Read through a staging block so that a short read delivers whole
    // elements only: the slot of a partly read element keeps what it held.
    auto* out = static_cast<unsigned char*>(buffer);
    const size_t chunk = std::max<size_t>(1, kStagingBytes / size);
    std::vector<unsigned char> staging(std::min(chunk, count) * size);
    size_t done = 0;
    while (done < count) {
        const size_t want = std::min(chunk, count - done);
        const size_t got = std::fread(staging.data(), 1, want * size, stream) / size;
        std::memcpy(out + done * size, staging.data(), got * size);
        cp_byteswap(out + done * size, size, got);
        done += got;
        if (got < want) break;
    }
    return done;
}

size_t cp_fwrite(void* buffer, size_t size, size_t count, std::FILE* stream) {
    if (size == 0) Fatal("[cp_fwrite]: fwrite size < 1\n");
    cp_byteswap(buffer, size, count);
    const size_t n = std::fwrite(buffer, size, count, stream);
    cp_byteswap(buffer, size, count);
    return n;
}

}  // namespace lumo
