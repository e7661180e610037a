// Every test binary runs its death tests by re-running itself ("threadsafe")
// rather than by a bare fork: the image library starts worker threads when the
// program loads, and a forked child can wait forever on a lock one of them
// held.
#include <gtest/gtest.h>

namespace {

class ThreadsafeDeathTests : public ::testing::Environment {
  public:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

[[maybe_unused]] ::testing::Environment* const kThreadsafeDeathTests =
    ::testing::AddGlobalTestEnvironment(new ThreadsafeDeathTests);

}  // namespace
