// Runs independent pieces of work on every core.
#pragma once

#include <functional>

namespace lumo::tool {

// Calls work(i) once for every i in 0..count-1, spread over the machine's
// cores (at most `threads` of them when threads > 0). Calls may run in any
// order and at the same time, so each must write only its own results;
// results are then the same whatever the number of threads. Returns when all
// calls have returned.
void ParallelFor(int count, const std::function<void(int)>& work, int threads = 0);

}  // namespace lumo::tool
