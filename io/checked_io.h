// Checked binary input and output of big-endian numbers.
//
// lumo's binary files store multi-byte numbers big-endian and lumo runs on a
// little-endian host. cp_fread and cp_fwrite convert element by element between
// file order and host order; an element size of 1 passes bytes through
// unchanged. The conversion is unconditional: the files' exceptions (the
// little-endian trailers of deflate chunks, depth maps in either order) are
// read with plain reads or converted with cp_byteswap by their readers.
#pragma once

#include <cstddef>
#include <cstdio>

namespace lumo {

// Reverses the bytes of each of `count` consecutive elements of `size` bytes
// at `data`, in place. Size 1 or count 0 changes nothing.
void cp_byteswap(void* data, size_t size, size_t count);

// Reads up to `count` elements of `size` bytes from `stream` into `buffer` and
// converts exactly the elements read from big-endian to host order; a short
// read leaves the unread tail of the buffer untouched. Returns the number of
// whole elements read. Size 0 is a programming error: the program ends with
// "[cp_fread]: fread size < 1\n" and status 1.
size_t cp_fread(void* buffer, size_t size, size_t count, std::FILE* stream);

// Writes `count` elements of `size` bytes from `buffer` to `stream` in
// big-endian order. The buffer is reversed in place for the write and reversed
// back, so it holds host-order values again on return whatever the write
// returned. Returns the number of elements written. Size 0 ends the program
// with "[cp_fwrite]: fwrite size < 1\n" and status 1.
size_t cp_fwrite(void* buffer, size_t size, size_t count, std::FILE* stream);

}  // namespace lumo
