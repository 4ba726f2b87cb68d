// The simulator's streaming half as tests see it: stream sessions, faults to inject into the
// WebSocket feed, and what the connected clients subscribed to.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ostrel::sim {

class Simulator;

/// Faults the feed can show on demand.
enum class StreamFaultKind {
    close_frame,  ///< a normal close frame (1000), then the connection ends
    drop,         ///< the TCP connection is cut without a close frame
    stall,        ///< nothing is sent for `stall_ms` (0: until the connection ends)
    error_frame,  ///< one {"error":text} line
    malformed,    ///< one line that is not valid JSON
};

/// One fault, taken by the next tick of a connected feed.
struct StreamFault {
    StreamFaultKind kind = StreamFaultKind::close_frame;
    int stall_ms = 0;
    std::string text;  ///< error_frame: the error text (default "Session expired")
};

/// What one connected client asked for.
struct StreamSubscriptionView {
    int connection = 0;  ///< 1 for the first connection accepted, counting up
    std::string sessionid;
    std::vector<std::string> symbols;
    std::vector<std::string> filter;  ///< empty: every type
    bool linebreak = false;
    int subscribes = 0;  ///< valid subscribe messages received on this connection
    bool open = true;
};

/// Outcome of presenting a session id in a subscribe message.
enum class SessionCheck { ok, unknown, expired };

/// Thread-safe; shared by the HTTP route, the WebSocket connections and the tests.
class StreamHub {
  public:
    /// Unused sessions expire after this long.
    static constexpr std::chrono::minutes kSessionLifetime{5};

    // --- sessions ---
    /// Creates a session and returns its id.
    std::string create_session();
    /// Marks the session used; an unused one older than its lifetime is expired.
    SessionCheck use_session(const std::string& id);
    /// Ages every unused session past its lifetime (as if five minutes had gone by).
    void expire_unused_sessions();
    int sessions_created() const;

    // --- how the session answer and the feed look ---
    /// The url the session answer names; empty (default) names this simulator's own
    /// http:// events URL, which is not a wss:// URL, as the broker names its HTTP host.
    void set_session_url(std::string url);
    /// The url the session answer names now.
    std::string session_url() const;
    /// The simulator's port, for its own events URL.
    void set_port(std::uint16_t port);
    /// "sessionid" (default) or "sessionId": the member name of the session answer.
    void set_session_id_key(std::string key);
    std::string session_id_key() const;
    /// Time between two feed ticks (default 200 ms).
    void set_tick_interval(std::chrono::milliseconds interval);
    std::chrono::milliseconds tick_interval() const;
    /// Writes string prices with four decimals ("281.1200").
    void set_long_prices(bool on);
    bool long_prices() const;

    // --- faults ---
    void inject(StreamFault fault);
    std::optional<StreamFault> take_fault();
    void clear_faults();

    // --- what the connections did ---
    int connections_accepted() const;
    /// Every connection so far, oldest first.
    std::vector<StreamSubscriptionView> subscriptions() const;
    /// The raw text of every message the clients sent, in arrival order.
    std::vector<std::string> received_messages() const;

    // Called by the connections.
    int register_connection();
    void note_message(const std::string& text);
    void update_connection(const StreamSubscriptionView& view);
    void close_connection(int connection);

  private:
    struct Session {
        std::chrono::steady_clock::time_point created;
        bool used = false;
        bool aged = false;
    };

    mutable std::mutex mutex_;
    std::map<std::string, Session> sessions_;
    std::uint64_t session_counter_ = 0;
    int sessions_created_ = 0;
    std::string session_url_;
    std::uint16_t port_ = 0;
    std::string session_id_key_ = "sessionid";
    std::chrono::milliseconds tick_interval_{200};
    bool long_prices_ = false;
    std::deque<StreamFault> faults_;
    int connections_ = 0;
    std::vector<StreamSubscriptionView> views_;
    std::vector<std::string> received_;
};

/// "ws://127.0.0.1:PORT/v1/markets/events" of a running simulator.
std::string stream_url(const Simulator& simulator);

}  // namespace ostrel::sim
