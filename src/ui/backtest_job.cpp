// The backtest view's background run.
#include "ui/backtest_view_state.hpp"

#include <exception>
#include <utility>

namespace ostrel::ui {

BacktestJob::BacktestJob(BacktestRunner runner, BacktestRequest request) {
    thread_ = std::thread([this, runner = std::move(runner), request = std::move(request)] {
        BacktestOutcome outcome;
        try {
            outcome = runner(
                request,
                [this](std::size_t done, std::size_t total) {
                    total_.store(total);
                    done_.store(done);
                },
                cancel_);
        } catch (const std::exception& e) {
            outcome =
                BacktestOutcome{false, std::string("The backtest failed: ") + e.what(), {}, {}};
        }
        {
            std::lock_guard lock(mutex_);
            outcome_ = std::move(outcome);
        }
        finished_.store(true);
    });
}

BacktestJob::~BacktestJob() {
    cancel_.store(true);
    if (thread_.joinable()) thread_.join();
}

std::optional<BacktestOutcome> BacktestJob::take() {
    if (!finished_.load()) return std::nullopt;
    std::lock_guard lock(mutex_);
    std::optional<BacktestOutcome> out = std::move(outcome_);
    outcome_.reset();
    return out;
}

}  // namespace ostrel::ui
