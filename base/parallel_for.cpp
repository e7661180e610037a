#include "base/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <pthread.h>

namespace lumo {
namespace {

// Set on every thread while it works on a loop, so nested loops run inline.
thread_local bool t_in_loop = false;

class InLoop {
  public:
    InLoop() { t_in_loop = true; }
    ~InLoop() { t_in_loop = false; }
};

int HardwareThreads() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

class WorkerPool {
  public:
    ~WorkerPool() { StopWorkers(); }

    void SetThreads(int n) {
        std::lock_guard<std::mutex> run(run_mu_);
        threads_ = std::max(n, 1);
    }
    int Threads() {
        std::lock_guard<std::mutex> run(run_mu_);
        return threads_;
    }

    // Runs chunks [0, chunks) of fn_chunk on up to `threads` threads; with
    // caller_first the calling thread runs chunk 0 before taking others.
    void Run(size_t chunks, int threads, bool caller_first,
             const std::function<void(size_t)>& fn_chunk) {
        if (chunks == 0) return;
        std::lock_guard<std::mutex> run(run_mu_);  // one loop at a time
        const int wanted = threads > 0 ? threads : threads_;
        const int usable = static_cast<int>(
            std::min<size_t>(chunks, static_cast<size_t>(std::max(wanted, 1))));
        if (usable > 1) StartWorkers(static_cast<size_t>(usable - 1));
        const int helpers = std::min(usable - 1, static_cast<int>(workers_.size()));
        InLoop in_loop;
        if (helpers <= 0) {
            for (size_t c = 0; c < chunks; ++c)
                fn_chunk(c);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mu_);
            fn_ = &fn_chunk;
            chunks_ = chunks;
            next_.store(caller_first ? 1 : 0);
            helpers_ = helpers;
            busy_ = static_cast<int>(workers_.size());
            ++generation_;
        }
        wake_.notify_all();
        if (caller_first) fn_chunk(0);
        Work();
        std::unique_lock<std::mutex> lock(mu_);
        done_.wait(lock, [this] { return busy_ == 0; });
        fn_ = nullptr;
    }

  private:
    // Called with no loop posted: a new worker starts from the current
    // generation, so it takes part in the next loop (which counts it as busy).
    // A worker the system refuses to start leaves the pool smaller.
    void StartWorkers(size_t wanted) {
        uint64_t generation = 0;
        {
            std::lock_guard<std::mutex> lock(mu_);
            generation = generation_;
        }
        while (workers_.size() < wanted) {
            const int index = static_cast<int>(workers_.size());
            try {
                workers_.emplace_back(
                    [this, generation, index] { WorkerLoop(generation, index); });
            } catch (const std::system_error&) {
                return;
            }
        }
    }

    void StopWorkers() {
        {
            std::lock_guard<std::mutex> lock(mu_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_)
            t.join();
        workers_.clear();
        stop_ = false;
    }

    void WorkerLoop(uint64_t seen, int index) {
        t_in_loop = true;
        for (;;) {
            bool helps = false;
            {
                std::unique_lock<std::mutex> lock(mu_);
                wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_) return;
                seen = generation_;
                helps = index < helpers_;
            }
            if (helps) Work();
            std::lock_guard<std::mutex> lock(mu_);
            if (--busy_ == 0) done_.notify_one();
        }
    }

    void Work() {
        for (;;) {
            const size_t c = next_.fetch_add(1);
            if (c >= chunks_) return;
            (*fn_)(c);
        }
    }

    std::mutex run_mu_;
    int threads_ = HardwareThreads();
    std::vector<std::thread> workers_;

    std::mutex mu_;
    std::condition_variable wake_;
    std::condition_variable done_;
    bool stop_ = false;
    uint64_t generation_ = 0;
    int busy_ = 0;
    int helpers_ = 0;
    const std::function<void(size_t)>* fn_ = nullptr;
    size_t chunks_ = 0;
    std::atomic<size_t> next_{0};
};

// The pool lives for the whole run (its workers end with the process). A
// child made by fork() has none of the parent's workers, only their records:
// it starts over with a pool of its own and leaves the old one untouched.
WorkerPool* g_pool = nullptr;
std::once_flag g_pool_once;

WorkerPool& Pool() {
    std::call_once(g_pool_once, [] {
        g_pool = new WorkerPool;
        pthread_atfork(nullptr, nullptr, [] { g_pool = new WorkerPool; });
    });
    return *g_pool;
}

}  // namespace

void ParallelFor(size_t count, size_t grain,
                 const std::function<void(size_t, size_t)>& fn, int threads) {
    if (count == 0) return;
    if (grain == 0) grain = 1;
    if (t_in_loop || count <= grain || threads == 1) {
        fn(0, count);
        return;
    }
    const size_t chunks = (count + grain - 1) / grain;
    Pool().Run(chunks, threads, false,
               [&](size_t c) { fn(c * grain, std::min(count, (c + 1) * grain)); });
}

void ParallelForEach(size_t count, const std::function<void(size_t)>& fn, int threads) {
    ParallelFor(
        count, 1,
        [&](size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i)
                fn(i);
        },
        threads);
}

void ParallelForRanges(size_t count, int threads, size_t max_parts,
                       const std::function<void(size_t, size_t)>& fn) {
    size_t parts = static_cast<size_t>(threads > 0 ? threads : ParallelThreads());
    parts = std::clamp<size_t>(parts, 1, std::max<size_t>(1, std::min(count, max_parts)));
    auto range = [&](size_t i) { fn(count * i / parts, count * (i + 1) / parts); };
    if (t_in_loop || parts == 1) {
        for (size_t i = 0; i < parts; ++i)
            range(i);
        return;
    }
    Pool().Run(parts, static_cast<int>(parts), true, range);
}

void SetParallelThreads(int n) {
    Pool().SetThreads(n);
}

int ParallelThreads() {
    return Pool().Threads();
}

}  // namespace lumo
