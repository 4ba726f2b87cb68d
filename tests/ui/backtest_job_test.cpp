// The backtest view's background job: it hands back what the runner returned exactly once,
// turns a runner that throws into a failed run, and stops a long run when it is dropped.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "ui/backtest_view.hpp"

namespace ostrel::ui {
namespace {

using namespace std::chrono_literals;

void wait_for(const BacktestJob& job) {
    for (int i = 0; i < 400 && !job.finished(); ++i)
        std::this_thread::sleep_for(10ms);
}

TEST(BacktestJob, GivesTheOutcomeOnceWithTheProgressReported) {
    BacktestRequest request;
    request.symbols = {"AAPL", "MSFT"};
    BacktestJob job(
        [](const BacktestRequest& r, const BacktestProgress& progress, const std::atomic<bool>&) {
            progress(3, 4);
            BacktestOutcome out;
            out.ok = true;
            out.message = std::to_string(r.symbols.size()) + " symbols";
            out.trades.push_back({});
            return out;
        },
        request);
    wait_for(job);
    ASSERT_TRUE(job.finished());
    EXPECT_EQ(job.done(), 3u);
    EXPECT_EQ(job.total(), 4u);
    const auto out = job.take();
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->ok);
    EXPECT_EQ(out->message, "2 symbols");
    EXPECT_EQ(out->trades.size(), 1u);
    EXPECT_FALSE(job.take());
}

TEST(BacktestJob, ARunnerThatThrowsIsAFailedRun) {
    BacktestViewState state;
    state.job = std::make_shared<BacktestJob>(
        [](const BacktestRequest&, const BacktestProgress&,
           const std::atomic<bool>&) -> BacktestOutcome { throw std::runtime_error("no bars"); },
        BacktestRequest{});
    wait_for(*state.job);
    ASSERT_TRUE(collect_backtest(state));
    EXPECT_FALSE(state.job);
    ASSERT_TRUE(state.result);
    EXPECT_FALSE(state.result->ok);
    EXPECT_NE(state.result->message.find("no bars"), std::string::npos);
}

TEST(BacktestJob, DroppingARunningJobStopsItsRun) {
    std::atomic<bool> started{false};
    const auto begun = std::chrono::steady_clock::now();
    {
        BacktestJob job(
            [&](const BacktestRequest&, const BacktestProgress&, const std::atomic<bool>& cancel) {
                started = true;
                // A run of minutes unless it is asked to stop.
                for (int i = 0; i < 60000 && !cancel.load(); ++i)
                    std::this_thread::sleep_for(10ms);
                return BacktestOutcome{};
            },
            BacktestRequest{});
        while (!started)
            std::this_thread::sleep_for(1ms);
        EXPECT_FALSE(job.finished());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 30s);
}

}  // namespace
}  // namespace ostrel::ui
