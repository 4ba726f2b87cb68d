// The JSON payload column: every non-column field of a state, sorted by key.
#include <cmath>
#include <cstdint>
#include <limits>

#include <nlohmann/json.hpp>

#include "store/symbol_state_store.hpp"

namespace ostrel {

using nlohmann::json;

std::string state_payload(const SymbolState& s) {
    json j = json::object();
    j["reasons"] = s.reasons;
    j["strategy"] = s.strategy;
    j["mom"] = s.decision.momentum_score;
    j["trend"] = s.decision.trend_score;
    j["vol"] = s.decision.volatility_score;
    j["flow"] = s.decision.flow_score;
    j["pat"] = s.decision.pattern_score;
    j["mac"] = s.decision.macro_score;
    j["final"] = s.decision.final;
    j["action"] = to_text(s.decision.action);
    j["window"] = to_text(s.decision.window);
    j["thesis"] = s.decision.thesis;
    j["bulls"] = s.decision.bulls;
    j["bears"] = s.decision.bears;
    j["peak_price"] = s.peak_price;
    j["stop_price"] = s.stop_price;
    j["target_price"] = s.target_price;
    j["scaled_out"] = s.scaled_out;
    j["pending_order_id"] = s.pending_order_id;
    j["pending_side"] = s.pending_side;
    j["pending_status"] = s.pending_status;
    j["pending_qty"] = s.pending_qty;
    j["pending_limit_price"] = s.pending_limit_price;
    j["planned_buy_limit"] = s.planned_buy_limit;
    j["planned_buy_qty"] = s.planned_buy_qty;
    j["last_fill_price"] = s.last_fill_price;
    j["realized_pnl"] = s.realized_pnl;
    j["entry_lock"] = s.entry_lock;
    j["entry_ts_ms"] = s.entry_ts_ms;
    j["qty_at_order"] = s.qty_at_order;
    j["resting_stop_id"] = s.resting_stop_id;
    j["resting_stop_price"] = s.resting_stop_price;
    j["resting_stop_qty"] = s.resting_stop_qty;
    j["resting_target_id"] = s.resting_target_id;
    j["resting_target_price"] = s.resting_target_price;
    j["resting_target_qty"] = s.resting_target_qty;
    j["resting_oco_stop_id"] = s.resting_oco_stop_id;
    j["resting_oco_stop_price"] = s.resting_oco_stop_price;
    j["resting_oco_stop_qty"] = s.resting_oco_stop_qty;
    // A reason with broken UTF-8 (say, from a hand-typed ticker) must not lose the whole row.
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

namespace {

template <typename Int>
Int truncate_to(double v) {
    // Truncate toward zero, saturating instead of overflowing on absurd values.
    if (std::isnan(v)) return 0;
    const double t = std::trunc(v);
    if (t <= static_cast<double>(std::numeric_limits<Int>::min()))
        return std::numeric_limits<Int>::min();
    if (t >= static_cast<double>(std::numeric_limits<Int>::max()))
        return std::numeric_limits<Int>::max();
    return static_cast<Int>(t);
}

void read_number(const json& j, const char* key, double& out) {
    auto it = j.find(key);
    if (it != j.end() && it->is_number()) out = it->get<double>();
}

void read_int(const json& j, const char* key, int& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_number()) return;
    if (it->is_number_integer() && !it->is_number_unsigned()) {
        const auto v = it->get<std::int64_t>();
        out = truncate_to<int>(static_cast<double>(v));
    } else {
        out = truncate_to<int>(it->get<double>());
    }
}

void read_int64(const json& j, const char* key, std::int64_t& out) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_number()) return;
    if (it->is_number_unsigned()) {
        const auto v = it->get<std::uint64_t>();
        out = v > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                  ? std::numeric_limits<std::int64_t>::max()
                  : static_cast<std::int64_t>(v);
    } else if (it->is_number_integer()) {
        out = it->get<std::int64_t>();
    } else {
        out = truncate_to<std::int64_t>(it->get<double>());
    }
}

void read_bool(const json& j, const char* key, bool& out) {
    auto it = j.find(key);
    if (it != j.end() && it->is_boolean()) out = it->get<bool>();
}

void read_string(const json& j, const char* key, std::string& out) {
    auto it = j.find(key);
    if (it != j.end() && it->is_string()) out = it->get<std::string>();
}

}  // namespace

bool read_state_payload(const std::string& payload, SymbolState& s) {
    const json j = json::parse(payload, nullptr, /*allow_exceptions=*/false);
    if (j.is_discarded()) return false;
    if (!j.is_object()) return true;
    // Only the trading fields come back; the analysis is recomputed on the next evaluation.
    read_number(j, "peak_price", s.peak_price);
    read_number(j, "stop_price", s.stop_price);
    read_number(j, "target_price", s.target_price);
    read_bool(j, "scaled_out", s.scaled_out);
    read_string(j, "pending_order_id", s.pending_order_id);
    read_string(j, "pending_side", s.pending_side);
    read_string(j, "pending_status", s.pending_status);
    read_int(j, "pending_qty", s.pending_qty);
    read_number(j, "pending_limit_price", s.pending_limit_price);
    read_number(j, "planned_buy_limit", s.planned_buy_limit);
    read_int(j, "planned_buy_qty", s.planned_buy_qty);
    read_number(j, "last_fill_price", s.last_fill_price);
    read_number(j, "realized_pnl", s.realized_pnl);
    read_bool(j, "entry_lock", s.entry_lock);
    read_int64(j, "entry_ts_ms", s.entry_ts_ms);
    read_int(j, "qty_at_order", s.qty_at_order);
    read_string(j, "resting_stop_id", s.resting_stop_id);
    read_number(j, "resting_stop_price", s.resting_stop_price);
    read_int(j, "resting_stop_qty", s.resting_stop_qty);
    read_string(j, "resting_target_id", s.resting_target_id);
    read_number(j, "resting_target_price", s.resting_target_price);
    read_int(j, "resting_target_qty", s.resting_target_qty);
    read_string(j, "resting_oco_stop_id", s.resting_oco_stop_id);
    read_number(j, "resting_oco_stop_price", s.resting_oco_stop_price);
    read_int(j, "resting_oco_stop_qty", s.resting_oco_stop_qty);
    return true;
}

}  // namespace ostrel
