// The /_sim/ control interface: the in-process control API over HTTP, with JSON bodies, for
// tests that run the simulator as a separate process.
#include <charconv>
#include <chrono>

#include "sim/routes.hpp"
#include "sim/sim_state.hpp"

namespace ostrel::sim {

namespace {

using nlohmann::json;
using Params = std::vector<std::string>;

SimResponse fail(const std::string& text) {
    SimResponse r = SimResponse::json(400, {{"error", text}});
    return r;
}

SimResponse ok(json doc = json::object()) {
    doc["ok"] = true;
    return SimResponse::json(200, std::move(doc));
}

/// Parses the request body as a JSON object; nullopt (and the error text) when it is not one.
std::optional<json> body_object(const SimRequest& request, std::string& error) {
    try {
        json doc = request.body.empty() ? json::object() : json::parse(request.body);
        if (!doc.is_object()) {
            error = "body must be a JSON object";
            return std::nullopt;
        }
        return doc;
    } catch (const json::exception& e) {
        error = e.what();
        return std::nullopt;
    }
}

json clock_json(const ClockView& v) {
    return {{"date", v.date},
            {"time", v.time},
            {"state", v.state},
            {"next_state", v.next_state},
            {"next_change", v.next_change},
            {"timestamp", v.timestamp},
            {"real_time", v.real_time}};
}

json account_json(const AccountView& a) {
    return {{"type", to_string(a.type)},
            {"cash", a.cash},
            {"market_value", a.market_value},
            {"equity", a.equity},
            {"stock_buying_power", a.stock_buying_power}};
}

json order_view_json(const OrderView& o) {
    return {{"id", o.id},
            {"parent_id", o.parent_id},
            {"class", o.order_class},
            {"symbol", o.symbol},
            {"side", o.side},
            {"type", o.type},
            {"duration", o.duration},
            {"status", o.status},
            {"quantity", o.quantity},
            {"price", o.price},
            {"stop", o.stop},
            {"exec_quantity", o.exec_quantity},
            {"avg_fill_price", o.avg_fill_price},
            {"reason_description", o.reason_description},
            {"tag", o.tag},
            {"legs", o.legs}};
}

std::optional<FaultKind> parse_fault_kind(const std::string& text) {
    if (text == "status") return FaultKind::status;
    if (text == "rate_limited") return FaultKind::rate_limited;
    if (text == "unauthorized") return FaultKind::unauthorized;
    if (text == "slow") return FaultKind::slow;
    if (text == "truncated") return FaultKind::truncated;
    if (text == "malformed") return FaultKind::malformed;
    if (text == "errors_200") return FaultKind::errors_200;
    if (text == "drop") return FaultKind::drop;
    return std::nullopt;
}

Simulator& sim(SimState& state) {
    return *state.owner;
}

SimResponse get_state(SimState& state, const SimRequest&, const Params&) {
    Simulator& s = sim(state);
    return ok({{"clock", clock_json(s.clock())},
               {"account", account_json(s.account())},
               {"orders", s.orders().size()},
               {"requests", s.requests().size()}});
}

SimResponse get_quote(SimState& state, const SimRequest&, const Params& p) {
    const auto q = sim(state).quote(p[0]);
    if (!q) return fail("unknown symbol " + p[0]);
    return ok({{"symbol", q->symbol},
               {"last", q->last},
               {"bid", q->bid},
               {"ask", q->ask},
               {"open", q->open},
               {"high", q->high},
               {"low", q->low},
               {"prevclose", q->prevclose},
               {"premarket_price", q->premarket_price},
               {"volume", q->volume},
               {"average_volume", q->average_volume}});
}

SimResponse post_price(SimState& state, const SimRequest& request, const Params&) {
    std::string error;
    const auto body = body_object(request, error);
    if (!body) return fail(error);
    const std::string symbol = body->value("symbol", "");
    bool done = false;
    if (body->contains("price") && (*body)["price"].is_number()) {
        done = sim(state).set_price(symbol, (*body)["price"].get<double>());
    } else if (body->contains("move") && (*body)["move"].is_number()) {
        done = sim(state).move_price(symbol, (*body)["move"].get<double>());
    } else {
        return fail("give \"price\" or \"move\"");
    }
    if (!done) return fail("cannot move " + symbol);
    return ok({{"symbol", symbol}, {"price", sim(state).price(symbol)}});
}

SimResponse post_clock(SimState& state, const SimRequest& request, const Params&) {
    std::string error;
    const auto body = body_object(request, error);
    if (!body) return fail(error);
    Simulator& s = sim(state);
    if (body->value("real_time", false)) {
        s.run_real_time();
    } else if (body->contains("date") || body->contains("time")) {
        const auto set =
            s.set_clock(body->value("date", s.clock().date), body->value("time", s.clock().time));
        if (!set) return fail(set.error());
    } else if (body->contains("state")) {
        const auto st = parse_clock_state(body->value("state", ""));
        if (!st) return fail("unknown state");
        s.set_clock_state(*st);
    }
    if (body->contains("advance_seconds") && (*body)["advance_seconds"].is_number_integer()) {
        s.advance_clock(std::chrono::seconds((*body)["advance_seconds"].get<std::int64_t>()));
    }
    return ok({{"clock", clock_json(s.clock())}});
}

SimResponse post_fault(SimState& state, const SimRequest& request, const Params&) {
    std::string error;
    const auto body = body_object(request, error);
    if (!body) return fail(error);
    const auto kind = parse_fault_kind(body->value("kind", ""));
    if (!kind) return fail("unknown fault kind");
    Fault f;
    f.kind = *kind;
    f.count = body->value("count", 1);
    f.path_prefix = body->value("path_prefix", "");
    f.status = body->value("status", 0);
    f.body = body->value("body", "");
    f.delay_ms = body->value("delay_ms", 0);
    sim(state).inject(f);
    return ok();
}

SimResponse delete_faults(SimState& state, const SimRequest&, const Params&) {
    sim(state).clear_faults();
    return ok();
}

SimResponse get_requests(SimState& state, const SimRequest& request, const Params&) {
    // ?since=N: only what came after record N, so a poller reads each record once.
    std::uint64_t since = 0;
    const std::string since_text = request.query_fields.get_or("since", "0");
    const auto [end, ec] =
        std::from_chars(since_text.data(), since_text.data() + since_text.size(), since);
    if (ec != std::errc{} || end != since_text.data() + since_text.size())
        return fail("since must be a record number");
    json list = json::array();
    for (const RequestRecord& r : sim(state).requests()) {
        if (r.seq <= since) continue;
        list.push_back({{"seq", r.seq},
                        {"at_ms", r.at_ms},
                        {"method", r.method},
                        {"target", r.target},
                        {"path", r.path},
                        {"body", r.body},
                        {"authorization", r.authorization},
                        {"accept", r.accept},
                        {"content_type", r.content_type},
                        {"status", r.status}});
    }
    return ok({{"requests", list}});
}

SimResponse delete_requests(SimState& state, const SimRequest&, const Params&) {
    sim(state).clear_requests();
    return ok();
}

SimResponse get_orders(SimState& state, const SimRequest&, const Params&) {
    json list = json::array();
    for (const OrderView& o : sim(state).orders())
        list.push_back(order_view_json(o));
    return ok({{"orders", list}});
}

SimResponse get_account(SimState& state, const SimRequest&, const Params&) {
    json positions = json::array();
    for (const PositionView& p : sim(state).positions()) {
        positions.push_back(
            {{"symbol", p.symbol}, {"quantity", p.quantity}, {"cost_basis", p.cost_basis}});
    }
    return ok({{"account", account_json(sim(state).account())}, {"positions", positions}});
}

SimResponse post_account(SimState& state, const SimRequest& request, const Params&) {
    std::string error;
    const auto body = body_object(request, error);
    if (!body) return fail(error);
    if (body->contains("type")) {
        const auto type = parse_account_type(body->value("type", ""));
        if (!type) return fail("unknown account type");
        sim(state).set_account_type(*type);
    }
    if (body->contains("cash") && (*body)["cash"].is_number()) {
        sim(state).set_cash((*body)["cash"].get<double>());
    }
    return ok({{"account", account_json(sim(state).account())}});
}

SimResponse post_position(SimState& state, const SimRequest& request, const Params&) {
    std::string error;
    const auto body = body_object(request, error);
    if (!body) return fail(error);
    const std::string symbol = body->value("symbol", "");
    if (symbol.empty()) return fail("missing symbol");
    sim(state).set_position(symbol, body->value("quantity", 0), body->value("cost_basis", 0.0));
    return ok();
}

SimResponse post_reject(SimState& state, const SimRequest& request, const Params&) {
    std::string error;
    const auto body = body_object(request, error);
    if (!body) return fail(error);
    std::vector<std::string> types;
    if (const auto it = body->find("types"); it != body->end() && it->is_array()) {
        for (const json& t : *it) {
            if (!t.is_string()) return fail("types must be strings");
            types.push_back(t.get<std::string>());
        }
    }
    sim(state).reject_next_orders(body->value("count", 1), body->value("reason", ""), types);
    return ok();
}

SimResponse post_advance(SimState& state, const SimRequest& request, const Params&) {
    std::string error;
    const auto body = body_object(request, error);
    if (!body) return fail(error);
    sim(state).advance_book(body->value("steps", 1));
    return ok();
}

SimResponse post_ratelimit(SimState& state, const SimRequest& request, const Params&) {
    std::string error;
    const auto body = body_object(request, error);
    if (!body) return fail(error);
    if (body->value("reset", false)) sim(state).reset_rate_windows();
    if (body->contains("group")) {
        const std::string g = body->value("group", "");
        LimitGroup group = LimitGroup::standard;
        if (g == "market") {
            group = LimitGroup::market;
        } else if (g == "trading") {
            group = LimitGroup::trading;
        } else if (g != "standard") {
            return fail("unknown group");
        }
        sim(state).set_rate_limit(group, body->value("per_minute", 120));
    }
    return ok();
}

}  // namespace

void add_control_routes(Router& router) {
    router.add("GET", "/_sim/state", get_state);
    router.add("GET", "/_sim/quote/{}", get_quote);
    router.add("POST", "/_sim/price", post_price);
    router.add("POST", "/_sim/clock", post_clock);
    router.add("POST", "/_sim/fault", post_fault);
    router.add("DELETE", "/_sim/faults", delete_faults);
    router.add("GET", "/_sim/requests", get_requests);
    router.add("DELETE", "/_sim/requests", delete_requests);
    router.add("GET", "/_sim/orders", get_orders);
    router.add("GET", "/_sim/account", get_account);
    router.add("POST", "/_sim/account", post_account);
    router.add("POST", "/_sim/position", post_position);
    router.add("POST", "/_sim/reject", post_reject);
    router.add("POST", "/_sim/advance", post_advance);
    router.add("POST", "/_sim/ratelimit", post_ratelimit);
}

}  // namespace ostrel::sim
