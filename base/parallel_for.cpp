#include "base/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace lumo {
namespace {

class WorkerPool {
  public:
    ~WorkerPool() { StopWorkers(); }

    void SetThreads(int n) {
        std::lock_guard<std::mutex> run(run_mu_);
        StopWorkers();
        threads_ = std::max(n, 1);
    }
    int Threads() {
        std::lock_guard<std::mutex> run(run_mu_);
        return threads_;
    }

    void Run(size_t count, size_t grain, const std::function<void(size_t, size_t)>& fn) {
        std::lock_guard<std::mutex> run(run_mu_);  // one job at a time
        if (grain == 0) grain = 1;
        if (threads_ <= 1 || count <= grain) {
            if (count > 0) fn(0, count);
            return;
        }
        StartWorkers();
        {
            std::lock_guard<std::mutex> lock(mu_);
            fn_ = &fn;
            count_ = count;
            grain_ = grain;
            next_.store(0);
            busy_ = static_cast<int>(workers_.size());
            ++generation_;
        }
        wake_.notify_all();
        Work();
        std::unique_lock<std::mutex> lock(mu_);
        done_.wait(lock, [this] { return busy_ == 0; });
        fn_ = nullptr;
    }

  private:
    // Called with no job posted: a new worker starts from the current
    // generation, so it takes part in the next job (which counts it as busy).
    void StartWorkers() {
        const size_t wanted = static_cast<size_t>(threads_ - 1);
        uint64_t generation = 0;
        {
            std::lock_guard<std::mutex> lock(mu_);
            generation = generation_;
        }
        while (workers_.size() < wanted)
            workers_.emplace_back([this, generation] { WorkerLoop(generation); });
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

    void WorkerLoop(uint64_t seen) {
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mu_);
                wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_) return;
                seen = generation_;
            }
            Work();
            std::lock_guard<std::mutex> lock(mu_);
            if (--busy_ == 0) done_.notify_one();
        }
    }

    void Work() {
        for (;;) {
            const size_t begin = next_.fetch_add(grain_);
            if (begin >= count_) return;
            (*fn_)(begin, std::min(begin + grain_, count_));
        }
    }

    std::mutex run_mu_;
    int threads_ = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    std::vector<std::thread> workers_;

    std::mutex mu_;
    std::condition_variable wake_;
    std::condition_variable done_;
    bool stop_ = false;
    uint64_t generation_ = 0;
    int busy_ = 0;
    const std::function<void(size_t, size_t)>* fn_ = nullptr;
    size_t count_ = 0;
    size_t grain_ = 1;
    std::atomic<size_t> next_{0};
};

WorkerPool& Pool() {
    static WorkerPool pool;
    return pool;
}

}  // namespace

void ParallelFor(size_t count, size_t grain,
                 const std::function<void(size_t, size_t)>& fn) {
    Pool().Run(count, grain, fn);
}

void SetParallelThreads(int n) {
    Pool().SetThreads(n);
}

int ParallelThreads() {
    return Pool().Threads();
}

}  // namespace lumo
