// Writing the simulator's five streaming message types.
#include "sim/stream_lines.hpp"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace ostrel::sim {

namespace {

std::string number_text(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

/// A JSON string literal, escaped.
std::string q(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string price_text(double value, bool long_prices) {
    char text[64];
    std::snprintf(text, sizeof text, long_prices ? "%.4f" : "%.2f", value);
    return text;
}

std::string quote_line(const StreamTick& t) {
    const std::string date = q(std::to_string(t.date_ms));
    return "{\"type\":\"quote\",\"symbol\":" + q(t.symbol) + ",\"bid\":" + number_text(t.bid) +
           ",\"bidsz\":" + std::to_string(t.size / 100 + 1) + ",\"bidexch\":" + q(t.exchange) +
           ",\"biddate\":" + date + ",\"ask\":" + number_text(t.ask) +
           ",\"asksz\":" + std::to_string(t.size / 50 + 1) +
           ",\"askexch\":\"Z\",\"askdate\":" + date + "}";
}

std::string trade_line(const StreamTick& t, const char* type) {
    const std::string price = q(price_text(t.last, t.long_prices));
    return std::string("{\"type\":\"") + type + "\",\"symbol\":" + q(t.symbol) +
           ",\"exch\":" + q(t.exchange) + ",\"price\":" + price +
           ",\"size\":" + q(std::to_string(t.size)) +
           ",\"cvol\":" + q(std::to_string(t.cumulative_volume)) +
           ",\"date\":" + q(std::to_string(t.date_ms)) + ",\"last\":" + price + "}";
}

std::string timesale_line(const StreamTick& t) {
    return "{\"type\":\"timesale\",\"symbol\":" + q(t.symbol) + ",\"exch\":" + q(t.exchange) +
           ",\"bid\":" + q(price_text(t.bid, t.long_prices)) +
           ",\"ask\":" + q(price_text(t.ask, t.long_prices)) +
           ",\"last\":" + q(price_text(t.last, t.long_prices)) +
           ",\"size\":" + q(std::to_string(t.size)) + ",\"date\":" + q(std::to_string(t.date_ms)) +
           ",\"seq\":" + std::to_string(t.seq) +
           ",\"flag\":\"\",\"cancel\":false,\"correction\":false,\"session\":\"normal\"}";
}

std::string summary_line(const StreamTick& t) {
    return "{\"type\":\"summary\",\"symbol\":" + q(t.symbol) +
           ",\"open\":" + q(price_text(t.open, t.long_prices)) +
           ",\"high\":" + q(price_text(t.high, t.long_prices)) +
           ",\"low\":" + q(price_text(t.low, t.long_prices)) +
           ",\"prevClose\":" + q(price_text(t.prev_close, t.long_prices)) + "}";
}

std::string error_line(const std::string& text) {
    return "{\"error\":" + q(text) + "}";
}

}  // namespace ostrel::sim
