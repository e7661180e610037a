// A small pool of worker threads for the reconstruction's pixel loops.
//
// Work is split into chunks that the calling thread and the workers take in
// any order, so the function must write disjoint outputs per index and print
// nothing. Results therefore do not depend on the number of threads.
#pragma once

#include <cstddef>
#include <functional>

namespace lumo {

// Runs fn(begin, end) over [0, count) in chunks of at most `grain` indices and
// returns when every chunk is done. Runs inline when one chunk covers the
// range or only one thread is allowed.
void ParallelFor(size_t count, size_t grain,
                 const std::function<void(size_t, size_t)>& fn);

// Threads ParallelFor may use, the calling one included. Defaults to the
// machine's hardware threads; n < 1 means 1.
void SetParallelThreads(int n);
int ParallelThreads();

}  // namespace lumo
