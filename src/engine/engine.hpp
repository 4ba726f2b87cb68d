// The Engine: the bot's state for the whole run, its lock, and the worker thread that ticks it.
//
// Layout for contributors: members are declared in construction order (destruction runs in
// reverse). Each member that arrives with a later piece of work has a marked slot below; put
// it there so the order stays right, and put its operations in their own engine_*.cpp file
// (or src/scout/*.cpp for the scout operations) with the declarations grouped here.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "committees/decision.hpp"
#include "config/settings.hpp"
#include "engine/engine_tick_rules.hpp"

namespace ostrel {

class Engine {
  public:
    static constexpr const char* kIdleScoutStatus = "Idle — run Scout to rank liquid uptrends";

    /// Loads the settings from the data folder (and, as they arrive, opens the state store,
    /// loads the Monitor list's states and the fill journals). Talks to no broker.
    Engine();
    /// Stops the threads, saves settings.json and releases the members in reverse order.
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // --- worker and threads (engine_worker.cpp) ---

    /// Starts the worker unless it runs already. With `max_ticks` > 0 the worker ends by
    /// itself after that many ticks (the headless runner's --ticks).
    void start_worker(std::uint64_t max_ticks = 0);
    /// Stops the worker and scout threads and joins them. Never call it from those threads.
    void stop();
    /// stop(), then forgets the connection and stops the quote stream.
    void disconnect();
    /// Cuts the worker's pause short: the next tick starts within about 100 ms.
    void wake() { wake_ = true; }
    /// One cycle of the worker. Only the worker thread calls it while the worker runs.
    void tick();

    bool running() const { return running_; }
    bool connected() const { return connected_; }
    bool scout_running() const { return scout_running_; }
    /// Ticks finished since construction.
    std::uint64_t ticks_completed() const { return ticks_completed_; }

    // --- settings (engine.cpp) ---

    /// Writes settings.json from a copy taken under the engine lock. A failure is logged with
    /// tag CONFIG and shown under the Monitor list.
    void save_settings();
    /// A copy of every settings field, taken under the engine lock.
    Settings settings() const;
    /// The switches the worker and scout threads read on every pass, without the lock.
    bool live_trading() const { return live_trading_; }
    bool pdt_protection() const { return pdt_protection_; }
    bool auto_scout() const { return auto_scout_; }
    /// The line shown under the Monitor list (empty when all is well).
    std::string watchlist_message() const;

    // --- later operations: connect and the views (engine_connect.cpp, engine_views.cpp),
    // evaluation, reconciliation, the Monitor list, scout runs and the day-trade count are
    // declared here as they arrive.

  private:
    // Worker thread body and its pause.
    void worker_loop(std::uint64_t max_ticks);
    void pause_between_ticks();

    // Tick steps, in the order tick() runs them (engine_tick.cpp).
    bool any_order_in_flight();
    void poll_market_clock(std::int64_t now_ns);
    void fetch_preopen_quotes();
    void check_auto_scout();
    void reconcile_when_due(std::int64_t now_ns, bool busy);
    TickPlan plan_tick_locked();
    void seed_missing_prices(const std::vector<std::string>& tickers);
    void evaluate_in_order(const std::vector<std::string>& tickers);
    void mark_paper_book();

    /// Sets one of the lock-free switches together with its settings field (engine lock held
    /// by the caller), so a saved copy never disagrees with what the worker sees.
    void set_switch_locked(bool Settings::*field, std::atomic<bool>& flag, bool value);

    // ---- members, in construction order ----
    Settings settings_;
    // client_: TradierClient (request budget, quote cache, bar cache, quote stream).
    // paper_: SimBroker with starting cash 25000.00.
    // live_broker_: std::unique_ptr<IBroker>, set to a TradierBroker on each connect.
    // store_: SymbolStateStore on data_directory() + "ostrel_state.db".
    mutable std::mutex mutex_;  ///< the engine lock; never held across network or disk I/O
    // states_: hash map ticker -> SymbolState, one per watchlist ticker (engine lock).
    double equity_ = 0.0;                   ///< engine lock
    double buying_power_ = 0.0;             ///< engine lock
    double cash_ = 0.0;                     ///< engine lock
    MarketContext market_context_;          ///< engine lock; never changes after construction
    std::string market_state_ = "unknown";  ///< the broker clock's state word; engine lock
    // market_clock_: MarketClock, state "unknown" (engine lock).
    std::atomic<bool> running_{false};
    std::atomic<bool> connected_{false};
    std::thread worker_;
    std::thread scout_thread_;
    std::atomic<bool> scout_running_{false};
    std::atomic<bool> scout_cancel_{false};
    std::string scout_status_ = kIdleScoutStatus;  ///< engine lock
    // scout_results_: std::vector<ScoutCandidate> (engine lock).
    std::int64_t last_clock_poll_ns_ = 0;  ///< worker only
    std::int64_t last_reconcile_ns_ = 0;   ///< worker only
    // auto-scout bookkeeping: last run instant and its note (engine lock).
    std::atomic<bool> wake_{false};
    std::string watchlist_message_;  ///< engine lock
    // pdt_: PdtGuard loaded from the two fill journals.

    // Lock-free mirrors of settings_.live_trading, .enable_pdt_protection, .enable_auto_scout.
    std::atomic<bool> live_trading_{false};
    std::atomic<bool> pdt_protection_{true};
    std::atomic<bool> auto_scout_{false};
    std::atomic<std::uint64_t> ticks_completed_{0};
};

}  // namespace ostrel
