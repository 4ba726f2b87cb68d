// A replay asked to stop ends at the next bar's instant with what it replayed so far.
#include <gtest/gtest.h>

#include "backtest/history.hpp"
#include "backtest/replay.hpp"

namespace ostrel {
namespace {

TEST(ReplayCancel, StopsOnceAskedAndKeepsWhatWasReplayed) {
    const auto history = backtest::demo_history({"AAPL", "MSFT"}, 30, "2025-12-31");
    ASSERT_TRUE(history) << history.error();
    const backtest::ReplayResult whole = backtest::replay(*history, {});

    std::atomic<bool> cancel{false};
    backtest::ReplayOptions options;
    options.cancel = &cancel;
    std::size_t seen = 0;
    options.progress = [&](std::size_t done, std::size_t) {
        seen = done;
        cancel = true;
    };
    const backtest::ReplayResult part = backtest::replay(*history, options);
    EXPECT_GT(whole.evaluations, 0u);
    EXPECT_LT(part.evaluations, whole.evaluations);
    EXPECT_GE(part.evaluations, seen);
    EXPECT_LT(part.curve.size(), whole.curve.size());
    // Every day replayed before the stop is the day the whole run had.
    for (std::size_t i = 0; i < part.curve.size(); ++i) {
        EXPECT_EQ(part.curve[i].time_ms, whole.curve[i].time_ms);
        EXPECT_DOUBLE_EQ(part.curve[i].equity, whole.curve[i].equity);
    }

    cancel = true;
    options.progress = nullptr;
    EXPECT_EQ(backtest::replay(*history, options).evaluations, 0u);
}

}  // namespace
}  // namespace ostrel
