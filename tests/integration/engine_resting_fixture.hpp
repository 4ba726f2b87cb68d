// The resting-protection fixture: a held AAPL lot with its GTC stop and OCO pair resting at
// the simulated broker, and ways to read the simulator's book and place orders from outside.
#pragma once

#include <string>
#include <vector>

#include "broker/tradier_broker.hpp"
#include "broker/tradier_client.hpp"
#include "engine_sim_fixture.hpp"

namespace ostrel::testing {

class EngineResting : public EngineOnSim {
  protected:
    /// The analysis as the fixture pins it, plus a calm tape: ATR 1, no stretch, no roll-over,
    /// so only the trailing stop and the target move the lot.
    void pin_calm_tape() {
        calm_tape_ = true;
        pin_analysis();
    }

    /// A lot of 9 AAPL at 50.00 held at the broker, booked by the engine, with its resting stop
    /// (6 shares at 48.00) and OCO pair (3 shares, 54.00 / 48.00) in place.
    void hold_nine_with_protection() {
        start_sim();
        sim_->set_position("AAPL", 9, 450.0);
        action_ = "WAIT";
        make_engine(true);
        pin_calm_tape();
        connect();
        refresh_quotes();
        for (int i = 0; i < 3 && !protected_lot(state()); ++i)
            engine_->tick();
        const SymbolState s = state();
        ASSERT_TRUE(protected_lot(s)) << (s.reasons.empty() ? "" : s.reasons.front());
        ASSERT_EQ(s.qty, 9);
        ASSERT_EQ(s.resting_stop_qty, 6);
        ASSERT_EQ(s.resting_target_qty, 3);
        ASSERT_EQ(s.resting_oco_stop_qty, 3);
    }

    static bool protected_lot(const SymbolState& s) {
        return !s.resting_stop_id.empty() && !s.resting_target_id.empty() &&
               !s.resting_oco_stop_id.empty();
    }

    /// Moves the tape, lets the book match and hands the quote to the engine's cache.
    void tape_at(double price) {
        ASSERT_TRUE(sim_->set_price("AAPL", price));
        sim_->advance_book(1);
        refresh_quotes();
    }

    /// Order requests with this method whose target or body contains `text`.
    int requests(const std::string& method, const std::string& text = "") {
        int n = 0;
        for (const auto& r : sim_->order_requests()) {
            if (r.method != method) continue;
            if (text.empty() || r.body.find(text) != std::string::npos ||
                r.target.find(text) != std::string::npos)
                ++n;
        }
        return n;
    }

    std::vector<sim::OrderView> working_orders() {
        std::vector<sim::OrderView> out;
        for (const auto& o : sim_->orders()) {
            if (o.symbol == "AAPL" && o.legs.empty() &&
                (o.status == "open" || o.status == "pending" || o.status == "partially_filled"))
                out.push_back(o);
        }
        return out;
    }

    /// Shares that working sell-stops would sell at the broker.
    int stop_shares_working() {
        int n = 0;
        for (const auto& o : sim_->orders()) {
            if (o.symbol == "AAPL" && o.side == "sell" && o.type == "stop" &&
                (o.status == "open" || o.status == "pending"))
                n += o.quantity;
        }
        return n;
    }

    /// Places an order at the simulator the way another program (or an earlier run) would.
    std::string place_outside(const OrderRequest& order) {
        TradierClient client;
        client.set_rest_url_override(sim_->base_url());
        client.configure("test-token", true);
        TradierBroker broker(client);
        const OrderResult placed = broker.place(order);
        EXPECT_TRUE(placed.has_value()) << (placed ? "" : placed.error());
        return placed.value_or("");
    }

    static OrderRequest gtc_stop(int quantity, double stop) {
        return OrderRequest{"AAPL", "sell", quantity, 0.0,       stop,
                            "stop", "gtc",  "equity", "outside", ""};
    }

    double sim_stop_of(const std::string& id) {
        const auto o = sim_->order(std::stoll(id));
        return o ? o->stop : 0.0;
    }
};

}  // namespace ostrel::testing
