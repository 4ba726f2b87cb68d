// The copies the user interface reads every frame: account strip, Monitor rows, holdings.
#include <algorithm>

#include "engine/engine.hpp"
#include "market/timeframes.hpp"

namespace ostrel {

AccountSummary Engine::account_summary() const {
    AccountSummary sum;
    std::lock_guard lock(mutex_);
    sum.equity = account_.equity;
    sum.cash = account_.cash;
    sum.buying_power = account_.buying_power > 0.0 ? account_.buying_power : account_.cash;
    for (const auto& [ticker, state] : states_) {
        double mark = mark_price(client_.cached_quote(ticker));
        if (!(mark > 0.0)) mark = state.last_price;
        sum.realized_pnl += state.realized_pnl;
        if (state.qty > 0) {
            if (!(mark > 0.0)) mark = state.avg_price;
            sum.holdings_at_mark += state.qty * mark;
            sum.holdings_at_cost += state.qty * state.avg_price;
            if (mark > 0.0 && state.avg_price > 0.0) {
                sum.open_pnl += (mark - state.avg_price) * state.qty;
            }
        }
    }
    sum.total_pnl = sum.realized_pnl + sum.open_pnl;
    if (!(sum.equity > 0.0)) sum.equity = sum.holdings_at_mark + sum.cash;
    sum.risk_budget = settings_.max_dollar_risk_pct / 100.0 * sum.equity;
    sum.position_cap =
        settings_.max_position_pct > 0.0 ? settings_.max_position_pct / 100.0 * sum.equity : 0.0;
    return sum;
}

std::vector<SymbolState> Engine::monitor_rows() const {
    std::vector<SymbolState> rows;
    {
        std::lock_guard lock(mutex_);
        rows.reserve(states_.size());
        for (const auto& [ticker, state] : states_) {
            rows.push_back(state);
            rows.back().symbol = ticker;
        }
    }
    for (SymbolState& row : rows) {
        const double mark = mark_price(client_.cached_quote(row.symbol));
        if (mark > 0.0) row.last_price = mark;
        if (row.qty > 0 && row.last_price > 0.0 && row.avg_price > 0.0) {
            row.unrealized_pnl = (row.last_price - row.avg_price) * row.qty;
        }
    }
    std::sort(rows.begin(), rows.end(),
              [](const SymbolState& a, const SymbolState& b) { return a.symbol < b.symbol; });
    return rows;
}

std::vector<HoldingRow> Engine::holding_rows() const {
    std::vector<HoldingRow> rows;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [ticker, state] : states_) {
            if (state.qty >= 1) {
                const auto passes = stopless_passes_.find(ticker);
                const bool unprotected = live_trading_ && passes != stopless_passes_.end() &&
                                         passes->second >= kUnprotectedAfterPasses;
                rows.push_back(
                    {ticker, state.qty, state.qty * state.avg_price, state.avg_price, unprotected});
            }
        }
    }
    std::sort(rows.begin(), rows.end(),
              [](const HoldingRow& a, const HoldingRow& b) { return a.ticker < b.ticker; });
    return rows;
}

std::optional<SymbolState> Engine::state_of(const std::string& ticker) const {
    std::lock_guard lock(mutex_);
    const auto it = states_.find(ticker);
    if (it == states_.end()) return std::nullopt;
    return it->second;
}

std::string Engine::market_state() const {
    std::lock_guard lock(mutex_);
    return market_state_;
}

std::vector<ScoutCandidate> Engine::scout_rows() const {
    std::lock_guard lock(mutex_);
    return scout_.results;
}

std::string Engine::scout_status() const {
    std::lock_guard lock(mutex_);
    return scout_.status;
}

}  // namespace ostrel
