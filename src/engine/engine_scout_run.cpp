// The scout run: universe, quote pass, liquidity filter, daily trend score, publish.
#include <exception>

#include "engine/engine.hpp"
#include "engine/session_time.hpp"
#include "log/activity_log.hpp"
#include "market/snapshot.hpp"
#include "scout/screen.hpp"
#include "scout/universe.hpp"

namespace ostrel {
namespace {

constexpr std::size_t kQuoteBatch = 100;
constexpr std::size_t kMinDownloadedUniverse = 200;
constexpr std::size_t kMinDailyBars = 50;

/// Clears the running flag on every way out of the run.
struct RunningFlag {
    std::atomic<bool>& flag;
    ~RunningFlag() { flag = false; }
};

}  // namespace

void Engine::start_scout() {
    std::lock_guard start(scout_start_mutex_);
    if (!connected_) {
        std::lock_guard lock(mutex_);
        scout_status_ = "Connect Tradier first";
        return;
    }
    if (scout_running_) return;
    scout_cancel_ = false;
    if (scout_thread_.joinable()) scout_thread_.join();
    {
        std::lock_guard lock(mutex_);
        scout_status_ = "Starting swing scout...";
        scout_results_.clear();
    }
    scout_running_ = true;
    scout_thread_ = std::thread([this] { scout_run(); });
}

void Engine::scout_log(const std::string& text) {
    log_info("SCOUT", text);
    std::lock_guard lock(mutex_);
    scout_status_ = text;
}

void Engine::scout_run() {
    const RunningFlag running{scout_running_};
    try {
        const Settings settings = this->settings();

        // Universe: the cached download, else a fresh one, else the built-in names.
        const std::string cache_path = data_dir_ + "scout_universe.json";
        std::vector<std::string> universe = read_universe_cache(cache_path, now_ms());
        if (universe.size() < kMinDownloadedUniverse) {
            scout_log("Universe: downloading Tradier tape (wide net, like the old scout)");
            const auto etb = client_.etb_symbols();
            if (etb && etb->size() >= kMinDownloadedUniverse) {
                universe = normalise_universe(*etb);
                if (const auto written = write_universe_cache(cache_path, universe, now_ms());
                    !written) {
                    log_error("SCOUT", written.error());
                }
            } else {
                if (!etb) log_error("SCOUT", "ETB universe: " + etb.error());
                universe = builtin_universe();
                log_info("SCOUT", "Falling back to built-in " +
                                      std::to_string(builtin_universe().size()) + " names");
            }
        }
        if (universe.empty()) universe = builtin_universe();
        const std::string size = std::to_string(universe.size());
        scout_log("Universe: " + size + " names — snapshot filter");

        // Quotes in batches of 100; keep the liquid names in the price band.
        std::vector<LiquidName> liquid;
        for (std::size_t at = 0; at < universe.size(); at += kQuoteBatch) {
            if (scout_cancel_) {
                scout_log("Scout cancelled");
                return;
            }
            const std::size_t end = std::min(universe.size(), at + kQuoteBatch);
            scout_log("Quotes " + std::to_string(end) + "/" + size + " (wide net)");
            const std::vector<std::string> batch(universe.begin() + static_cast<long>(at),
                                                 universe.begin() + static_cast<long>(end));
            const auto quotes = client_.quotes(batch);
            if (!quotes) {
                log_error("SCOUT", quotes.error());
                continue;
            }
            for (const Quote& q : *quotes) {
                if (auto name = liquid_name(q, settings)) liquid.push_back(std::move(*name));
            }
        }

        // The most liquid names, scored on their daily trend against SPY.
        const std::vector<LiquidName> kept = rank_by_dollar_volume(std::move(liquid));
        scout_log("Daily trend on top " + std::to_string(kept.size()) + " of " + size +
                  " by dollar volume");
        double spy_return = 0.0;
        if (const auto spy = client_.daily_history("SPY")) spy_return = twenty_bar_return(*spy);

        std::vector<ScoutCandidate> candidates;
        bool cancelled = false;
        for (const LiquidName& name : kept) {
            if (scout_cancel_) {
                cancelled = true;
                break;
            }
            const auto bars = client_.daily_history(name.symbol);
            if (!bars || bars->size() < kMinDailyBars) continue;
            const IndicatorSnapshot daily = build_daily_snapshot(*bars);
            ScoreInputs in;
            in.symbol = name.symbol;
            in.price = name.price;
            in.dollar_volume = name.dollar_volume;
            in.rsi = daily.rsi;
            in.adx = daily.adx;
            in.plus_di = daily.plus_di;
            in.minus_di = daily.minus_di;
            in.sma50 = daily.sma50;
            in.sma200 = daily.sma200;
            in.atr = daily.atr;
            in.own_return = twenty_bar_return(*bars);
            in.spy_return = spy_return;
            candidates.push_back(score_candidate(in, settings));
        }

        // Rank and publish.
        order_candidates(candidates);
        const auto passing = std::count_if(candidates.begin(), candidates.end(),
                                           [](const ScoutCandidate& c) { return c.pass; });
        {
            std::lock_guard lock(mutex_);
            scout_results_ = std::move(candidates);
        }
        scout_log("Scout done: " + std::to_string(passing) + " swing candidates from " + size +
                  " names");
        if (auto_scout_ && !cancelled) apply_picks(true);
    } catch (const std::exception& e) {
        scout_log(std::string("Scout failed: ") + e.what());
    }
}

}  // namespace ostrel
