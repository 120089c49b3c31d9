#include "platform/busy_wait.h"

#include <chrono>
#include <gtest/gtest.h>

namespace zelk {
namespace {

// A wait that ends early lets the next flash byte arrive while the chip is still
// programming, so every requested wait must have fully passed on return.
TEST(BusyWait, NeverReturnsBeforeTheRequestedTime) {
    using Clock = std::chrono::steady_clock;
    for (std::int64_t us : {1, 10, 250, 4000}) {
        const auto start = Clock::now();
        BusyWaitUs(us);
        const auto elapsed = Clock::now() - start;
        EXPECT_GE(elapsed, std::chrono::microseconds(us)) << us << " us";
    }
}

TEST(BusyWait, ZeroAndNegativeReturnAtOnce) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    BusyWaitUs(0);
    BusyWaitUs(-2'000'000);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
}

} // namespace
} // namespace zelk
