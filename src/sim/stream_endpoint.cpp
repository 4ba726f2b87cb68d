// The simulator's WebSocket feed: accepts the subscribe message (again to replace it), streams
// the five message types from the simulated prices on a timer, and shows faults on demand.
#include "sim/stream_endpoint.hpp"

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>
#include <memory>
#include <random>
#include <set>

#include "sim/http_upgrade.hpp"
#include "sim/sim_state.hpp"
#include "sim/stream_hub.hpp"
#include "sim/stream_lines.hpp"

namespace ostrel::sim {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using nlohmann::json;
using error_code = boost::system::error_code;

namespace {

constexpr const char* kEventsPath = "/v1/markets/events";
const std::set<std::string> kTypes = {"quote", "trade", "summary", "timesale", "tradex"};
constexpr int kSummaryEvery = 25;  // ticks between two summaries of a symbol

class StreamConnection : public std::enable_shared_from_this<StreamConnection> {
  public:
    StreamConnection(asio::ip::tcp::socket socket, SimState& state, StreamHub& hub)
        : ws_(std::move(socket)), timer_(ws_.get_executor()), state_(state), hub_(hub) {}

    void start(http::request<http::string_body> request) {
        view_.connection = hub_.register_connection();
        rng_.seed(static_cast<std::mt19937::result_type>(view_.connection));
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& res) { res.set(http::field::server, "ostrel-sim"); }));
        ws_.async_accept(request, [self = shared_from_this()](error_code ec) {
            if (ec) return self->finish();
            self->read();
            self->schedule_tick();
        });
    }

  private:
    void read() {
        ws_.async_read(in_, [self = shared_from_this()](error_code ec, std::size_t) {
            if (ec) return self->finish();
            std::string text = beast::buffers_to_string(self->in_.data());
            self->in_.consume(self->in_.size());
            self->on_message(text);
            self->read();
        });
    }

    void on_message(const std::string& text) {
        hub_.note_message(text);
        json msg;
        try {
            msg = json::parse(text);
        } catch (const json::exception&) {
            return send_line(error_line("Invalid JSON"), view_.linebreak);
        }
        if (!msg.is_object()) return send_line(error_line("Invalid JSON"), view_.linebreak);
        // Answers to this message follow its own line-break choice.
        const auto lb = msg.find("linebreak");
        const bool linebreak = lb != msg.end() && lb->is_boolean() && lb->get<bool>();
        const auto sid = msg.find("sessionid");
        if (sid == msg.end() || !sid->is_string())
            return send_line(error_line("Missing sessionid"), linebreak);
        const std::string id = sid->get<std::string>();
        // The socket's own session stays good for resubscribing on it.
        if (id != view_.sessionid) {
            const SessionCheck check = hub_.use_session(id);
            if (check == SessionCheck::unknown)
                return send_line(error_line("Invalid session"), linebreak);
            if (check == SessionCheck::expired)
                return send_line(error_line("Session expired"), linebreak);
        }
        std::vector<std::string> symbols;
        std::vector<std::string> errors;
        if (const auto list = msg.find("symbols"); list != msg.end() && list->is_array()) {
            std::lock_guard lock(state_.mutex);
            for (const json& s : *list) {
                const std::string name = s.is_string() ? s.get<std::string>() : s.dump();
                if (s.is_string() && state_.market.find(name) != nullptr) {
                    symbols.push_back(name);
                } else {
                    errors.push_back(name + " is not a valid symbol");
                }
            }
        }
        std::vector<std::string> filter;
        if (const auto f = msg.find("filter"); f != msg.end() && f->is_array()) {
            for (const json& t : *f) {
                if (t.is_string() && kTypes.contains(t.get<std::string>()))
                    filter.push_back(t.get<std::string>());
            }
        }
        view_.linebreak = linebreak;
        view_.sessionid = id;
        view_.symbols = std::move(symbols);
        view_.filter = std::move(filter);
        ++view_.subscribes;
        hub_.update_connection(view_);
        for (const std::string& e : errors)
            send_line(error_line(e), linebreak);
        if (wants("summary")) send_lines(build(/*summaries=*/true));
    }

    bool wants(const std::string& type) const {
        if (view_.filter.empty()) return true;
        return std::find(view_.filter.begin(), view_.filter.end(), type) != view_.filter.end();
    }

    void schedule_tick() {
        timer_.expires_after(hub_.tick_interval());
        timer_.async_wait([self = shared_from_this()](error_code ec) {
            if (ec || self->closed_) return;
            self->tick();
            if (!self->closed_) self->schedule_tick();
        });
    }

    void tick() {
        ++ticks_;
        if (auto fault = hub_.take_fault()) apply(*fault);
        if (closed_ || closing_ || view_.symbols.empty()) return;
        if (stalled_until_ && std::chrono::steady_clock::now() < *stalled_until_) return;
        send_lines(build(ticks_ % kSummaryEvery == 0));
    }

    /// The lines of one tick for every subscribed symbol, in the filter's types.
    std::vector<std::string> build(bool summaries) {
        std::vector<StreamTick> ticks;
        {
            std::lock_guard lock(state_.mutex);
            const std::int64_t now = state_.clock.now();
            const std::int64_t now_ms = state_.clock.now_millis();
            for (const std::string& symbol : view_.symbols) {
                const SymbolInfo* info = state_.market.find(symbol);
                if (info == nullptr) continue;
                const QuoteView qv = state_.market.quote(*info, now, false);
                StreamTick t;
                t.symbol = symbol;
                t.exchange = info->exchange.empty() ? "Q" : info->exchange;
                t.last = qv.last;
                t.bid = qv.bid;
                t.ask = qv.ask;
                t.open = qv.open > 0 ? qv.open : qv.last;
                t.high = qv.high > 0 ? qv.high : qv.last;
                t.low = qv.low > 0 ? qv.low : qv.last;
                t.prev_close = qv.prevclose > 0 ? qv.prevclose : qv.last;
                t.cumulative_volume = qv.volume;
                t.date_ms = now_ms;
                ticks.push_back(std::move(t));
            }
        }
        const bool long_prices = hub_.long_prices();
        std::vector<std::string> lines;
        for (StreamTick& t : ticks) {
            t.long_prices = long_prices;
            t.size = 100 * static_cast<std::int64_t>(1 + rng_() % 5);
            t.seq = ++seq_;
            if (summaries) {
                if (wants("summary")) lines.push_back(summary_line(t));
                continue;
            }
            if (wants("quote")) lines.push_back(quote_line(t));
            if (wants("trade")) lines.push_back(trade_line(t, "trade"));
            if (ticks_ % 2 == 0 && wants("tradex")) lines.push_back(trade_line(t, "tradex"));
            if (ticks_ % 3 == 0 && wants("timesale")) lines.push_back(timesale_line(t));
        }
        return lines;
    }

    /// With linebreak, lines go out one to four to a frame, each ending in a line break;
    /// without it, one message per frame.
    void send_lines(const std::vector<std::string>& lines) {
        std::size_t i = 0;
        while (i < lines.size()) {
            const std::size_t take = view_.linebreak ? 1 + rng_() % 4 : 1;
            std::string frame;
            for (std::size_t n = 0; n < take && i < lines.size(); ++n, ++i) {
                frame += lines[i];
                if (view_.linebreak) frame += '\n';
            }
            enqueue(std::move(frame));
        }
    }

    void send_line(const std::string& line, bool linebreak) {
        enqueue(linebreak ? line + "\n" : line);
    }

    void apply(const StreamFault& fault) {
        switch (fault.kind) {
            case StreamFaultKind::close_frame:
                closing_ = true;
                ws_.async_close(websocket::close_code::normal,
                                [self = shared_from_this()](error_code) { self->finish(); });
                break;
            case StreamFaultKind::drop: {
                error_code ignored;
                beast::get_lowest_layer(ws_).socket().shutdown(asio::socket_base::shutdown_both,
                                                               ignored);
                beast::get_lowest_layer(ws_).socket().close(ignored);
                finish();
                break;
            }
            case StreamFaultKind::stall:
                stalled_until_ = fault.stall_ms > 0 ? std::chrono::steady_clock::now() +
                                                          std::chrono::milliseconds(fault.stall_ms)
                                                    : std::chrono::steady_clock::time_point::max();
                break;
            case StreamFaultKind::error_frame:
                send_line(error_line(fault.text.empty() ? "Session expired" : fault.text),
                          view_.linebreak);
                break;
            case StreamFaultKind::malformed: {
                const std::string symbol = view_.symbols.empty() ? "SPY" : view_.symbols.front();
                send_line("{\"type\":\"trade\",\"symbol\":\"" + symbol + "\",\"price\":\"1",
                          view_.linebreak);
                break;
            }
        }
    }

    void enqueue(std::string frame) {
        if (closed_ || closing_) return;
        out_.push_back(std::move(frame));
        if (!writing_) write_next();
    }

    void write_next() {
        if (out_.empty() || closed_) {
            writing_ = false;
            return;
        }
        writing_ = true;
        ws_.text(true);
        ws_.async_write(asio::buffer(out_.front()),
                        [self = shared_from_this()](error_code ec, std::size_t) {
                            self->out_.pop_front();
                            if (ec) return self->finish();
                            self->write_next();
                        });
    }

    void finish() {
        if (closed_) return;
        closed_ = true;
        timer_.cancel();
        hub_.close_connection(view_.connection);
    }

    websocket::stream<beast::tcp_stream> ws_;
    asio::steady_timer timer_;
    SimState& state_;
    StreamHub& hub_;
    beast::flat_buffer in_;
    std::deque<std::string> out_;
    bool writing_ = false;
    bool closing_ = false;
    bool closed_ = false;
    std::optional<std::chrono::steady_clock::time_point> stalled_until_;
    StreamSubscriptionView view_;
    std::mt19937 rng_;
    std::int64_t ticks_ = 0;
    std::int64_t seq_ = 0;
};

/// Answers an upgrade request for a path that has no feed.
void refuse(std::unique_ptr<UpgradeRequest> up) {
    auto socket = std::make_shared<asio::ip::tcp::socket>(std::move(up->socket));
    auto res = std::make_shared<http::response<http::string_body>>(http::status::not_found, 11);
    res->set(http::field::content_type, "text/plain");
    res->body() = "Not Found";
    res->keep_alive(false);
    res->prepare_payload();
    http::async_write(*socket, *res, [socket, res](error_code, std::size_t) {
        error_code ignored;
        socket->shutdown(asio::socket_base::shutdown_both, ignored);
        socket->close(ignored);
    });
}

}  // namespace

UpgradeHandler make_stream_upgrade_handler(SimState& state, StreamHub& hub) {
    return [&state, &hub](std::unique_ptr<UpgradeRequest> up) {
        const std::string target(up->request.target());
        if (target.substr(0, target.find('?')) != kEventsPath) return refuse(std::move(up));
        auto connection = std::make_shared<StreamConnection>(std::move(up->socket), state, hub);
        connection->start(std::move(up->request));
    };
}

}  // namespace ostrel::sim
