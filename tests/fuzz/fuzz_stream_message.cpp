// Fuzz target: the quote stream's handling of received text, its session reader and the
// subscribe message built around an arbitrary ticker.
#include <nlohmann/json.hpp>

#include <cmath>
#include <map>

#include "broker/stream_message.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    const auto text = ostrel::fuzz::as_text(data, size);

    std::map<std::string, Quote> cache;
    const QuoteWriter write = [&](const std::string& symbol,
                                  const std::function<void(Quote&)>& update) {
        check(!symbol.empty());
        auto [it, inserted] = cache.try_emplace(symbol);
        if (inserted) it->second.symbol = symbol;
        update(it->second);
    };
    const auto failures = handle_stream_text(text, write, 7);
    for (const std::string& f : failures)
        check(f != "no symbol" && f != "empty" && f != "no type");
    for (const auto& [symbol, q] : cache) {
        // The stream only ever writes prices and volumes above 0.
        for (const double v : {q.bid, q.ask, q.last, q.volume})
            check(std::isfinite(v) && v >= 0.0);
        check(q.updated_ms == 7 && q.symbol == symbol && q.description.empty());
    }

    const std::string fallback = "ws://127.0.0.1:1/v1/markets/events";
    if (const auto session = parse_stream_session(text, fallback); session) {
        check(!session->sessionid.empty());
        check(session->url == fallback || session->url.starts_with("wss://"));
    } else {
        check(!session.error().empty());
    }

    const std::string message = build_subscribe_message("s", {std::string(text)});
    check(nlohmann::json::accept(message));
    return 0;
}
