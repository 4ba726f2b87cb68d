// The Engine: the bot's state for the whole run, its lock, and the worker thread that ticks it.
//
// Layout for contributors: members are declared in construction order (destruction runs in
// reverse), so a new member goes after the ones it needs; its operations go in their own
// engine_*.cpp file with the declarations grouped here.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "broker/broker_records.hpp"
#include "broker/ibroker.hpp"
#include "broker/sim_broker.hpp"
#include "broker/tradier_client.hpp"
#include "committees/decision.hpp"
#include "config/settings.hpp"
#include "config/settings_file.hpp"
#include "engine/analysis_shelf.hpp"
#include "engine/chart_memory.hpp"
#include "engine/engine_scout.hpp"
#include "engine/engine_tick_rules.hpp"
#include "engine/hold_timed_mutex.hpp"
#include "engine/pdt_guard.hpp"
#include "engine/quote_age.hpp"
#include "engine/trading_context.hpp"
#include "engine/view_records.hpp"
#include "state/symbol_state.hpp"
#include "store/order_intents.hpp"
#include "store/symbol_state_store.hpp"

namespace ostrel {

struct TickerAnalysis;
struct TriggerSelection;

/// Trims surrounding whitespace and upper-cases a typed ticker (inner spaces stay).
std::string normalise_ticker(const std::string& text);

/// The longest ticker the Monitor list takes; broker symbols are far shorter, and one long
/// entry would break every batched quote request.
inline constexpr std::size_t kMaxTickerLength = 10;

/// A normalised ticker the broker could know: 1 to kMaxTickerLength characters, a letter
/// first, then letters, digits, '.', '-' or '/' (BRK.B, BF-B).
bool is_plausible_ticker(const std::string& ticker);

class Engine {
  public:
    /// Loads the settings from the data folder, opens the state store and loads the Monitor
    /// list's states and the fill journals. Talks to no broker.
    Engine();
    /// The same, with every file in `data_dir` (ends with a separator) instead of the data
    /// folder, settings included (no other folder is read); the REST base still comes from
    /// OSTREL_REST_URL or client().
    explicit Engine(std::string data_dir);
    /// The same with the client's steady clock and sleep replaced, so the request budget can
    /// run on a simulated clock (the Scout benchmark).
    Engine(std::string data_dir, SteadySource steady);
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
    /// Asks every thread to end without waiting for any: the tick stops between tickers, REST
    /// exchanges in flight are cut (an order already sent runs to its answer), a connect in
    /// progress fails. Safe from any thread; stop() or disconnect() then joins and clears it.
    void request_stop();
    /// Cuts the worker's pause short: the next tick starts within about 100 ms.
    void wake() { wake_ = true; }
    /// One cycle of the worker. Only the worker thread calls it while the worker runs.
    void tick();

    bool running() const { return running_; }
    bool connected() const { return connected_; }
    bool scout_running() const { return scout_.running; }
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

    // --- connecting and switches (engine_connect.cpp) ---

    /// Configures the client, probes, reads balances and the clock, starts the quote stream,
    /// saves the settings and reconciles once. Makes REST calls; never under the engine lock.
    ConnectResult connect();
    /// Sets the token and account kind used by the next connect (and saved with the settings).
    void set_credentials(const std::string& token, bool production);
    /// A token that connect uses instead of the saved one and never writes to settings.json
    /// (the demo's); empty goes back to the saved token.
    void set_session_token(const std::string& token);
    void set_live_trading(bool on);
    void set_pdt_protection(bool on);

    // --- views, copies taken under the engine lock (engine_views.cpp) ---

    AccountSummary account_summary() const;
    /// Every state with its price refreshed from the quote cache, sorted by ticker.
    std::vector<SymbolState> monitor_rows() const;
    /// Tickers holding at least one share, sorted by ticker.
    std::vector<HoldingRow> holding_rows() const;
    /// A copy of one ticker's state, if it is on the Monitor list.
    std::optional<SymbolState> state_of(const std::string& ticker) const;
    std::string market_state() const;
    /// Day trades counted in the rolling five-weekday window.
    int day_trade_count() const { return pdt_.count(); }
    /// The last scout's ranked candidates, in their stored order.
    std::vector<ScoutCandidate> scout_rows() const;
    /// The Scout's progress line (its last log line, or why it is idle).
    std::string scout_status() const;
    /// The Monitor ticker whose cached quote is oldest (one without a quote counts as oldest).
    OldestQuote oldest_quote() const;
    /// Monitor tickers whose daily snapshot and gaps are kept for their next evaluation.
    std::size_t kept_daily_analyses() const { return kept_analyses_.size(); }
    /// The longest the engine lock was held at once since the start or the last reset (ns).
    std::int64_t longest_lock_hold_ns() const { return mutex_.longest_hold_ns(); }
    /// The most CPU time spent in one hold; 0 unless timed on the thread clock.
    std::int64_t longest_lock_cpu_ns() const { return mutex_.longest_cpu_hold_ns(); }
    /// Every hold timed on the thread clock: the holder's CPU time and the wall clock.
    const HoldHistogram& lock_cpu_holds() const { return mutex_.cpu_holds(); }
    const HoldHistogram& lock_wall_holds() const { return mutex_.wall_holds(); }
    /// Forgets the longest holds and the histograms.
    void reset_longest_lock_hold() { mutex_.reset_longest_hold(); }
    /// Times every hold on the holder's thread clock too (benchmarks: two system calls a hold).
    void time_lock_on_thread_clock(bool on) { mutex_.use_thread_clock(on); }

