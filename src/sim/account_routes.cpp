// Account endpoints: profile, balances, positions, the order list and one order.
#include "sim/json_text.hpp"
#include "sim/order_json.hpp"
#include "sim/routes.hpp"
#include "sim/sim_state.hpp"

#include <algorithm>

namespace ostrel::sim {

namespace {

using nlohmann::json;

json leg_fields(const BookOrder& o, bool long_tails) {
    json j;
    j["id"] = o.id;
    j["type"] = o.type;
    j["symbol"] = o.symbol;
    j["side"] = o.side;
    j["quantity"] = shares(o.quantity, long_tails);
    j["status"] = o.status;
    j["duration"] = o.duration;
    if (o.type == "limit" || o.type == "stop_limit") j["price"] = o.price;
    if (o.type == "stop" || o.type == "stop_limit") j["stop_price"] = o.stop;
    j["avg_fill_price"] = o.avg_fill_price;
    j["exec_quantity"] = shares(o.exec_quantity, long_tails);
    j["last_fill_price"] = o.last_fill_price;
    j["last_fill_quantity"] = shares(o.last_fill_quantity, long_tails);
    const int remaining = is_final_status(o.status) ? 0 : o.quantity - o.exec_quantity;
    j["remaining_quantity"] = shares(remaining, long_tails);
    j["create_date"] = iso_utc_millis(o.create_ms);
    j["transaction_date"] = iso_utc_millis(o.transaction_ms);
    if (!o.tag.empty()) j["tag"] = o.tag;
    if (!o.reason.empty()) j["reason_description"] = o.reason;
    return j;
}

/// The broker writes an empty list as the string "null" (JSON null has been seen too).
json empty_list(const SimState& state) {
    return state.config.empty_lists_as_json_null ? json(nullptr) : json("null");
}

SimResponse profile(SimState& state, const SimRequest&, const std::vector<std::string>&) {
    json accounts = json::array();
    for (const std::string& number : state.config.account_numbers) {
        accounts.push_back({{"account_number", number},
                            {"classification", "individual"},
                            {"date_created", "2021-03-02T14:11:05.000Z"},
                            {"day_trader", state.book.type() == AccountType::pdt},
                            {"option_level", 2},
                            {"status", "active"},
                            {"type", state.book.type() == AccountType::cash ? "cash" : "margin"},
                            {"last_update_date", "2021-03-02T14:11:05.000Z"}});
    }
    json profile = {{"id", "id-sim"}, {"name", "Simulated Trader"}};
    if (!accounts.empty()) profile["account"] = list_or_single(accounts, nullptr);
    return SimResponse::json(200, {{"profile", profile}});
}

SimResponse balances(SimState& state, const SimRequest&, const std::vector<std::string>& p) {
    if (!own_account(state, p[0])) return no_account(p[0]);
    const bool tails = state.config.long_tails;
    const Balances b = state.book.balances(state.touch_fn());
    json j;
    j["option_short_value"] = 0;
    j["total_equity"] = money(b.equity, tails);
    j["account_number"] = p[0];
    j["account_type"] = to_string(b.type);
    j["close_pl"] = 0;
    j["current_requirement"] = money(0.5 * b.long_market_value, tails);
    j["equity"] = 0;
    j["long_market_value"] = money(b.long_market_value, tails);
    j["market_value"] = money(b.market_value, tails);
    j["open_pl"] = 0;
    j["option_long_value"] = 0;
    j["option_requirement"] = 0;
    j["pending_orders_count"] = b.pending_orders;
    j["short_market_value"] = money(b.short_market_value, tails);
    j["stock_long_value"] = money(b.long_market_value, tails);
    j["total_cash"] = money(b.cash, tails);
    j["uncleared_funds"] = 0;
    j["pending_cash"] = 0;
    if (b.type == AccountType::cash) {
        j["cash"] = {{"cash_available", money(b.stock_buying_power, tails)},
                     {"sweep", 0},
                     {"unsettled_funds", 0}};
    } else {
        j[to_string(b.type)] = {{"fed_call", 0},
                                {"maintenance_call", 0},
                                {"option_buying_power", money(b.option_buying_power, tails)},
                                {"stock_buying_power", money(b.stock_buying_power, tails)},
                                {"stock_short_value", money(-b.short_market_value, tails)},
                                {"sweep", 0}};
    }
    return SimResponse::json(200, {{"balances", j}});
}

SimResponse positions(SimState& state, const SimRequest&, const std::vector<std::string>& p) {
    if (!own_account(state, p[0])) return no_account(p[0]);
    const bool tails = state.config.long_tails;
    json list = json::array();
    for (const BookPosition& pos : state.book.poll_positions()) {
        list.push_back({{"cost_basis", money(pos.cost_basis, tails)},
                        {"date_acquired", iso_utc_millis(pos.acquired_ms)},
                        {"id", pos.id},
                        {"quantity", shares(pos.quantity, tails)},
                        {"symbol", pos.symbol}});
    }
    if (list.empty()) return SimResponse::json(200, {{"positions", empty_list(state)}});
    return SimResponse::json(200, {{"positions", {{"position", list_or_single(list, nullptr)}}}});
}

SimResponse orders(SimState& state, const SimRequest& request, const std::vector<std::string>& p) {
    if (!own_account(state, p[0])) return no_account(p[0]);
    // Without filter=all the list covers today's session plus orders still working.
    const bool all = request.query_fields.get_or("filter", "") == "all";
    const DayNumber today = to_eastern(state.clock.now()).date;
    json list = json::array();
    for (const BookOrder* o : state.book.top_level()) {
        const bool today_order = to_eastern(o->create_ms / 1000).date == today;
        if (!all && !today_order && is_final_status(o->status)) continue;
        list.push_back(order_json(state.book, *o, state.config.long_tails));
    }
    if (list.empty()) return SimResponse::json(200, {{"orders", empty_list(state)}});
    return SimResponse::json(200, {{"orders", {{"order", list_or_single(list, nullptr)}}}});
}

SimResponse one_order(SimState& state, const SimRequest&, const std::vector<std::string>& p) {
    if (!own_account(state, p[0])) return no_account(p[0]);
    const auto id = parse_number(p[1]);
    const BookOrder* o = id ? state.book.find(static_cast<std::int64_t>(*id)) : nullptr;
    if (o == nullptr) {
        return SimResponse::json(404, errors_body({"Order " + p[1] + " not found"}));
    }
    return SimResponse::json(200, {{"order", order_json(state.book, *o, state.config.long_tails)}});
}

}  // namespace

SimResponse no_account(const std::string& id) {
    return SimResponse::json(400, errors_body({"Invalid account number: " + id}));
}

bool own_account(const SimState& state, const std::string& id) {
    const auto& list = state.config.account_numbers;
    return std::find(list.begin(), list.end(), id) != list.end();
}

nlohmann::json order_json(const OrderBook& book, const BookOrder& order, bool long_tails) {
    json j = leg_fields(order, long_tails);
    j["class"] = order.order_class;
    if (order.order_class == "oco") {
        j.erase("price");
        j.erase("stop_price");
        j["num_legs"] = static_cast<int>(order.legs.size());
        json legs = json::array();
        for (std::int64_t id : order.legs) {
            if (const BookOrder* leg = book.find(id)) legs.push_back(leg_fields(*leg, long_tails));
        }
        j["leg"] = legs;
    }
    return j;
}

void add_account_routes(Router& router) {
    router.add("GET", "/v1/user/profile", profile);
    router.add("GET", "/v1/accounts/{}/balances", balances);
    router.add("GET", "/v1/accounts/{}/positions", positions);
    router.add("GET", "/v1/accounts/{}/orders", orders);
    router.add("GET", "/v1/accounts/{}/orders/{}", one_order);
}

}  // namespace ostrel::sim
