// Engine construction and destruction, saving its settings, and the helpers its steps share.
#include "engine/engine.hpp"

#include <cstdlib>

#include "config/data_locations.hpp"
#include "config/settings_file.hpp"
#include "log/activity_log.hpp"
#include "platform/http_client.hpp"

namespace ostrel {

namespace {

void restore_paper_book(SimBroker& paper,
                        const std::unordered_map<std::string, SymbolState>& states) {
    const PaperRestore restored = paper.restore_from_blotter();
    if (!restored.problem.empty()) log_error("PAPER", restored.problem);
    int stops = 0;
    for (const auto& [ticker, s] : states) {
        // Ids of the live broker are numbers; restore_* refuses anything but paper ids.
        if (!s.resting_stop_id.empty() &&
            paper.restore_stop(
                {s.resting_stop_id, ticker, s.resting_stop_qty, s.resting_stop_price, ""})) {
            ++stops;
        }
        if (!s.resting_target_id.empty() && !s.resting_oco_stop_id.empty() &&
            paper.restore_oco({s.resting_target_id, ticker, s.resting_target_qty,
                               s.resting_target_price, s.resting_oco_stop_id},
                              s.resting_oco_stop_price)) {
            ++stops;
        }
    }
    if (restored.fills > 0) {
        log_info("PAPER", "Paper book rebuilt from " + std::to_string(restored.fills) +
                              " journal fills; " + std::to_string(stops) +
                              " resting paper orders restored");
    }
}

/// What the client's own constructor reads: OSTREL_REST_URL, else the broker's hosts.
std::string rest_url_from_environment() {
    const char* value = std::getenv("OSTREL_REST_URL");
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace

Engine::Engine() : Engine(data_directory(), !data_directory_named(), SteadySource::real()) {}

Engine::Engine(std::string data_dir) : Engine(std::move(data_dir), false, SteadySource::real()) {}

Engine::Engine(std::string data_dir, SteadySource steady)
    : Engine(std::move(data_dir), false, std::move(steady)) {}

Engine::Engine(std::string data_dir, bool settings_fallbacks, SteadySource steady)
    : data_dir_(with_trailing_separator(std::move(data_dir))),
      client_(make_http_client(), std::move(steady), rest_url_from_environment()),
      paper_(data_dir_, 25000.0),
      pdt_(data_dir_) {
    // The members above start at their defaults: an unconfigured client, the paper book with
    // $25,000, no live broker, market state "unknown". A state database the store cannot use
    // is named once and left untouched; the engine goes on rather than stop: a live lot comes
    // back from the broker at the first reconciliation, a paper lot from the paper journal,
    // and stopping would leave held shares unwatched.
    if (auto opened = store_.open(data_dir_ + "ostrel_state.db"); !opened) {
        log_error("ENGINE", opened.error());
    }
    store_.set_error_reporter([](const std::string& error) { log_error("ENGINE", error); });
    if (const auto opened = intents_.open(data_dir_ + "ostrel_state.db"); !opened)
        log_error("ENGINE", "Order intents: " + opened.error());

    // Settings: the first readable candidate file, else the defaults.
    settings_ = settings_file_.load(data_dir_, program_directory(), settings_fallbacks);
    live_trading_ = settings_.live_trading;
    pdt_protection_ = settings_.enable_pdt_protection;
    auto_scout_ = settings_.enable_auto_scout;

    // Each watchlist ticker's stored state (or a fresh one). An entry no broker could know (a
    // hand-edited file) would break every quote request.
    std::erase_if(settings_.watchlist, [](const std::string& ticker) {
        if (is_plausible_ticker(normalise_ticker(ticker))) return false;
        log_error("CONFIG", "Left an entry of " + std::to_string(ticker.size()) +
                                " characters off the Monitor list: not a ticker");
        return true;
    });
    for (const std::string& ticker : settings_.watchlist) {
        SymbolState state = store_.load(ticker);
        state.symbol = ticker;
        states_[ticker] = std::move(state);
    }

    // The paper book as its journal left it, and the paper stops that rested in it: a lot held
    // overnight on paper is still held, and still protected.
    restore_paper_book(paper_, states_);

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
    const auto written =
        settings_file_.save(copy, [](const std::string& note) { log_error("CONFIG", note); });
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
    ctx.intents = &intents_;
    ctx.live_balances = [this] { return client_.balances(); };
    ctx.store_account = [this](const AccountSnapshot& snap) { store_account(snap); };
    ctx.list_orders = [this] { return client_.orders(); };
    return ctx;
}

void Engine::store_account(const AccountSnapshot& snapshot) {
    std::lock_guard lock(mutex_);
    store_account_locked(snapshot);
}

void Engine::store_account_locked(const AccountSnapshot& snapshot) {
    account_ = snapshot;
}

void Engine::save_state(const SymbolState& state) {
    // A failure is reported once by the store's reporter; an unchanged row is not rewritten.
    (void)store_.save_changed(state);
}

void Engine::write_back(SymbolState state) {
    save_state(state);
    // Swapped in, so the copy and the old state's release both happen outside the lock.
    std::lock_guard lock(mutex_);
    const auto it = states_.find(state.symbol);
    if (it != states_.end()) std::swap(it->second, state);
}

}  // namespace ostrel
