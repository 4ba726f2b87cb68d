// Order endpoints: place (with preview), change and cancel; form bodies only.
#include "sim/json_text.hpp"
#include "sim/routes.hpp"
#include "sim/sim_state.hpp"

#include <algorithm>

namespace ostrel::sim {

namespace {

using nlohmann::json;

std::optional<std::int64_t> order_id(const std::string& text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    return std::stoll(text);
}

SimResponse place(SimState& state, const SimRequest& request, const std::vector<std::string>& p) {
    if (!own_account(state, p[0])) return no_account(p[0]);
    const FormFields form = FormFields::parse(request.body);
    auto known = [&](const std::string& s) { return state.market.find(s) != nullptr; };
    if (form.get_or("preview", "") == "true") {
        const auto ok = state.book.validate(form, known);
        if (!ok) return SimResponse::json(400, errors_body(ok.error()));
        return SimResponse::json(200, {{"order",
                                        {{"status", "ok"},
                                         {"commission", 0.0},
                                         {"fees", 0.0},
                                         {"class", form.get_or("class", "")},
                                         {"duration", form.get_or("duration", "")},
                                         {"result", true},
                                         {"request_date", iso_utc_millis(state.clock.now_millis())},
                                         {"extended_hours", false}}}});
    }
    const auto placed = state.book.place(form, state.clock.now_millis(), known);
    if (!placed) return SimResponse::json(400, errors_body(placed.error()));
    return SimResponse::json(200, {{"order",
                                    {{"id", *placed},
                                     {"status", "ok"},
                                     {"partner_id", "3a8bbee1-5184-4ffe-8a0c-294fbad1aee9"}}}});
}

SimResponse change(SimState& state, const SimRequest& request, const std::vector<std::string>& p) {
    if (!own_account(state, p[0])) return no_account(p[0]);
    const auto id = order_id(p[1]);
    if (!id) return SimResponse::json(400, errors_body({"Invalid order id: " + p[1]}));
    const auto done =
        state.book.change(*id, FormFields::parse(request.body), state.clock.now_millis());
    if (!done) return SimResponse::json(400, errors_body({done.error()}));
    return SimResponse::json(200, {{"order",
                                    {{"id", *id},
                                     {"status", "ok"},
                                     {"partner_id", "3a8bbee1-5184-4ffe-8a0c-294fbad1aee9"}}}});
}

SimResponse cancel(SimState& state, const SimRequest&, const std::vector<std::string>& p) {
    if (!own_account(state, p[0])) return no_account(p[0]);
    const auto id = order_id(p[1]);
    if (!id) return SimResponse::json(400, errors_body({"Invalid order id: " + p[1]}));
    const auto done = state.book.cancel(*id, state.clock.now_millis());
    if (!done) return SimResponse::json(400, errors_body({done.error()}));
    return SimResponse::json(200, {{"order", {{"id", *id}, {"status", "ok"}}}});
}

}  // namespace

void add_order_routes(Router& router) {
    router.add("POST", "/v1/accounts/{}/orders", place);
    router.add("PUT", "/v1/accounts/{}/orders/{}", change);
    router.add("DELETE", "/v1/accounts/{}/orders/{}", cancel);
}

}  // namespace ostrel::sim
