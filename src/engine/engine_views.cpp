// The copies the user interface reads every frame: account strip, Monitor rows, holdings.
#include <algorithm>

#include "engine/account_figures.hpp"
#include "engine/engine.hpp"
#include "market/timeframes.hpp"

namespace ostrel {

AccountSummary Engine::account_summary() const {
    // Copied under the lock; the quote lookups (the client's own lock) and the sums after it.
    AccountSnapshot account;
    std::vector<std::string> tickers;
    std::vector<LotFigures> lots;
    double risk_pct = 0.0;
    double position_pct = 0.0;
    {
        std::lock_guard lock(mutex_);
        account = account_;
        tickers.reserve(states_.size());
        lots.reserve(states_.size());
        for (const auto& [ticker, state] : states_) {
            tickers.push_back(ticker);
            lots.push_back({0.0, state.last_price, state.realized_pnl, state.qty, state.avg_price});
        }
        risk_pct = settings_.max_dollar_risk_pct;
        position_pct = settings_.max_position_pct;
    }
    for (std::size_t i = 0; i < lots.size(); ++i)
        lots[i].quote_mark = mark_price(client_.cached_quote(tickers[i]));
    return account_figures(account, lots, risk_pct, position_pct);
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
