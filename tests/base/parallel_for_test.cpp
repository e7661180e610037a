#include "base/parallel_for.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

namespace lumo {
namespace {

// Every index is handed out exactly once, whatever the thread count, grain
// and loop shape, and nested loops (which run inline) do the same.
TEST(ParallelForTest, EveryIndexRunsOnceForAnyThreadCount) {
    for (int threads : {0, 1, 2, 3, 7}) {
        for (size_t grain : {1u, 5u, 1000u}) {
            SCOPED_TRACE(testing::Message()
                         << "threads " << threads << " grain " << grain);
            std::vector<std::atomic<int>> calls(101);
            ParallelFor(
                calls.size(), grain,
                [&](size_t b, size_t e) {
                    for (size_t i = b; i < e; ++i)
                        ++calls[i];
                },
                threads);
            for (const std::atomic<int>& c : calls)
                EXPECT_EQ(1, c.load());

            std::vector<std::atomic<int>> each(37);
            ParallelForEach(
                each.size(), [&](size_t i) { ++each[i]; }, threads);
            for (const std::atomic<int>& c : each)
                EXPECT_EQ(1, c.load());
        }
    }
    ParallelFor(0, 1, [](size_t, size_t) { FAIL(); });
    ParallelForEach(0, [](size_t) { FAIL(); });
}

TEST(ParallelForTest, RangesAreContiguousAndTheCallerRunsTheFirst) {
    const std::thread::id caller = std::this_thread::get_id();
    for (int threads : {1, 2, 3, 16}) {
        SCOPED_TRACE(threads);
        const size_t count = 10;
        std::vector<std::atomic<int>> calls(count);
        std::atomic<bool> first_on_caller{false};
        std::atomic<int> ranges{0};
        ParallelForRanges(count, threads, 4, [&](size_t b, size_t e) {
            if (b == 0) first_on_caller = std::this_thread::get_id() == caller;
            ++ranges;
            for (size_t i = b; i < e; ++i)
                ++calls[i];
        });
        EXPECT_TRUE(first_on_caller.load());
        EXPECT_EQ(std::min(threads, 4), ranges.load());
        for (const std::atomic<int>& c : calls)
            EXPECT_EQ(1, c.load());
    }
}

TEST(ParallelForTest, NestedLoopsRunInline) {
    std::vector<std::atomic<int>> calls(8 * 8);
    ParallelForEach(
        8,
        [&](size_t outer) {
            const std::thread::id self = std::this_thread::get_id();
            ParallelForRanges(8, 4, 8, [&](size_t b, size_t e) {
                EXPECT_EQ(self, std::this_thread::get_id());
                for (size_t i = b; i < e; ++i)
                    ++calls[outer * 8 + i];
            });
        },
        2);
    for (const std::atomic<int>& c : calls)
        EXPECT_EQ(1, c.load());
}

// A child made by fork() (as a death test is) after the pool's workers have
// started has none of them; its loops must still finish.
TEST(ParallelForDeathTest, LoopsRunInAForkedChild) {
#ifdef LUMO_SANITIZED
    // There every program loads the image library at start-up (see the top
    // CMakeLists.txt), and a child forked with its threads about hangs.
    GTEST_SKIP() << "the sanitizer build forks with the image library loaded";
#endif
    ParallelFor(
        64, 1, [](size_t, size_t) {}, 2);  // the workers are running now
    GTEST_FLAG_SET(death_test_style, "fast");
    auto child = [] {
        std::atomic<int> calls{0};
        ParallelFor(
            64, 1, [&](size_t b, size_t e) { calls += static_cast<int>(e - b); }, 2);
        std::exit(calls == 64 ? 0 : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace lumo