    // --- the Connection tab and the account strip (engine_connection_views.cpp) ---

    /// The switches, counts, stream, budget, market and account lines of the Connection tab
    /// (not const: reading the budget forgets the sends that left its one-minute window).
    ConnectionView connection_view();
    SpendRule spend_rule() const;

    // --- chart and paper views, copies that make no request (engine_chart_views.cpp) ---

    /// The ticker's bars of its last evaluation, the levels of its lot and order, its fills.
    ChartView chart_view(const std::string& ticker) const;
    /// The equity of every tick since the engine started (thinned when very long).
    std::vector<EquitySample> equity_samples() const;
    /// The newest `newest` fills of the paper book, oldest first.
    std::vector<PaperFillRow> paper_fills(std::size_t newest) const;
    /// The paper book's realized P&L after each of its sells.
    std::vector<RealizedPoint> paper_realized_curve() const;

    // --- the Monitor list (engine_monitor.cpp) ---

    /// Adds a typed ticker; false when the text is empty after normalising.
    bool add_ticker(const std::string& text);
    /// Removes a ticker unless it holds shares or has an order in flight.
    void remove_ticker(const std::string& ticker);
    /// Makes `list` (normalised, without repeats) the Monitor list and the states map.
    void rebuild_watchlist(const std::vector<std::string>& list);

    // --- the Scout (engine_scout*.cpp) ---

    /// Starts a scout run on its own thread; nothing while disconnected or while one runs.
    void start_scout();
    /// Merges the last scout's passing picks into the Monitor list; `auto_prune` drops the
    /// tickers without a lot or an order.
    void apply_picks(bool auto_prune);
    /// The "Auto-scout through the day" switch.
    void set_auto_scout(bool on);

    // --- trading (engine_evaluate*.cpp, engine_reconcile*.cpp) ---

    /// One evaluation cycle of a Monitor ticker; nothing happens while disconnected.
    void evaluate(const std::string& ticker);
    /// Brings the states in line with the broker (live) or the paper book (paper).
    void reconcile();

    /// Lets tests pin what the analysis decided before the engine acts on it.
    using AnalysisHook = std::function<void(const std::string& ticker, TickerAnalysis&)>;
    void set_analysis_hook(AnalysisHook hook);

    /// Replaces the quote ages the tick and the entry rule work with (tests shorten them).
    void set_quote_limits(const QuoteLimits& limits);

    /// The broker client (tests and the demo point it at the simulator before connecting).
    TradierClient& client() { return client_; }
    SimBroker& paper_broker() { return paper_; }
    const std::string& data_dir() const { return data_dir_; }

  private:
    /// `settings_fallbacks`: also read settings from the program folder, its parent and the
    /// working directory when the data folder has none (only for the default data folder).
    Engine(std::string data_dir, bool settings_fallbacks, SteadySource steady);

    // Worker thread body and its pause.
    void worker_loop(std::uint64_t max_ticks);
    void pause_between_ticks();

    // Tick steps, in the order tick() runs them (engine_tick.cpp).
    /// An order in flight, or a resting stop/target the tape has reached: reconcile now.
    bool any_order_in_flight();
    void poll_market_clock(std::int64_t now_ns);
    void fetch_preopen_quotes();
    /// Regular hours: one batched REST quotes call for the stale Monitor quotes, and a restart
    /// of a stream that went quiet for a ticker that trades (engine_tick_quotes.cpp).
    void refresh_stale_quotes();
    std::vector<std::string> monitor_tickers() const;
    void check_auto_scout();
    void reconcile_when_due(std::int64_t now_ns, bool busy);
    /// What the tick's planning step reads of each state, in map order (engine lock held).
    std::vector<TickRow> tick_rows_locked() const;
    void seed_missing_prices(const std::vector<std::string>& tickers);
    void evaluate_in_order(const std::vector<std::string>& tickers);
    void mark_paper_book();
    /// Keeps the equity of this tick for the chart.
    void sample_equity();
    /// Keeps a copy of the bars an evaluation fetched for the chart.
    void remember_chart_series(const std::string& ticker, const TriggerSelection& selection);

    /// Sets one of the lock-free switches together with its settings field (engine lock held
    /// by the caller), so a saved copy never disagrees with what the worker sees.
    void set_switch_locked(bool Settings::*field, std::atomic<bool>& flag, bool value);

