#include "bake/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace lumo::tool {

void ParallelFor(int count, const std::function<void(int)>& work, int threads) {
    if (count <= 0) return;
    int n = threads > 0 ? threads : static_cast<int>(std::thread::hardware_concurrency());
    n = std::clamp(n, 1, count);
    std::atomic<int> next{0};
    auto run = [&]() {
        for (int i = next++; i < count; i = next++)
            work(i);
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<size_t>(n - 1));
    for (int t = 1; t < n; ++t)
        pool.emplace_back(run);
    run();
    for (std::thread& t : pool)
        t.join();
}

}  // namespace lumo::tool
