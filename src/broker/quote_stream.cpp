// The quote stream's thread: session, connect, subscribe, apply messages, reconnect.
#include "broker/quote_stream.hpp"
#include "broker/rest_url.hpp"

#include <chrono>
#include <cstdlib>
#include <utility>

#include "broker/tradier_client.hpp"
#include "log/activity_log.hpp"
#include "platform/wall_clock.hpp"

namespace ostrel {

namespace {}  // namespace

std::string default_stream_url() {
    const char* value = std::getenv("OSTREL_STREAM_URL");
    if (value != nullptr && *value != '\0') return value;
    return kProductionStreamUrl;
}

std::expected<StreamSession, std::string> open_stream_session(TradierClient& client,
                                                              const std::string& fallback_url) {
    auto response = client.request("POST", "/markets/events/session");
    if (!response) return std::unexpected(response.error());
    return parse_stream_session(response->body, fallback_url);
}

QuoteStream::QuoteStream(TradierClient& client, QuoteStreamOptions options)
    : client_(client), options_(std::move(options)) {}

QuoteStream::~QuoteStream() {
    stop();
}

void QuoteStream::start() {
    std::lock_guard control(control_mutex_);
    bool expected = false;
    if (!client_.stream_running().compare_exchange_strong(expected, true)) return;
    if (thread_.joinable()) thread_.join();  // a loop that ended without stop() having joined it
    thread_ = std::thread([this] { run(); });
}

void QuoteStream::stop() {
    std::lock_guard control(control_mutex_);
    client_.stream_running() = false;
    std::shared_ptr<WebSocketClient> current;
    {
        std::lock_guard lock(socket_mutex_);
        current = socket_;
        wake_.notify_all();  // a pause ends now
    }
    if (current) current->close();  // a blocked receive fails and the loop ends
    if (thread_.joinable()) thread_.join();
    {
        std::lock_guard lock(socket_mutex_);
        socket_.reset();
    }
    client_.set_stream_status_text("SIP idle");
}

std::shared_ptr<WebSocketClient> QuoteStream::socket() const {
    std::lock_guard lock(socket_mutex_);
    return socket_;
}

bool QuoteStream::pause(std::chrono::milliseconds pause) {
    std::unique_lock lock(socket_mutex_);
    return !wake_.wait_for(lock, pause, [this] { return !client_.stream_running().load(); });
}

void QuoteStream::run() {
    log_info("TRADIER", "SIP WebSocket starting (ticks do not count against the REST cap).");
    client_.set_stream_status_text("SIP connecting");
    while (client_.stream_running())
        one_pass();
    client_.set_stream_status_text("SIP idle");
}

void QuoteStream::one_pass() {
    auto& running = client_.stream_running();

    const std::vector<std::string> tickers = client_.stream_tickers();
    if (!tickers.empty()) {
        // Seeds the cache so the tickers have prices before the first streamed line.
        if (auto seeded = client_.quotes(tickers); !seeded)
            log_info("TRADIER", "SIP seed quotes: " + seeded.error());
    }

    // Read on every pass, so an override set after the client was built (--demo) counts.
    const std::string fallback =
        options_.fallback_url.empty() ? default_stream_url() : options_.fallback_url;
    auto session = open_stream_session(client_, fallback);
    if (!running) return;
    if (!session) {
        client_.set_stream_status_text("SIP session failed");
        log_error("TRADIER", session.error());
        pause(options_.retry_pause);
        return;
    }

    // Plain ws:// would carry the session in clear text: only to this machine.
    if (auto refused = refused_stream_url(session->url)) {
        client_.set_stream_status_text("SIP URL refused");
        log_error("TRADIER", *refused);
        pause(options_.retry_pause);
        return;
    }

    auto ws = std::make_shared<WebSocketClient>(options_.socket);
    std::shared_ptr<WebSocketClient> previous;
    {
        std::lock_guard lock(socket_mutex_);
        // Checked under the lock stop() takes, so stop either sees this socket or we see it.
        if (!running) return;
        previous = std::exchange(socket_, ws);
    }
    previous.reset();  // closes the last connection, outside the lock

    if (auto connected = ws->connect(session->url); !connected) {
        if (!running) return;
        client_.set_stream_status_text("SIP handshake failed");
        log_error("TRADIER", connected.error());
        pause(options_.retry_pause);
        return;
    }
    if (!subscribe(session->sessionid)) {
        ws->close();
        if (running) pause(options_.retry_pause);
        return;
    }
    log_info("TRADIER",
             "SIP connected " + session->url + " session " + session->sessionid.substr(0, 8));

    const QuoteWriter write = [this](const std::string& symbol,
                                     const std::function<void(Quote&)>& update) {
        client_.update_cached_quote(symbol, update);
    };
    while (running) {
        if (!ws->is_open()) break;
        if (client_.stream_symbols_changed() && !subscribe(session->sessionid)) break;
        auto message = ws->receive();
        if (message) {
            for (const std::string& failure : handle_stream_text(*message, write, now_ms()))
                log_info("TRADIER", "SIP: " + failure);
            continue;
        }
        if (message.error() == "timeout") continue;
        if (running) log_info("TRADIER", "SIP socket: " + message.error());
        break;
    }
    ws->close();
    if (running) {
        client_.set_stream_status_text("SIP reconnecting");
        pause(options_.reconnect_pause);
    }
}

bool QuoteStream::subscribe(const std::string& sessionid) {
    // Lowered before the list is read: a list handed over while we send raises it again and
    // is subscribed on the next turn instead of being lost.
    client_.stream_symbols_changed() = false;
    const std::vector<std::string> tickers = client_.stream_tickers();
    const std::string message = build_subscribe_message(sessionid, tickers);
    auto ws = socket();
    if (!ws) {
        client_.stream_symbols_changed() = true;
        return false;
    }
    if (auto sent = ws->send_text(message); !sent) {
        client_.stream_symbols_changed() = true;
        // A send cut short by stop() is no news.
        if (client_.stream_running()) log_error("TRADIER", "SIP subscribe: " + sent.error());
        return false;
    }
    client_.set_stream_status_text("SIP live (" + std::to_string(tickers.size()) + " symbols)");
    return true;
}

}  // namespace ostrel
