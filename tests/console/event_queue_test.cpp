#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "console/event_queue.h"
#include "console/timer.h"

namespace korvan::testing {
namespace {

// Events and messages from one thread arrive in the order that thread posted them.
TEST(EventQueueTest, KeepsEachPostersOrderOfEventsAndMessagesAcrossThreads) {
    EventQueue queue;
    constexpr int kPerThread = 2000;
    std::vector<std::thread> posters;
    for (int thread = 0; thread < 3; ++thread) {
        posters.emplace_back([&queue, thread] {
            for (int i = 0; i < kPerThread; ++i) {
                queue.PostEvent(thread * kPerThread + i);
                queue.PostMessage(Message(std::to_string(thread * kPerThread + i)));
            }
        });
    }
    std::vector<int> last(3, -1);
    std::vector<bool> messageDue(3, false);
    for (int received = 0; received < 2 * 3 * kPerThread; ++received) {
        const std::optional<Report> report = queue.WaitPop(std::chrono::seconds(5));
        ASSERT_TRUE(report.has_value());
        if (const int* code = std::get_if<int>(&*report)) {
            const auto thread = static_cast<std::size_t>(*code / kPerThread);
            EXPECT_FALSE(messageDue[thread]);
            EXPECT_GT(*code, last[thread]);
            last[thread] = *code;
            messageDue[thread] = true;
        } else {
            const int number = std::stoi(std::get<Message>(*report).text);
            const auto thread = static_cast<std::size_t>(number / kPerThread);
            EXPECT_TRUE(messageDue[thread]);
            EXPECT_EQ(number, last[thread]);
            messageDue[thread] = false;
        }
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
    queue.PostMessage(Message("box", "Caption", "why"));
    EXPECT_EQ(queue.size(), 2U);
    EXPECT_EQ(queue.TryPop(), Report(5));
    EXPECT_EQ(queue.WaitPop(std::chrono::milliseconds(10)), Report(Message("box", "Caption", "why")));
}

TEST(TimerQueueTest, RunsDueTasksInTimeOrderAndLeavesLaterOnes) {
    TimerQueue::Clock::time_point now{};
    TimerQueue timer([&] { return now; });
    std::vector<std::string> ran;
    timer.After(std::chrono::milliseconds(20), [&] { ran.push_back("b"); });
    timer.After(std::chrono::milliseconds(10), [&] { ran.push_back("a"); });
    timer.After(std::chrono::milliseconds(20), [&] {
        ran.push_back("c");
        // Added while running: waits for a later call even though it is already due.
        timer.After(std::chrono::milliseconds(0), [&] { ran.push_back("d"); });
    });
    EXPECT_EQ(timer.NextDue(), now + std::chrono::milliseconds(10));
    now += std::chrono::milliseconds(19);
    timer.RunDue();
    EXPECT_EQ(ran, (std::vector<std::string>{"a"}));
    now += std::chrono::milliseconds(1);
    timer.RunDue();
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "b", "c"}));
    timer.RunDue();
    EXPECT_EQ(ran, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_FALSE(timer.NextDue().has_value());
}

}  // namespace
}  // namespace korvan::testing
