// Prints the whole analysis of a few hundred seeded random tickers, every number in hex float
// (%a), so two builds can be compared bit for bit with a plain diff:
//
//   analysis_dump > before.txt   (on one build)
//   analysis_dump > after.txt    (on the other)
//   diff before.txt after.txt
//
// `analysis_dump COUNT miss` runs every analysis with a fresh daily cache, `analysis_dump
// COUNT hit` with one already filled from the same bars; both must print what no cache does.
//
// The tickers vary the series lengths (too short, just enough, long), fetch failures, flat
// stretches, zero volumes, trends, the mark, the indicator period and the market backdrop.
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <type_traits>

#include "committees/analysis.hpp"
#include "market/snapshot.hpp"
#include "market/timeframes.hpp"

namespace {

using namespace ostrel;

BarSeries walk(std::mt19937& rng, std::size_t n, double start, double sigma, double drift) {
    std::normal_distribution<double> step(drift, sigma);
    std::uniform_real_distribution<double> wick(0.0, sigma / 2);
    std::uniform_real_distribution<double> vol(5e4, 2e5);
    std::uniform_int_distribution<int> odd(0, 99);
    BarSeries out;
    double prev = start;
    for (std::size_t i = 0; i < n; ++i) {
        const int roll = odd(rng);
        double close = prev * (1.0 + step(rng));
        if (roll < 4) close = prev;                         // a flat bar
        if (roll == 4) close = prev * (1.0 + 6.0 * sigma);  // a jump up
        if (roll == 5) close = prev * (1.0 - 6.0 * sigma);  // a jump down
        double high = std::max(prev, close) * (1.0 + (roll < 4 ? 0.0 : wick(rng)));
        double low = std::min(prev, close) * (1.0 - (roll < 4 ? 0.0 : wick(rng)));
        const double open = roll == 6 ? low : (roll == 7 ? high : prev);
        const double volume = roll == 8 ? 0.0 : vol(rng) * (roll == 9 ? 5.0 : 1.0);
        out.push_back(Bar{static_cast<std::int64_t>(i) * 900, open, high, low, close, volume});
        prev = close;
    }
    return out;
}

template <class T>
void word(const char* name, const T& value) {
    if constexpr (std::is_convertible_v<T, std::string>) {
        std::printf(" %s=%s", name, std::string(value).c_str());
    } else {
        std::printf(" %s=%d", name, static_cast<int>(value));
    }
}

void num(const char* name, double v) {
    std::printf(" %s=%a", name, v);
}

void dump(const char* title, const IndicatorSnapshot& s) {
    std::printf("%s valid=%d", title, s.valid ? 1 : 0);
    num("rsi", s.rsi);
    num("rsi_fast", s.rsi_fast);
    num("macd", s.macd);
    num("macd_signal", s.macd_signal);
    num("macd_hist", s.macd_hist);
    num("macd_hist_prev", s.macd_hist_prev);
    num("stoch_k", s.stoch_k);
    num("stoch_d", s.stoch_d);
    num("williams_r", s.williams_r);
    num("atr", s.atr);
    num("adx", s.adx);
    num("plus_di", s.plus_di);
    num("minus_di", s.minus_di);
    num("rvol", s.rvol);
    num("rvol_fast", s.rvol_fast);
    num("kalman", s.kalman);
    num("hurst", s.hurst);
    num("entropy", s.entropy);
    num("flow_toxicity", s.flow_toxicity);
    num("sma50", s.sma50);
    num("sma200", s.sma200);
    num("bb_upper", s.bb_upper);
    num("bb_lower", s.bb_lower);
    num("pct_b", s.pct_b);
    num("coherence", s.coherence);
    word("squeeze", s.squeeze);
    word("three_bar", s.three_bar);
    word("dragon", s.dragon);
    word("wolfe", s.wolfe);
    word("qm", s.qm_level);
    word("flags", s.coherence_flags);
    std::printf(" absorption=%d pocket=%d sweep=%d\n", s.absorption ? 1 : 0, s.pocket_pivot ? 1 : 0,
                s.sweep_reclaim ? 1 : 0);
    for (const PriceZone& z : s.zones)
        std::printf("  zone %s %a %a\n", z.kind.c_str(), z.upper, z.lower);
}

void dump(const FinalDecision& d) {
    std::printf("decision");
    num("momentum", d.momentum_score);
    num("trend", d.trend_score);
    num("volatility", d.volatility_score);
    num("flow", d.flow_score);
    num("pattern", d.pattern_score);
    num("macro", d.macro_score);
    word("l1", d.momentum_label);
    word("l2", d.trend_label);
    word("l3", d.volatility_label);
    word("l4", d.flow_label);
    word("l5", d.pattern_label);
    word("l6", d.macro_label);
    num("final", d.final);
    word("action", d.action);
    word("window", d.window);
    std::printf(" votes=%d/%d/%d", d.bulls, d.bears, d.neutrals);
    num("size", d.size_mult);
    std::printf(" trigger=%d permission=%d\n", d.trigger ? 1 : 0, d.permission ? 1 : 0);
    for (const std::string& r : d.reasons)
        std::printf("  reason %s\n", r.c_str());
    std::printf("  thesis %s\n  setup %s\n  logic %s\n  risk %s\n", d.thesis.c_str(),
                d.setup.c_str(), d.logic.c_str(), d.risk.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 400;
    const std::string mode = argc > 2 ? argv[2] : "";
    std::mt19937 rng(20261210);
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const char* regimes[] = {"UNKNOWN", "BULL", "BEAR", "RISK_ON", "RISK_OFF"};
    const char* gammas[] = {"NEUTRAL", "POSITIVE_GAMMA", "NEGATIVE_GAMMA"};
    for (int t = 0; t < count; ++t) {
        auto length = [&](std::size_t cap) -> std::size_t {
            const int r = pick(rng);
            if (r < 5) return 0;
            if (r < 10) return 19 + static_cast<std::size_t>(pick(rng) % 3);
            if (r < 15) return 76 + static_cast<std::size_t>(pick(rng) % 10);
            if (r < 20) return 99 + static_cast<std::size_t>(pick(rng) % 3);
            return static_cast<std::size_t>(unit(rng) * static_cast<double>(cap));
        };
        const double sigma = 0.001 + unit(rng) * 0.02;
        const double drift = (unit(rng) - 0.4) * sigma;
        BarSeries quarter = walk(rng, length(1300), 5.0 + unit(rng) * 300.0, sigma, drift);
        const BarSeries five = walk(rng, length(400), 5.0 + unit(rng) * 300.0, sigma, drift);
        BarSeries daily = walk(rng, length(700), 5.0 + unit(rng) * 300.0, sigma * 3.0, drift * 2.0);
        // Now and then a bad print: a missing close or an infinite high somewhere.
        auto poison = [&](BarSeries& bars) {
            if (bars.empty() || pick(rng) >= 6) return;
            Bar& b = bars[static_cast<std::size_t>(pick(rng)) % bars.size()];
            if (pick(rng) < 50) {
                b.close = std::nan("");
            } else {
                b.high = HUGE_VAL;
            }
        };
        poison(quarter);
        poison(daily);
        const bool quarter_fails = pick(rng) < 10;
        const bool daily_fails = pick(rng) < 5;
        const TriggerSelection sel = select_trigger_series(
            [&](std::string_view interval) -> std::expected<BarSeries, std::string> {
                if (interval == "15min") {
                    if (quarter_fails) return std::unexpected(std::string("down"));
                    return quarter;
                }
                return five;
            },
            [&]() -> std::expected<BarSeries, std::string> {
                if (daily_fails) return std::unexpected(std::string("down"));
                return daily;
            });
        Settings settings;
        if (pick(rng) < 20) settings.indicator_period = 2.0 + pick(rng) % 29;
        if (pick(rng) < 10) settings.enable_hurst_filter = false;
        MarketContext market;
        market.regime = regimes[pick(rng) % 5];
        market.gamma = gammas[pick(rng) % 3];
        market.pc1 = unit(rng);
        const double mark = pick(rng) < 30 ? 0.0 : (quarter.empty() ? 50.0 : quarter.back().close);
        const std::string symbol = "T" + std::to_string(t);
        DailyAnalysisCache cache;
        if (mode == "hit") analyze_ticker(sel, mark, market, symbol, settings, &cache);
        const TickerAnalysis a =
            analyze_ticker(sel, mark, market, symbol, settings, mode.empty() ? nullptr : &cache);
        std::printf("== %s scored=%d note=%s strategy=%.*s", symbol.c_str(), a.scored ? 1 : 0,
                    a.trigger_note.c_str(), static_cast<int>(a.strategy.size()), a.strategy.data());
        num("price", a.price);
        std::printf(" four_hour=%d sweep4=%d gaps4=%zu\n", sel.has_four_hour ? 1 : 0,
                    sel.four_hour_sweep ? 1 : 0, sel.four_hour_gaps.size());
        dump("trigger", a.trigger_snapshot);
        dump("daily", a.daily_snapshot);
        dump(a.decision);
    }
    return 0;
}
