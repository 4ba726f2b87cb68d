// What the Chart tab's backtest view keeps between frames, and the background job that runs a
// backtest for it. The view knows nothing of how a backtest is run: the program hands it a
// runner, which the job calls on a thread of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.hpp"

namespace ostrel::ui {

/// What to replay: the symbols, how many trading days, and where the bars come from.
struct BacktestRequest {
    std::vector<std::string> symbols;
    int days = 250;
    bool broker = false;  ///< the broker's history with the saved token instead of the demo market
    Settings settings;    ///< a copy, so the run never reads the engine
};

/// One round trip as the trades table shows it.
struct BacktestTradeRow {
    std::string symbol;
    std::string entry_time;
    double entry_price = 0.0;
    std::string exit_time;
    double exit_price = 0.0;
    int qty = 0;
    std::string exit_reason;
    double pnl = 0.0;
    double r_multiple = 0.0;
    bool open = false;
};

struct BacktestEquityPoint {
    std::int64_t ts_ms = 0;
    double equity = 0.0;
};

struct BacktestOutcome {
    bool ok = false;
    std::string message;  ///< the error, or a one-line summary of the run
    std::vector<BacktestEquityPoint> curve;
    std::vector<BacktestTradeRow> trades;
};

/// Called by a runner now and then: (symbol-days done, symbol-days in all).
using BacktestProgress = std::function<void(std::size_t done, std::size_t total)>;
/// Runs one backtest to the end, or until `cancel` is set; called off the UI thread.
using BacktestRunner = std::function<BacktestOutcome(
    const BacktestRequest&, const BacktestProgress&, const std::atomic<bool>& cancel)>;

/// One backtest on a thread of its own. Destroying a job asks the run to stop and joins it.
class BacktestJob {
  public:
    BacktestJob(BacktestRunner runner, BacktestRequest request);
    ~BacktestJob();
    BacktestJob(const BacktestJob&) = delete;
    BacktestJob& operator=(const BacktestJob&) = delete;

    bool finished() const { return finished_.load(); }
    std::size_t done() const { return done_.load(); }
    std::size_t total() const { return total_.load(); }
    /// The outcome once finished (once; later calls give none).
    std::optional<BacktestOutcome> take();

  private:
    std::atomic<std::size_t> done_{0};
    std::atomic<std::size_t> total_{0};
    std::atomic<bool> finished_{false};
    std::atomic<bool> cancel_{false};
    std::mutex mutex_;  ///< guards outcome_
    std::optional<BacktestOutcome> outcome_;
    std::thread thread_;
};

struct BacktestViewState {
    BacktestRunner runner;  ///< set by the program; without one the view says it cannot run
    bool shown = false;     ///< the Chart tab shows the backtest instead of the ticker's chart
    int days = 250;
    bool broker = false;  ///< the broker's history (only offered with a saved token)
    std::shared_ptr<BacktestJob> job;
    std::optional<BacktestOutcome> result;  ///< the last finished run
    std::vector<std::string> symbols;       ///< the symbols of the run shown or running
};

}  // namespace ostrel::ui
