// The worker thread: tick, pause up to 5 s in 100 ms steps, repeat; and stopping it.
#include "engine/engine.hpp"

#include <chrono>
#include <exception>

#include "log/activity_log.hpp"

namespace ostrel {
namespace {

constexpr int kPauseSteps = 50;
constexpr auto kPauseStep = std::chrono::milliseconds(100);

}  // namespace

void Engine::start_worker(std::uint64_t max_ticks) {
    if (running_.exchange(true)) return;
    if (worker_.joinable()) worker_.join();  // a worker that ended by its tick limit
    worker_ = std::thread([this, max_ticks] { worker_loop(max_ticks); });
}

void Engine::request_stop() {
    running_ = false;
    wake_ = true;
    scout_cancel_ = true;
    stopping_ = true;
    client_.cancel_requests(true);
}

void Engine::stop() {
    request_stop();
    if (worker_.joinable()) worker_.join();
    if (scout_thread_.joinable()) scout_thread_.join();
    scout_running_ = false;
    // Nothing of ours is left in flight: calls made from here on run normally again.
    client_.cancel_requests(false);
    stopping_ = false;
}

void Engine::disconnect() {
    request_stop();
    if (worker_.joinable()) worker_.join();
    if (scout_thread_.joinable()) scout_thread_.join();
    scout_running_ = false;
    connected_ = false;
    // Still cancelled, so a stream pass caught in a REST call ends at once.
    client_.stop_stream();
    client_.cancel_requests(false);
    stopping_ = false;
}

void Engine::worker_loop(std::uint64_t max_ticks) {
    std::uint64_t done = 0;
    const auto run_one_tick = [this, max_ticks, &done] {
        // Every step reports its own failures; this only keeps a stray exception from
        // ending the process.
        try {
            tick();
        } catch (const std::exception& e) {
            log_error("ENGINE", std::string("Worker tick failed: ") + e.what());
        }
        ++ticks_completed_;
        return max_ticks == 0 || ++done < max_ticks;
    };

    if (!run_one_tick()) {
        running_ = false;
        return;
    }
    while (running_) {
        if (!run_one_tick()) {
            running_ = false;
            break;
        }
        pause_between_ticks();
        wake_ = false;
    }
}

void Engine::pause_between_ticks() {
    for (int step = 0; step < kPauseSteps; ++step) {
        if (!running_ || wake_) return;
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + kPauseStep);
    }
}

}  // namespace ostrel
