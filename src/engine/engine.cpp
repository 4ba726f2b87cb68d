// Engine construction and destruction, and saving its settings.
#include "engine/engine.hpp"

#include "config/data_locations.hpp"
#include "config/settings_file.hpp"
#include "ui/log/activity_log.hpp"

namespace ostrel {

Engine::Engine() {
    // 1. Members above start at their defaults; the client, paper broker and live broker are
    //    built here as they arrive.
    // 2. The state store opens data_directory() + "ostrel_state.db" here.

    // 3. Settings: the first readable candidate file, else the defaults.
    settings_ = load_settings();
    live_trading_ = settings_.live_trading;
    pdt_protection_ = settings_.enable_pdt_protection;
    auto_scout_ = settings_.enable_auto_scout;

    // 4. Each watchlist ticker's stored SymbolState goes into the states map here.
    // 5. The day-trade guard loads paper_blotter.jsonl and day_trades.jsonl here.
}

Engine::~Engine() {
    stop();
    save_settings();
    connected_ = false;
    // The quote stream is stopped here once the client exists.
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
    const auto written = write_settings(data_directory() + "settings.json", copy);
    if (written) return;
    log_error("CONFIG", written.error());
    std::lock_guard lock(mutex_);
    watchlist_message_ = "Could not save watchlist: " + written.error();
}

}  // namespace ostrel
