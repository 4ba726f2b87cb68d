// Account and order endpoints: balances, positions, order reads, and placing, changing and
// cancelling orders on the discovered account.
#include "broker/order_words.hpp"
#include "broker/tradier_client.hpp"
#include "broker/tradier_forms.hpp"
#include "broker/tradier_parse.hpp"

namespace ostrel {

namespace {

const std::string kNoAccountId = "No account id";

}  // namespace

std::string TradierClient::account_prefix() {
    const std::string id = account_id();
    return id.empty() ? std::string() : "/accounts/" + url_encode(id);
}

std::expected<AccountSnapshot, std::string> TradierClient::balances() {
    const std::string prefix = account_prefix();
    if (prefix.empty()) return std::unexpected(std::string("No Tradier account on this token"));
    auto response = request("GET", prefix + "/balances");
    if (!response) return std::unexpected(response.error());
    return parse_balances(response->body);
}

std::expected<std::vector<BrokerPosition>, std::string> TradierClient::positions() {
    const std::string prefix = account_prefix();
    if (prefix.empty()) return std::unexpected(std::string("No Tradier account on this token"));
    auto response = request("GET", prefix + "/positions");
    if (!response) return std::unexpected(response.error());
    return parse_positions(response->body);
}

std::expected<BrokerOrder, std::string> TradierClient::order_status(const std::string& order_id) {
    const std::string prefix = account_prefix();
    if (prefix.empty()) return std::unexpected(kNoAccountId);
    if (order_id.empty()) return std::unexpected(std::string("Empty order id"));
    auto response = request("GET", prefix + "/orders/" + url_encode(order_id));
    if (!response) return std::unexpected(response.error());
    return parse_order_status(response->body, order_id);
}

std::expected<std::vector<BrokerOrder>, std::string> TradierClient::orders() {
    const std::string prefix = account_prefix();
    if (prefix.empty()) return std::unexpected(kNoAccountId);
    auto response = request("GET", prefix + "/orders");
    if (!response) return std::unexpected(response.error());
    return parse_orders(response->body);
}

OrderResult TradierClient::place_order(const OrderRequest& order) {
    const std::string prefix = account_prefix();
    if (prefix.empty()) return std::unexpected(kNoAccountId);
    if (order.symbol.empty() || order.quantity <= 0)
        return std::unexpected(std::string("Invalid equity order"));
    const std::string type = order.type.empty() ? "limit" : order.type;
    std::string form;
    if (class_from_text(order.order_class) != OrderClass::oco) {
        // "!(x > 0)" also refuses a NaN price, which would otherwise be sent as "nan".
        if (has_limit(type_from_text(type)) && !(order.price > 0.0))
            return std::unexpected(std::string("Invalid equity order"));
        if (has_stop(type_from_text(type)) && !(order.stop > 0.0))
            return std::unexpected(std::string("Invalid stop order"));
        OrderRequest normalised = order;
        normalised.type = type;
        form = equity_order_form(normalised);
    } else {
        if (!(order.price > 0.0) || !(order.stop > 0.0))
            return std::unexpected(std::string("Invalid OCO exit"));
        form = oco_order_form(order);
    }
    int status = 0;
    auto response = request("POST", prefix + "/orders", {}, form, &status);
    if (!response) {
        // No answer, or a server fault: the order may have reached the book before the failure.
        // Only a refusal the broker itself wrote (4xx), or a request that never left, is
        // known not to have placed it.
        const bool never_sent = status == 0 && (response.error() == "Invalid URL" ||
                                                response.error() == "Tradier token is empty");
        const bool unknown = (status == 0 && !never_sent) || status >= 500 || status == 408;
        if (unknown) return std::unexpected(std::string(kOutcomeUnknownPrefix) + response.error());
        return std::unexpected(response.error());
    }
    const std::string refused = parse_errors_member(response->body);
    if (!refused.empty()) return std::unexpected("Tradier refused: " + refused);
    const std::string id = parse_place_response(response->body);
    if (id.empty()) {
        return std::unexpected(std::string(kOutcomeUnknownPrefix) +
                               "Tradier accepted the POST but returned no order id");
    }
    return id;
}

ActionResult TradierClient::send_action(const std::string& method, const std::string& path,
                                        const std::string& body) {
    auto response = request(method, path, {}, body);
    if (!response) return std::unexpected(response.error());
    // The broker's downstream checks can refuse a change or a cancel inside a 200 answer;
    // reporting that as done would leave the engine believing in an order state that is false.
    const std::string refused = parse_errors_member(response->body);
    if (!refused.empty()) return std::unexpected("Tradier refused: " + refused);
    return {};
}

ActionResult TradierClient::modify_stop(const std::string& order_id, double new_stop) {
    const std::string prefix = account_prefix();
    if (prefix.empty()) return std::unexpected(kNoAccountId);
    if (order_id.empty() || !(new_stop > 0.0)) return std::unexpected("Invalid stop modify");
    return send_action("PUT", prefix + "/orders/" + url_encode(order_id),
                       stop_change_form(new_stop));
}

ActionResult TradierClient::modify_limit(const std::string& order_id, double new_price,
                                         const std::string& duration) {
    const std::string prefix = account_prefix();
    if (prefix.empty()) return std::unexpected(kNoAccountId);
    if (order_id.empty() || !(new_price > 0.0)) return std::unexpected("Invalid limit modify");
    return send_action("PUT", prefix + "/orders/" + url_encode(order_id),
                       limit_change_form(new_price, duration));
}

ActionResult TradierClient::cancel_order(const std::string& order_id) {
    const std::string prefix = account_prefix();
    if (prefix.empty()) return std::unexpected(kNoAccountId);
    if (order_id.empty()) return std::unexpected("Empty order id");
    return send_action("DELETE", prefix + "/orders/" + url_encode(order_id), {});
}

}  // namespace ostrel
