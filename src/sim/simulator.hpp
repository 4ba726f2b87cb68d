// The market simulator: a loopback HTTP server that answers like the broker and behaves like a
// market.
#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_records.hpp"

namespace ostrel::sim {

struct SimState;
class StreamHub;

/// The simulated brokerage. Every method is thread-safe and may be called while the server runs.
class Simulator {
  public:
    explicit Simulator(SimConfig config = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    /// Listens on 127.0.0.1:`port` (0 = any free port) and returns the bound port.
    std::expected<std::uint16_t, std::string> start(std::uint16_t port = 0);
    /// Stops serving and joins the server thread; safe to call twice.
    void stop();
    std::uint16_t port() const;
    /// "http://127.0.0.1:PORT/v1".
    std::string base_url() const;
    const SimConfig& config() const;

    // --- market ---
    std::vector<std::string> symbols() const;
    std::vector<std::string> etb_symbols() const;
    std::optional<QuoteView> quote(const std::string& symbol) const;
    /// Last price now; 0 for an unknown symbol.
    double price(const std::string& symbol) const;
    /// Moves the symbol's price to `price` from now on (the walk continues from there) and
    /// matches the book. False for an unknown symbol or a price that is not positive.
    bool set_price(const std::string& symbol, double price);
    /// Moves the price by a fraction (0.05 = up 5%).
    bool move_price(const std::string& symbol, double fraction);

    // --- clock (Eastern time) ---
    /// Freezes the clock at a date ("YYYY-MM-DD") and time ("HH:MM" or "HH:MM:SS").
    std::expected<void, std::string> set_clock(const std::string& date, const std::string& time);
    /// Keeps the date and moves the frozen clock to a typical time of the state
    /// (premarket 08:30, open 10:30, postmarket 17:00, closed 21:00).
    void set_clock_state(ClockState state);
    /// Moves the clock forward (frozen or running); day orders expire when it passes the close.
    void advance_clock(std::chrono::seconds by);
    /// Lets the clock follow the system clock from now on.
    void run_real_time();
    ClockView clock() const;

    // --- faults and limits ---
    void inject(const Fault& fault);
    void clear_faults();
    /// Changes a group's per-minute limit (and its X-Ratelimit-Allowed header).
    void set_rate_limit(LimitGroup group, int per_minute);
    /// Starts fresh rate-limit windows.
    void reset_rate_windows();

    // --- what was received ---
    std::vector<RequestRecord> requests() const;
    /// The requests that placed, changed or cancelled orders, in arrival order.
    std::vector<RequestRecord> order_requests() const;
    void clear_requests();

    // --- account and book ---
    std::vector<OrderView> orders() const;
    std::optional<OrderView> order(std::int64_t id) const;
    /// The book's true positions (the endpoint may lag them; see position_lag_polls).
    std::vector<PositionView> positions() const;
    AccountView account() const;
    void set_cash(double cash);
    void set_account_type(AccountType type);
    /// Sets (or with quantity 0 removes) a holding, visible at once.
    void set_position(const std::string& symbol, int quantity, double cost_basis);
    /// The next `count` orders placed are accepted and then rejected with `reason`.
    void reject_next_orders(int count, const std::string& reason,
                            const std::vector<std::string>& types = {});
    /// Runs `steps` match passes of the book against the current prices.
    void advance_book(int steps = 1);

    /// The streaming half: stream sessions, feed faults, subscriptions (sim/stream_hub.hpp).
    StreamHub& stream();

    /// Internal state, for the server and route files of this module.
    SimState& state();

  private:
    struct Server;
    std::unique_ptr<SimState> state_;
    std::unique_ptr<Server> server_;
};

}  // namespace ostrel::sim
