#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "console/event_queue.h"

namespace korvan::testing {
namespace {

TEST(EventQueueTest, KeepsEachPostersOrderAcrossThreads) {
    EventQueue queue;
    constexpr int kPerThread = 2000;
    std::vector<std::thread> posters;
    for (int thread = 0; thread < 3; ++thread) {
        posters.emplace_back([&queue, thread] {
            for (int i = 0; i < kPerThread; ++i) {
                queue.PostEvent(thread * kPerThread + i);
            }
        });
    }
    std::vector<int> last(3, -1);
    int received = 0;
    while (received < 3 * kPerThread) {
        const std::optional<int> code = queue.WaitPop(std::chrono::seconds(5));
        ASSERT_TRUE(code.has_value());
        const int thread = *code / kPerThread;
        EXPECT_GT(*code, last[static_cast<std::size_t>(thread)]);
        last[static_cast<std::size_t>(thread)] = *code;
        ++received;
    }
    for (std::thread& poster : posters) {
        poster.join();
    }
    EXPECT_FALSE(queue.TryPop().has_value());
    EXPECT_EQ(queue.size(), 0U);
}

TEST(EventQueueTest, WaitTimesOutWhenNothingArrives) {
    EventQueue queue;
    EXPECT_FALSE(queue.WaitPop(std::chrono::milliseconds(10)).has_value());
    queue.PostEvent(5);
    queue.PostEvent(9);
    EXPECT_EQ(queue.size(), 2U);
    EXPECT_EQ(queue.TryPop(), 5);
    EXPECT_EQ(queue.WaitPop(std::chrono::milliseconds(10)), 9);
}

}  // namespace
}  // namespace korvan::testing
