// The Scout's part of the Engine: its thread, the flags read without the lock, and the progress
// line, results and schedule marks the engine lock guards.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scout/scout_candidate.hpp"

namespace ostrel {

struct EngineScout {
    static constexpr const char* kIdleStatus = "Idle — run Scout to rank liquid uptrends";

    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<bool> cancel{false};
    std::mutex start_mutex;               ///< makes "is one running? join, start" a single step
    std::string status = kIdleStatus;     ///< the progress line; engine lock
    std::vector<ScoutCandidate> results;  ///< the last run's ranked candidates; engine lock
    /// Steady clock of the last scheduled run, 0 = none; engine lock.
    std::int64_t last_run_ns = 0;
    std::string preopen_key;  ///< market date of the last pre-open run; engine lock
};

}  // namespace ostrel
