// Report figures: returns, drawdown, risk-adjusted ratios and trade statistics.
#include "backtest/figures.hpp"

#include <cmath>
#include <limits>
#include <utility>

namespace ostrel::backtest {

namespace {

constexpr double kTradingDaysPerYear = 252.0;
constexpr double kDayMs = 86'400'000.0;

}  // namespace

Figures compute_figures(const std::vector<EquityPoint>& curve, const std::vector<Trade>& trades,
                        double start_equity) {
    Figures f;
    f.start_equity = start_equity;
    f.end_equity = start_equity;
    if (!curve.empty()) {
        f.start_ms = curve.front().time_ms;
        f.end_ms = curve.back().time_ms;
        f.end_equity = curve.back().equity;
    }
    if (start_equity > 0.0) f.total_return = f.end_equity / start_equity - 1.0;
    // Calendar days from the eve of the first day to the last day.
    const double days = curve.empty() ? 0.0 : (f.end_ms - f.start_ms) / kDayMs + 1.0;
    if (days > 0.0 && start_equity > 0.0 && f.end_equity > 0.0) {
        f.cagr = std::pow(f.end_equity / start_equity, 365.25 / days) - 1.0;
    }

    // Drawdown and daily returns, the account before the first day counting as day zero.
    double peak = start_equity;
    std::int64_t peak_ms = f.start_ms;
    double previous = start_equity;
    std::vector<double> returns;
    for (const EquityPoint& p : curve) {
        if (p.equity > peak) {
            peak = p.equity;
            peak_ms = p.time_ms;
        }
        const double dd = peak > 0.0 ? (peak - p.equity) / peak : 0.0;
        if (dd > f.max_drawdown) {
            f.max_drawdown = dd;
            f.drawdown_peak_ms = peak_ms;
            f.drawdown_trough_ms = p.time_ms;
        }
        if (previous > 0.0) returns.push_back(p.equity / previous - 1.0);
        previous = p.equity;
    }
    if (returns.size() >= 2) {
        double mean = 0.0;
        for (double r : returns)
            mean += r;
        mean /= static_cast<double>(returns.size());
        double var = 0.0, down = 0.0;
        for (double r : returns) {
            var += (r - mean) * (r - mean);
            if (r < 0.0) down += r * r;
        }
        const double sd = std::sqrt(var / static_cast<double>(returns.size() - 1));
        const double dd = std::sqrt(down / static_cast<double>(returns.size()));
        if (sd > 0.0) f.sharpe = mean / sd * std::sqrt(kTradingDaysPerYear);
        if (dd > 0.0) f.sortino = mean / dd * std::sqrt(kTradingDaysPerYear);
    }

    double gross_win = 0.0, gross_loss = 0.0, r_sum = 0.0;
    int wins = 0, losses = 0, streak = 0;
    for (const Trade& t : trades) {
        if (t.open) continue;
        ++f.trade_count;
        r_sum += t.r_multiple;
        if (t.pnl > 0.0) {
            ++wins;
            gross_win += t.pnl;
            streak = 0;
        } else {
            if (t.pnl < 0.0) {
                ++losses;
                gross_loss -= t.pnl;
            }
            streak = t.pnl < 0.0 ? streak + 1 : 0;
            f.longest_losing_streak = std::max(f.longest_losing_streak, streak);
        }
    }
    if (f.trade_count > 0) {
        f.win_rate = static_cast<double>(wins) / f.trade_count;
        f.expectancy = (gross_win - gross_loss) / f.trade_count;
        f.average_r = r_sum / f.trade_count;
    }
    if (wins > 0) f.average_win = gross_win / wins;
    if (losses > 0) f.average_loss = -gross_loss / losses;
    f.profit_factor = gross_loss > 0.0  ? gross_win / gross_loss
                      : gross_win > 0.0 ? std::numeric_limits<double>::infinity()
                                        : 0.0;

    // A day counts as exposed when any trade, closed or open, spans it.
    std::vector<std::pair<std::string, std::string>> spans;
    for (const Trade& t : trades) {
        spans.emplace_back(date_text(t.entry_ms), date_text(t.open ? f.end_ms : t.exit_ms));
    }
    int exposed = 0;
    for (const EquityPoint& p : curve) {
        const std::string day = date_text(p.time_ms);
        for (const auto& [first, last] : spans) {
            if (first <= day && day <= last) {
                ++exposed;
                break;
            }
        }
    }
    if (!curve.empty()) f.exposure = static_cast<double>(exposed) / curve.size();
    return f;
}

BuyAndHold buy_and_hold(const SymbolHistory& h, std::int64_t first_ms, std::int64_t last_ms) {
    BuyAndHold out;
    out.symbol = h.symbol;
    const Bar* first = nullptr;
    const Bar* last = nullptr;
    for (const Bar& b : h.daily) {
        if (b.time >= first_ms && b.time <= last_ms + 1) {
            if (!first) first = &b;
            last = &b;
        }
    }
    if (first && last && first->open > 0.0) {
        out.total_return = last->close / first->open - 1.0;
        out.known = true;
    }
    return out;
}

}  // namespace ostrel::backtest
