// The process's one pool of worker threads, for loops whose iterations are
// independent: the reconstruction's tiles, the image-set decoder's bands, the
// baker's views.
//
// Each index range is handed to exactly one thread, so the function must
// write disjoint outputs per index; results then do not depend on the number
// of threads. A call made from inside a running loop (a nested loop) runs on
// the calling thread, in index order.
#pragma once

#include <cstddef>
#include <functional>

namespace lumo {

// Runs fn(begin, end) over [0, count) in chunks of at most `grain` indices,
// taken by the calling thread and the workers in any order, on at most
// `threads` threads (0: ParallelThreads()). Returns when every chunk is done.
// Runs inline when one chunk covers the range or one thread is allowed.
void ParallelFor(size_t count, size_t grain,
                 const std::function<void(size_t, size_t)>& fn, int threads = 0);

// Calls fn(i) once for every i in [0, count), one index per chunk, as
// ParallelFor.
void ParallelForEach(size_t count, const std::function<void(size_t)>& fn,
                     int threads = 0);

// Runs fn(begin, end) over [0, count) split into `parts` contiguous ranges,
// parts = min(threads (0: ParallelThreads()), max_parts, count), range i being
// [count * i / parts, count * (i + 1) / parts). The calling thread runs range
// 0 (so it alone may report progress) and then helps with the others.
void ParallelForRanges(size_t count, int threads, size_t max_parts,
                       const std::function<void(size_t, size_t)>& fn);

// Threads a loop uses by default, the calling one included. Defaults to the
// machine's hardware threads; n < 1 means 1.
void SetParallelThreads(int n);
int ParallelThreads();

}  // namespace lumo
