// Connecting the headless runner: one attempt at a time on a helper thread, so a stop signal
// is answered while an attempt waits on the network.
#include "app/headless_connect.hpp"

#include <algorithm>
#include <future>
#include <thread>

#include "engine/engine.hpp"
#include "log/activity_log.hpp"

namespace ostrel {
namespace {

constexpr std::chrono::milliseconds kPoll{20};

bool starts_with(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

/// One connect; a stop raised meanwhile cuts its REST calls short.
ConnectResult attempt(Engine& engine, const std::atomic<bool>& stop) {
    auto result = std::async(std::launch::async, [&engine] { return engine.connect(); });
    bool cut = false;
    while (result.wait_for(kPoll) != std::future_status::ready) {
        if (stop && !cut) {
            engine.request_stop();
            cut = true;
        }
    }
    return result.get();
}

/// Sleeps `pause` in short steps; false when `stop` was raised.
bool wait(std::chrono::milliseconds pause, const std::atomic<bool>& stop) {
    const auto until = std::chrono::steady_clock::now() + pause;
    while (std::chrono::steady_clock::now() < until) {
        if (stop) return false;
        std::this_thread::sleep_for(kPoll);
    }
    return !stop;
}

}  // namespace

bool connect_failure_is_lasting(const std::string& message) {
    return starts_with(message, "Paste a Tradier production token first") ||
           starts_with(message, "Tradier token is empty") ||
           starts_with(message, "Tradier rejected the token (401)") ||
           starts_with(message, "Tradier 403:") || message == "Invalid URL";
}

ConnectResult connect_with_retry(Engine& engine, const std::atomic<bool>& stop,
                                 ConnectRetry retry) {
    std::chrono::milliseconds pause = retry.first;
    for (;;) {
        ConnectResult result = attempt(engine, stop);
        if (result.ok || stop || connect_failure_is_lasting(result.message)) return result;
        const auto seconds = std::max<long long>(1, (pause.count() + 999) / 1000);
        log_error("ENGINE", "Connect failed: " + result.message + " \xE2\x80\x94 retrying in " +
                                std::to_string(seconds) + " s");
        if (!wait(pause, stop)) return result;
        pause = std::min(pause * 2, retry.longest);
    }
}

}  // namespace ostrel
