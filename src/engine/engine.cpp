// Engine construction and destruction, saving its settings, and the helpers its steps share.
#include "engine/engine.hpp"

#include "config/data_locations.hpp"
#include "config/settings_file.hpp"
#include "log/activity_log.hpp"

namespace ostrel {

Engine::Engine() : Engine(data_directory()) {}

Engine::Engine(std::string data_dir)
    : data_dir_(with_trailing_separator(std::move(data_dir))),
      paper_(data_dir_, 25000.0),
      pdt_(data_dir_) {
    // The members above start at their defaults: an unconfigured client, the paper book with
    // $25,000, no live broker, market state "unknown". The state store deals with its own failures;
    // the engine starts either way.
    (void)store_.open(data_dir_ + "ostrel_state.db");
    store_.set_error_reporter([](const std::string& error) { log_error("ENGINE", error); });

    // Settings: the first readable candidate file, else the defaults.
    settings_ = load_settings(data_dir_, program_directory());
    live_trading_ = settings_.live_trading;
    pdt_protection_ = settings_.enable_pdt_protection;
    auto_scout_ = settings_.enable_auto_scout;

    // Each watchlist ticker's stored state (or a fresh one).
    for (const std::string& ticker : settings_.watchlist) {
        SymbolState state = store_.load(ticker);
        state.symbol = ticker;
        states_[ticker] = std::move(state);
    }

    // Fills of both journals, for day-trade counting.
    pdt_.load();
}

Engine::~Engine() {
    stop();
    save_settings();
    connected_ = false;
    client_.stop_stream();
}

Settings Engine::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

std::string Engine::watchlist_message() const {
    std::lock_guard lock(mutex_);
    return watchlist_message_;
}

void Engine::set_switch_locked(bool Settings::*field, std::atomic<bool>& flag, bool value) {
    settings_.*field = value;
    flag = value;
}

void Engine::save_settings() {
    Settings copy;
    {
        std::lock_guard lock(mutex_);
        copy = settings_;
    }
    const auto written = write_settings(data_dir_ + "settings.json", copy);
    if (written) return;
    log_error("CONFIG", written.error());
    std::lock_guard lock(mutex_);
    watchlist_message_ = "Could not save watchlist: " + written.error();
}

TradingContext Engine::trading_context() {
    TradingContext ctx;
    {
        std::lock_guard lock(mutex_);
        ctx.settings = settings_;
    }
    ctx.live = live_trading_;
    ctx.pdt_protection = pdt_protection_;
    ctx.live_broker = live_broker_.get();
    ctx.paper = &paper_;
    ctx.pdt = &pdt_;
    ctx.live_balances = [this] { return client_.balances(); };
    ctx.store_account = [this](const AccountSnapshot& snap) { store_account(snap); };
    ctx.list_orders = [this] { return client_.orders(); };
    return ctx;
}

void Engine::store_account(const AccountSnapshot& snapshot) {
    std::lock_guard lock(mutex_);
    equity_ = snapshot.equity;
    buying_power_ = snapshot.buying_power;
    cash_ = snapshot.cash;
}

void Engine::save_state(const SymbolState& state) {
    (void)store_.save(state);  // a failure is reported once by the store's reporter
}

void Engine::write_back(const SymbolState& state) {
    save_state(state);
    std::lock_guard lock(mutex_);
    const auto it = states_.find(state.symbol);
    if (it != states_.end()) it->second = state;
}

}  // namespace ostrel
