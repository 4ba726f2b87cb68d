// Connecting to the broker and the two mode switches of the Connection tab.
#include "broker/tradier_broker.hpp"
#include "engine/engine.hpp"
#include "log/activity_log.hpp"

namespace ostrel {

void Engine::set_credentials(const std::string& token, bool production) {
    std::lock_guard lock(mutex_);
    settings_.tradier_token = token;
    settings_.production = production;
}

void Engine::set_session_token(const std::string& token) {
    std::lock_guard lock(mutex_);
    session_token_ = token;
}

ConnectResult Engine::connect() {
    std::string token;
    bool production = true;
    {
        std::lock_guard lock(mutex_);
        token = session_token_.empty() ? settings_.tradier_token : session_token_;
        production = settings_.production;
    }
    if (token.empty()) return {false, "Paste a Tradier production token first"};

    client_.configure(token, production);
    const auto probe = client_.probe();
    if (!probe) return {false, probe.error()};

    const auto balances = client_.balances();
    {
        std::lock_guard lock(mutex_);
        if (!live_trading_ || !balances) {
            if (const auto snap = paper_.account_snapshot()) {
                store_account_locked(*snap);
            }
        } else {
            store_account_locked(*balances);
        }
    }
    if (!balances) log_info("TRADIER", "Quotes work; broker account pending: " + balances.error());

    live_broker_ = std::make_unique<TradierBroker>(client_);

    const auto clock = client_.clock();
    std::vector<std::string> tickers;
    {
        std::lock_guard lock(mutex_);
        if (clock) {
            market_clock_ = *clock;
            market_state_ = clock->state;
        } else {
            market_state_ = "unknown";
        }
        for (const auto& [ticker, state] : states_)
            tickers.push_back(ticker);
    }
    client_.set_stream_tickers(tickers);
    client_.start_stream();

    connected_ = true;
    save_settings();
    reconcile();
    log_info("ENGINE", std::string(live_trading_ ? "LIVE mode. " : "PAPER mode. ") + *probe);
    return {true, *probe};
}

void Engine::set_live_trading(bool on) {
    {
        std::lock_guard lock(mutex_);
        set_switch_locked(&Settings::live_trading, live_trading_, on);
    }
    log_info("ENGINE", on ? "LIVE broker orders ENABLED (Tradier production)"
                          : "PAPER book ENABLED (local sim, not Tradier sandbox)");
    save_settings();
}

void Engine::set_pdt_protection(bool on) {
    {
        std::lock_guard lock(mutex_);
        set_switch_locked(&Settings::enable_pdt_protection, pdt_protection_, on);
    }
    log_info("ENGINE", on ? "PDT protection ON — max 3 round-trips in 5 business days; same-day "
                            "profit takes wait overnight"
                          : "PDT protection OFF — same-day scale-outs and new entries are not "
                            "capped");
    save_settings();
}

}  // namespace ostrel
