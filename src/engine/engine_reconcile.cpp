// Reconciliation: the paper book's positions, or the live broker's positions and orders.
#include <algorithm>

#include "engine/engine.hpp"
#include "engine/order_submission.hpp"
#include "engine/reconcile_rules.hpp"
#include "engine/sell_sizing.hpp"
#include "engine/session_time.hpp"
#include "log/activity_log.hpp"

namespace ostrel {

void Engine::reconcile() {
    if (!connected_) return;
    if (live_trading_) {
        reconcile_live();
    } else {
        reconcile_paper();
    }
}

void Engine::reconcile_paper() {
    // The paper book is read before the engine lock is taken; only this thread trades on it.
    // A ticker added in between is read under the lock, as before.
    struct PaperLot {
        int qty = 0;
        double avg_price = 0.0;
    };
    std::unordered_map<std::string, PaperLot> lots;
    for (const std::string& ticker : monitor_tickers())
        lots[ticker] = {paper_.position_quantity(ticker), paper_.average_cost(ticker)};
    const auto snap = paper_.account_snapshot();

    std::lock_guard lock(mutex_);
    for (auto& [ticker, s] : states_) {
        const bool had_lot = s.qty > 0 || s.holding;
        const auto lot = lots.find(ticker);
        s.qty = lot != lots.end() ? lot->second.qty : paper_.position_quantity(ticker);
        s.avg_price = lot != lots.end() ? lot->second.avg_price : paper_.average_cost(ticker);
        s.holding = s.qty > 0;
        if (s.qty <= 0 && !s.entry_lock) clear_flat_lot(s, had_lot);
    }
    if (snap) store_account_locked(*snap);
}

void Engine::reconcile_live() {
    ReconcileView view;
    view.now_ms = now_ms();

    // Positions; without them nothing position-based happens this pass.
    const auto positions = client_.positions();
    if (positions) {
        view.positions_ok = true;
        for (const BrokerPosition& p : *positions) {
            if (!p.symbol.empty()) view.positions[p.symbol] = p;
        }
    } else {
        log_error("TRADIER", "positions: " + positions.error());
    }

    // The order list; without it each order is asked for on its own and nothing is adopted.
    std::unordered_map<std::string, BrokerOrder> by_id;
    const auto orders = client_.orders();
    if (orders) {
        for (const BrokerOrder& o : *orders) {
            if (!o.id.empty()) by_id[o.id] = o;
        }
    } else {
        log_error("TRADIER", "open orders: " + orders.error());
    }

    // Orders whose answer was lost, or that a killed run sent: found, or shown not placed,
    // before anything below follows the ids.
    resolve_order_intents(orders);

    // Our pending and resting order ids.
    std::vector<std::pair<std::string, std::string>> pending_ids;
    std::vector<std::pair<std::string, std::string>> resting_ids;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [ticker, s] : states_) {
            if (!s.pending_order_id.empty()) pending_ids.emplace_back(ticker, s.pending_order_id);
            for (const std::string* id :
                 {&s.resting_stop_id, &s.resting_target_id, &s.resting_oco_stop_id}) {
                if (!id->empty()) resting_ids.emplace_back(ticker, *id);
            }
        }
    }

    // Pending and resting orders: from the list, else asked for one by one.
    for (const auto& [ticker, id] : pending_ids) {
        if (const auto it = by_id.find(id); it != by_id.end()) {
            view.pending[ticker] = it->second;
        } else if (const auto one = client_.order_status(id)) {
            view.pending[ticker] = *one;
        } else {
            log_error(ticker, "order status: " + one.error());
        }
    }
    for (const auto& [ticker, id] : resting_ids) {
        if (view.resting.contains(id)) continue;
        if (const auto it = by_id.find(id); it != by_id.end()) {
            view.resting[id] = it->second;
        } else if (const auto one = client_.order_status(id)) {
            view.resting[id] = *one;
        } else {
            log_info(ticker, "resting order status: " + one.error());
        }
    }

    // Balances.
    const auto balances = client_.balances();

    // Everything that changes states, under the engine lock.
    bool fill_booked = false;
    std::vector<std::pair<std::string, std::string>> leftovers;
    std::vector<std::pair<std::string, std::string>> fills;
    std::vector<SymbolState> to_save;
    std::vector<std::string> imported;
    std::vector<std::string> watchlist;
    {
        std::lock_guard lock(mutex_);
        if (balances) {
            store_account_locked(*balances);
        }
        for (const auto& [ticker, p] : view.positions) {
            if (p.quantity > 0 && !states_.contains(ticker)) {
                SymbolState fresh;
                fresh.symbol = ticker;
                states_[ticker] = std::move(fresh);
                imported.push_back(ticker);
            }
        }
        for (const std::string& t : imported) {
            auto& list = settings_.watchlist;
            if (std::find(list.begin(), list.end(), t) == list.end()) list.push_back(t);
        }
        for (auto& [ticker, s] : states_) {
            const ReconcileOutcome out = apply_broker_view(s, view);
            fill_booked = fill_booked || out.fill_booked;
            for (const std::string& id : out.leftover_orders)
                leftovers.emplace_back(ticker, id);
            for (const std::string& side : out.fill_sides)
                fills.emplace_back(ticker, side);
            to_save.push_back(s);
        }
        if (orders) {
            for (const BrokerOrder& o : *orders) {
                const auto it = states_.find(o.symbol);
                if (it == states_.end()) continue;
                if (adopt_resting_order(it->second, o)) to_save.push_back(it->second);
            }
            // What the sells of this pass may not count on: shares under working sells at the
            // broker that no slot of ours follows.
            for (auto& [ticker, s] : states_)
                s.foreign_sell_qty = foreign_sell_shares(s, *orders);
        }
        watchlist = settings_.watchlist;
    }

    for (const std::string& ticker : imported)
        log_info(ticker, "Imported from Tradier positions");
    watch_protection(by_id, view.resting, orders.has_value());

    // The saves, fill records, balance refresh, cancels and stream update run after the lock.
    for (const SymbolState& s : to_save)
        save_state(s);
    for (const auto& [ticker, side] : fills)
        pdt_.record(ticker, side, true);
    if (fill_booked) refresh_balances(trading_context(), "after confirmed broker fill");
    for (const auto& [ticker, id] : leftovers) {
        const ActionResult r = client_.cancel_order(id);
        if (r) {
            log_info(ticker, "Canceled leftover GTC stop " + id);
        } else {
            log_info(ticker, "Cancel leftover stop " + id + ": " + r.error());
        }
    }
    if (!imported.empty()) {
        client_.set_stream_tickers(watchlist);
        save_settings();
    }
}

}  // namespace ostrel
