// The request budget with an injected clock: caps, pauses, slices and header-driven caps.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "broker/request_budget.hpp"
#include "fake_steady.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::FakeSteady;

struct BudgetTest : ::testing::Test {
    FakeSteady clock;
    RequestBudget budget{clock.source()};

    void fill(RequestGroup group, int n) {
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(budget.acquire(group), 0);
    }
    bool all_slices_within(std::chrono::milliseconds lo, std::chrono::milliseconds hi) {
        const auto s = clock.sleeps();
        return std::all_of(s.begin(), s.end(), [&](auto d) { return d >= lo && d <= hi; });
    }
};

TEST(RequestClassify, GroupsByPathAndMethod) {
    EXPECT_EQ(classify("POST", "/markets/events/session"), RequestGroup::market);
    EXPECT_EQ(classify("GET", "/markets/quotes"), RequestGroup::market);
    EXPECT_EQ(classify("GET", "/accounts/VA1/orders/12"), RequestGroup::account);
    EXPECT_EQ(classify("DELETE", "/accounts/VA1/orders/12"), RequestGroup::trading);
    EXPECT_EQ(classify("PUT", "/accounts/VA1/orders/12"), RequestGroup::trading);
    EXPECT_EQ(classify("POST", "/accounts/VA1/orders"), RequestGroup::trading);
    EXPECT_EQ(classify("GET", "/user/profile"), RequestGroup::account);
    EXPECT_EQ(classify("post", "/accounts/VA1/orders"), RequestGroup::account);  // exact words
}

TEST_F(BudgetTest, FullGroupWaitsForItsOldestSendOthersProceed) {
    fill(RequestGroup::market, 90);
    clock.advance(30s);
    EXPECT_EQ(budget.acquire(RequestGroup::account), 0);
    EXPECT_TRUE(clock.sleeps().empty());

    EXPECT_EQ(budget.acquire(RequestGroup::market), 30000);
    EXPECT_TRUE(all_slices_within(20ms, 2000ms));
    EXPECT_EQ(clock.sleeps().size(), 15u);  // 30 s in 2 s slices
    EXPECT_EQ(budget.usage()[0].used, 1);   // the first batch has left the window
}

TEST_F(BudgetTest, PauseFromAvailableZeroHoldsEveryGroup) {
    budget.note_response(RequestGroup::market, 0, 1);
    EXPECT_EQ(budget.acquire(RequestGroup::trading), 0);  // 1 left: no pause

    budget.note_response(RequestGroup::market, 0, 0);
    clock.advance(500ms);
    // 1.5 s of pause left and room in the queue: still waits for the pause.
    EXPECT_EQ(budget.acquire(RequestGroup::account), 1500);
    EXPECT_EQ(clock.sleeps(), std::vector<FakeSteady::Clock::duration>{1500ms});
}

TEST_F(BudgetTest, BackOffPausesFiveSecondsInSlices) {
    budget.back_off();
    EXPECT_EQ(budget.acquire(RequestGroup::market), 5000);
    EXPECT_EQ(clock.sleeps(), (std::vector<FakeSteady::Clock::duration>{2000ms, 2000ms, 1000ms}));
}

TEST_F(BudgetTest, PauseEndsOnTimeForAGroupWithRoom) {
    fill(RequestGroup::market, 1);
    budget.back_off();
    EXPECT_EQ(budget.acquire(RequestGroup::market), 5000);
    // A full group waits for the later of the pause and its oldest send leaving the window.
    fill(RequestGroup::trading, 45);
    budget.back_off();
    EXPECT_EQ(budget.acquire(RequestGroup::trading), 60000);
}

TEST_F(BudgetTest, SleepsAreClampedTo20msAnd2s) {
    fill(RequestGroup::trading, 45);
    clock.advance(60s - 3ms);
    budget.acquire(RequestGroup::trading);
    EXPECT_EQ(clock.sleeps().front(), 20ms);

    clock.clear_sleeps();
    fill(RequestGroup::trading, 44);  // full again, all at one instant
    clock.advance(20s);
    budget.acquire(RequestGroup::trading);
    EXPECT_EQ(clock.sleeps().front(), 2000ms);
}

TEST_F(BudgetTest, HeadersOnlyLowerCapsAndNeverBelowEight) {
    budget.note_response(RequestGroup::market, 120, -1);
    budget.note_response(RequestGroup::trading, 60, -1);
    auto u = budget.usage();
    EXPECT_EQ(u[0].cap, 90);
    EXPECT_EQ(u[2].cap, 45);

    budget.note_response(RequestGroup::account, 0, -1);
    EXPECT_EQ(budget.usage()[1].cap, 90);
    budget.note_response(RequestGroup::account, 12, -1);
    EXPECT_EQ(budget.usage()[1].cap, 9);
    budget.note_response(RequestGroup::account, 10, -1);
    EXPECT_EQ(budget.usage()[1].cap, 8);
    budget.note_response(RequestGroup::account, 1000, -1);
    EXPECT_EQ(budget.usage()[1].cap, 8);  // comes back only through configure
    budget.note_response(RequestGroup::market, 2147483647, -1);
    EXPECT_EQ(budget.usage()[0].cap, 90);

    budget.configure(true);
    EXPECT_EQ(budget.usage()[1].cap, 90);
}

TEST_F(BudgetTest, SandboxCapsAndUsageLine) {
    budget.configure(false);
    fill(RequestGroup::market, 3);
    EXPECT_EQ(
        budget.usage_line(),
        "Lite REST budget this minute: market 3/45  account 0/45  trading 0/45  (SIP ticks do "
        "not count)");
    clock.advance(60s);
    EXPECT_EQ(budget.usage()[0].used, 0);
}

TEST(BudgetThreads, FourThreadsNeverExceedTheCapInAnyWindow) {
    FakeSteady clock;
    // Remember, per thread, the last instant the budget read: acquire returns right after
    // recording the instant it read last.
    static thread_local FakeSteady::Clock::time_point last_read;
    SteadySource source = clock.source();
    auto inner_now = source.now;
    source.now = [inner_now] { return last_read = inner_now(); };
    RequestBudget budget(source);

    std::mutex mutex;
    std::vector<FakeSteady::Clock::time_point> sends;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 40; ++i) {
                budget.acquire(RequestGroup::trading);
                std::lock_guard lock(mutex);
                sends.push_back(last_read);
            }
        });
    }
    for (auto& th : threads)
        th.join();
    ASSERT_EQ(sends.size(), 160u);
    std::sort(sends.begin(), sends.end());
    for (std::size_t i = 45; i < sends.size(); ++i) {
        // The 46th send counted from any send must come a full window later.
        EXPECT_GE(sends[i] - sends[i - 45], RequestBudget::kWindow) << "send " << i;
    }
}

}  // namespace
}  // namespace ostrel
