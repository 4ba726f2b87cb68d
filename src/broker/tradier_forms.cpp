// Query strings and form bodies for the broker. Every value a user could have typed is
// percent-encoded, so a ticker like "A&side=sell" cannot add fields to an order; ordinary
// values come out byte for byte as plain text.
#include "broker/tradier_forms.hpp"

#include <cstdio>

#include "broker/order_words.hpp"
#include "market/number_text.hpp"

namespace ostrel {

std::string url_encode(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return out;
}

std::string price_text(double price) {
    return two_decimals(price);
}

std::string quotes_query(const std::vector<std::string>& symbols) {
    std::string query = "symbols=";
    for (std::size_t i = 0; i < symbols.size(); ++i) {
        if (i > 0) query += ',';
        query += url_encode(symbols[i]);
    }
    return query + "&greeks=false";
}

std::string equity_order_form(const OrderRequest& order) {
    const std::string type = order.type.empty() ? "limit" : order.type;
    const std::string duration = order.duration.empty() ? "day" : order.duration;
    std::string form = "class=equity&symbol=" + url_encode(order.symbol) +
                       "&side=" + url_encode(order.side) +
                       "&quantity=" + std::to_string(order.quantity) + "&type=" + url_encode(type) +
                       "&duration=" + url_encode(duration);
    if (has_limit(type_from_text(type))) form += "&price=" + price_text(order.price);
    if (has_stop(type_from_text(type))) form += "&stop=" + price_text(order.stop);
    if (!order.tag.empty()) form += "&tag=" + url_encode(order.tag);
    return form;
}

std::string oco_order_form(const OrderRequest& order) {
    const std::string symbol = url_encode(order.symbol);
    const std::string quantity = std::to_string(order.quantity);
    return "class=oco&duration=gtc&symbol[0]=" + symbol + "&side[0]=sell&quantity[0]=" + quantity +
           "&type[0]=limit&price[0]=" + price_text(order.price) + "&symbol[1]=" + symbol +
           "&side[1]=sell&quantity[1]=" + quantity +
           "&type[1]=stop&stop[1]=" + price_text(order.stop) +
           (order.tag.empty() ? std::string() : "&tag=" + url_encode(order.tag));
}

std::string stop_change_form(double new_stop) {
    return "type=stop&duration=gtc&stop=" + price_text(new_stop);
}

std::string limit_change_form(double new_price, const std::string& duration) {
    return "type=limit&duration=" + url_encode(duration.empty() ? "gtc" : duration) +
           "&price=" + price_text(new_price);
}

}  // namespace ostrel