    /// What the trading rules need for one call, built from the members.
    TradingContext trading_context();
    void store_account(const AccountSnapshot& snapshot);
    /// The one writer of the account numbers; the caller holds the engine lock.
    void store_account_locked(const AccountSnapshot& snapshot);
    void save_state(const SymbolState& state);
    /// Saves the copy and writes it back into the map if the ticker is still listed.
    void write_back(SymbolState state);
    /// What an evaluation does with its decision: the open lot, the pending order, the entry and
    /// protection.
    void trade_on_evaluation(SymbolState& s, const TickerAnalysis& a, const Quote& quote,
                             double mark, double atr, bool market_open, MarketPhase phase);
    void plan_entry(const TradingContext& ctx, SymbolState& s, const TickerAnalysis& a,
                    const Quote& quote, double mark, double atr, MarketPhase phase);
    void reconcile_paper();
    void reconcile_live();
    /// Counts the passes each live lot has gone without a stop resting at the broker and
    /// reports the lots that are unprotected (engine_protection_watch.cpp).
    void watch_protection(const std::unordered_map<std::string, BrokerOrder>& listed,
                          const std::unordered_map<std::string, BrokerOrder>& looked_up,
                          bool orders_listed);
    /// Ties each recorded order intent to the broker's order, or shows it never arrived; a
    /// ticker whose intent cannot be checked stays frozen (engine_reconcile_intents.cpp).
    void resolve_order_intents(const std::expected<std::vector<BrokerOrder>, std::string>& orders);

    // The scout thread's body and its progress line (engine_scout_run.cpp).
    void scout_run();
    void scout_log(const std::string& text);
    /// The stored market clock with its state filled from the market-state word when unknown,
    /// and that word (engine_scout_schedule.cpp).
    std::pair<MarketClock, std::string> schedule_clock() const;

    // ---- members, in construction order ----
    std::string data_dir_;        ///< where settings, database and journals live (ends with '/')
    SettingsFile settings_file_;  ///< what the load found, so a save loses nothing
    Settings settings_;
    TradierClient client_;
    SimBroker paper_;
    std::unique_ptr<IBroker> live_broker_;  ///< set to a TradierBroker on each connect
    SymbolStateStore store_;
    OrderIntentStore intents_;  ///< in the same database file as store_
    /// The engine lock; never held across network or disk I/O. It keeps its longest hold.
    mutable HoldTimedMutex mutex_;
    std::unordered_map<std::string, SymbolState> states_;  ///< engine lock
    AccountSnapshot account_;               ///< the last account numbers read; engine lock
    MarketContext market_context_;          ///< engine lock; never changes after construction
    std::string market_state_ = "unknown";  ///< the broker clock's state word; engine lock
    MarketClock market_clock_;              ///< engine lock
    std::atomic<bool> running_{false};
    std::atomic<bool> connected_{false};
    std::thread worker_;
    EngineScout scout_;
    std::int64_t last_clock_poll_ns_ = 0;      ///< worker only
    std::int64_t last_reconcile_ns_ = 0;       ///< worker only
    std::int64_t last_stream_restart_ms_ = 0;  ///< wall clock, 0 = never; worker only
    std::atomic<bool> wake_{false};
    std::atomic<bool> stopping_{false};  ///< a stop was asked for; the tick ends between tickers
    std::string watchlist_message_;      ///< engine lock
    /// Reconciliation passes in a row without a resting stop, per live lot; engine lock.
    std::unordered_map<std::string, int> stopless_passes_;
    /// Passes in a row our own exit sell has held a lot's shares in place of its stop; engine lock.
    std::unordered_map<std::string, int> exit_passes_;
    static constexpr int kUnprotectedAfterPasses = 2;
    /// Evaluation rounds done, and the round of the last pass the watchdog counted: a pass with
    /// no round since the last (a connect's pass and the first tick's) gave no chance to place a
    /// stop, and is not counted against the lot.
    std::atomic<std::uint64_t> evaluations_done_{0};
    std::uint64_t watched_round_ = ~std::uint64_t{0};  ///< engine lock
    std::string session_token_;    ///< engine lock; overrides the saved token when set
    PdtGuard pdt_;                 ///< loaded from the two fill journals
    ChartMemory chart_;            ///< engine lock
    AnalysisShelf kept_analyses_;  ///< its own lock

    // Lock-free mirrors of settings_.live_trading, .enable_pdt_protection, .enable_auto_scout.
    std::atomic<bool> live_trading_{false};
    std::atomic<bool> pdt_protection_{true};
    std::atomic<bool> auto_scout_{false};
    std::atomic<std::uint64_t> ticks_completed_{0};
    std::mutex hook_mutex_;
    AnalysisHook analysis_hook_;  ///< hook_mutex_
    std::atomic<std::int64_t> quote_refresh_age_ms_{kQuoteRefreshAgeMs};
    std::atomic<std::int64_t> quote_entry_max_age_ms_{kQuoteEntryMaxAgeMs};
    std::atomic<std::int64_t> stream_silence_ms_{kStreamSilenceMs};
};

}  // namespace ostrel
