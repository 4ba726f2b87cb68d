// The replay over time: day-trade protection on intraday bars, and never a look at a bar
// before it closed.
#include <gtest/gtest.h>

#include "../engine/tz_scope.hpp"
#include "backtest/replay.hpp"
#include "backtest/report.hpp"
#include "backtest/trades.hpp"
#include "history_builder.hpp"

namespace ostrel {
namespace {

using testing::add_bar;
using testing::eager_options;
using testing::one_symbol;
using testing::weekday_date;

/// 15-minute bars only: two quiet days, then an entry on day 3 and a jump over the target
/// two bars later, the price staying up for the rest of that day and the next.
backtest::SymbolHistory jump_on_entry_day() {
    backtest::SymbolHistory h;
    h.symbol = "TEST";
    const auto bar_at = [&](int day, int slot) {
        char text[32];
        std::snprintf(text, sizeof text, "%sT%02d:%02d", weekday_date(day).c_str(),
                      9 + (30 + 15 * slot) / 60, (30 + 15 * slot) % 60);
        return *backtest::intraday_close_ms(text);
    };
    for (int day = 0; day < 4; ++day) {
        for (int slot = 0; slot < 26; ++slot) {
            const int n = day * 26 + slot;
            double close = n % 2 == 0 ? 100.0 : 100.1;
            double open = n % 2 == 0 ? 100.1 : 100.0;
            if (day == 2 && slot == 13) open = 99.95;  // the entry opens under the limit
            if ((day == 2 && slot >= 15) || day == 3) open = close = 103.0;
            add_bar(h.intraday, bar_at(day, slot), open, std::max(open, close) + 0.1,
                    std::min(open, close) - 0.1, close);
        }
    }
    return h;
}

TEST(ReplayHistory, DayTradeProtectionHoldsASameDayScaleOutUntilTheNextDay) {
    // The rule compares the machine's local dates; pin them to the exchange's.
    const testing_support::TzScope zone("America/New_York");
    const backtest::History history = one_symbol(jump_on_entry_day(), 2 * 26 + 12);
    backtest::ReplayOptions open_rules = eager_options();
    open_rules.settings.enable_pdt_protection = false;
    const auto free = replay(history, open_rules);
    const auto held = replay(history, eager_options());

    const auto first_sell = [](const backtest::ReplayResult& r) {
        for (const backtest::FillRecord& f : r.fills) {
            if (f.side == "sell") return f;
        }
        return backtest::FillRecord{};
    };
    ASSERT_FALSE(free.fills.empty());
    ASSERT_FALSE(held.fills.empty());
    const std::string entry_day = backtest::date_text(free.fills.front().time_ms);
    EXPECT_EQ(entry_day, weekday_date(2));
    const backtest::FillRecord unprotected = first_sell(free);
    EXPECT_EQ(unprotected.reason, "scale 1/3 (target, keep runner)");
    EXPECT_EQ(backtest::date_text(unprotected.time_ms), entry_day);

    const backtest::FillRecord protected_sell = first_sell(held);
    ASSERT_FALSE(protected_sell.side.empty());
    EXPECT_EQ(protected_sell.reason.rfind("scale 1/3", 0), 0u) << protected_sell.reason;
    EXPECT_EQ(backtest::date_text(protected_sell.time_ms), weekday_date(3));
}

BarSeries until(const BarSeries& bars, std::int64_t t) {
    BarSeries out;
    for (const Bar& b : bars) {
        if (b.time <= t) out.push_back(b);
    }
    return out;
}

TEST(ReplayHistory, TradesBeforeTheCutAreTheSameWhetherTheHistoryEndsThereOrGoesOn) {
    const auto full = backtest::demo_history({"AAPL", "MSFT", "NVDA"}, 120, "2025-06-30");
    ASSERT_TRUE(full) << full.error();
    backtest::ReplayOptions options;
    const auto whole_run = replay(*full, options);
    const auto whole = backtest::build_trades(whole_run.fills);
    const BarSeries& days = full->symbols[0].daily;

    std::size_t compared = 0;
    for (std::size_t back : {90u, 70u, 50u, 30u, 10u}) {
        // Noon of a day: that day's daily bar closes later, so a peek at it shows.
        const std::int64_t cut = days[days.size() - back].time - 4 * 3600 * 1000;
        backtest::History cut_history = *full;
        for (backtest::SymbolHistory& h : cut_history.symbols) {
            h.daily = until(h.daily, cut);
            h.intraday = until(h.intraday, cut);
        }
        const auto cut_run = replay(cut_history, options);
        const auto shorter = backtest::build_trades(cut_run.fills);
        const auto before = [cut](const backtest::Trade& t) { return !t.open && t.exit_ms < cut; };
        ASSERT_EQ(std::count_if(whole.begin(), whole.end(), before),
                  std::count_if(shorter.begin(), shorter.end(), before));
        for (std::size_t i = 0; i < whole.size(); ++i) {
            if (!before(whole[i])) continue;
            const backtest::Trade& t = whole[i];
            const auto same = std::find_if(shorter.begin(), shorter.end(), [&](const auto& s) {
                return s.symbol == t.symbol && s.entry_ms == t.entry_ms;
            });
            ASSERT_NE(same, shorter.end()) << t.symbol << " " << backtest::time_text(t.entry_ms);
            EXPECT_EQ(same->exit_ms, t.exit_ms);
            EXPECT_EQ(same->qty, t.qty);
            EXPECT_EQ(same->exit_reasons, t.exit_reasons);
            EXPECT_EQ(std::llround(same->entry_price * 100), std::llround(t.entry_price * 100));
            EXPECT_EQ(std::llround(same->exit_price * 100), std::llround(t.exit_price * 100));
            EXPECT_EQ(std::llround(same->pnl * 100), std::llround(t.pnl * 100));
            ++compared;
        }
    }
    EXPECT_GE(compared, 30u);  // a comparison over a handful of trades would prove little
}

TEST(ReplayHistory, ASymbolWithoutIntradayBarsIsDrivenByItsDailyBars) {
    const auto history = backtest::demo_history({"AAPL"}, 60, "2025-06-30", false);
    ASSERT_TRUE(history);
    const auto result = replay(*history, backtest::ReplayOptions{});
    EXPECT_EQ(result.trigger_series.at("AAPL"), "daily fallback");
    EXPECT_EQ(result.curve.size(), 60u);
    const auto intraday = backtest::demo_history({"AAPL"}, 60, "2025-06-30");
    ASSERT_TRUE(intraday);
    EXPECT_EQ(replay(*intraday, backtest::ReplayOptions{}).trigger_series.at("AAPL"),
              "1H swing trigger");
}

}  // namespace
}  // namespace ostrel
