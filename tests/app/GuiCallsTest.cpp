#include "app/GuiCalls.h"

#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

TEST(GuiCalls, CallsFromOtherThreadsRunOnTheGuiThreadInTheirOrderEachInAnEventOfItsOwn)
{
    constexpr int kThreads = 2;
    constexpr int kCalls = 200;
    TGuiCalls calls;
    QueuedCallCounter counter;
    calls.installEventFilter(&counter);
    // Written only by the calls, so only on the GUI thread: a race detector sees that too.
    std::vector<std::pair<int, int>> ran;
    bool allOnGuiThread = true;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                calls.Post([&, t, i] {
                    allOnGuiThread = allOnGuiThread && QThread::currentThread() == calls.thread();
                    ran.emplace_back(t, i);
                });
            }
        });
    }
    for (std::thread& p : posters)
        p.join();
    EXPECT_TRUE(ran.empty()) << "nothing runs before the GUI thread takes its events";
    ASSERT_TRUE(WaitFor([&] {
        QCoreApplication::processEvents();
        return ran.size() == size_t(kThreads * kCalls);
    }));
    EXPECT_TRUE(allOnGuiThread);
    EXPECT_EQ(counter.calls, kThreads * kCalls);
    std::vector<int> next(kThreads, 0);
    for (const auto& [t, i] : ran) {
        EXPECT_EQ(i, next[size_t(t)]) << "thread " << t;
        next[size_t(t)] = i + 1;
    }
}

TEST(GuiCalls, ACallStillWaitingWhenTheQueueGoesNeverRunsAndIsFreed)
{
    auto captured = std::make_shared<int>(0);
    bool ran = false;
    {
        TGuiCalls calls;
        std::thread poster([&] { calls.Post([&ran, captured] { ran = true; }); });
        poster.join();
        EXPECT_EQ(captured.use_count(), 2);
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_EQ(captured.use_count(), 1);
}

} // namespace
