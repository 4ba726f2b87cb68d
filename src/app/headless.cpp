// The headless runner: same engine, same shutdown, log lines on stdout and stderr.
#include "app/headless.hpp"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

#include "app/demo.hpp"
#include "app/headless_connect.hpp"
#include "app/ticker_lines.hpp"
#include "config/data_locations.hpp"
#include "engine/engine.hpp"

namespace ostrel {
namespace {

std::atomic<bool> g_stop_requested{false};

extern "C" void on_stop_signal(int) {
    g_stop_requested = true;
}

#ifdef _WIN32
// Installs the stop handlers for its lifetime. The C runtime resets a handler once it ran, so
// a second Ctrl+C kills at once.
class StopSignals {
  public:
    StopSignals() {
        g_stop_requested = false;
        old_int_ = std::signal(SIGINT, on_stop_signal);
        old_term_ = std::signal(SIGTERM, on_stop_signal);
    }
    ~StopSignals() {
        std::signal(SIGINT, old_int_);
        std::signal(SIGTERM, old_term_);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    void (*old_int_)(int) = SIG_DFL;
    void (*old_term_)(int) = SIG_DFL;
};
#else
// Installs the stop handlers for its lifetime. SA_RESETHAND: a second Ctrl+C kills at once.
class StopSignals {
  public:
    StopSignals() {
        g_stop_requested = false;
        struct sigaction action {};
        action.sa_handler = on_stop_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(SIGINT, &action, &old_int_);
        sigaction(SIGTERM, &action, &old_term_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &old_int_, nullptr);
        sigaction(SIGTERM, &old_term_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    struct sigaction old_int_ {};
    struct sigaction old_term_ {};
};
#endif

void print_entry(const LogEntry& entry) {
    const std::string line = format_log_line(entry) + "\n";
    std::FILE* out = entry.level == 2 ? stderr : stdout;
    std::fwrite(line.data(), 1, line.size(), out);
    std::fflush(out);
}

void print_ticker_lines(TickerChanges& changes, const Engine& engine) {
    for (const std::string& line : changes.changed_lines(engine.monitor_rows())) {
        std::fputs((line + "\n").c_str(), stdout);
    }
    std::fflush(stdout);
}

void print_line(const std::string& text) {
    const std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

constexpr auto kFirstQuoteLine = std::chrono::seconds(10);
constexpr auto kQuoteLineEvery = std::chrono::seconds(60);

}  // namespace

std::string quote_age_line(const OldestQuote& oldest, const std::string& stream_status) {
    std::string age = "none on the Monitor list";
    if (!oldest.ticker.empty()) {
        age = oldest.age_ms < 0
                  ? oldest.ticker + " has none yet"
                  : std::to_string(oldest.age_ms / 1000) + " s (" + oldest.ticker + ")";
    }
    return "[QUOTES] Oldest quote " + age + " — " + stream_status;
}

std::string format_log_line(const LogEntry& entry) {
    return "[" + entry.tag + "] " + entry.text;
}

int run_headless(const HeadlessOptions& options, LogFile* log_file) {
    const std::uint64_t ticks = options.ticks;
    const bool demo = options.demo;
    const std::optional<std::string>& data_dir = options.data_dir;
    StopSignals signals;
    ActivityLog::instance().set_listener([log_file](const LogEntry& entry) {
        print_entry(entry);
        if (log_file != nullptr) log_file->write(entry);
    });
    DemoMarket market;
    if (demo) {
        if (auto started = market.start(data_dir); !started) {
            std::fprintf(stderr, "ostrel: %s\n", started.error().c_str());
            ActivityLog::instance().set_listener(nullptr);
            return 2;
        }
        log_info("ENGINE", "Demo market on " + market.base_url());
    }
    log_info("ENGINE", "Headless run — data folder " + data_directory());

    std::optional<Engine> engine;
    engine.emplace();
    if (demo) market.attach(*engine);
    // The token comes from settings.json or TRADIER_ACCESS_TOKEN (the demo's own otherwise).
    // A server keeps trying through a broker outage; only a stop or a lasting refusal ends it.
    const ConnectResult connected = connect_with_retry(*engine, g_stop_requested);
    if (!connected.ok && !g_stop_requested) {
        std::fprintf(stderr, "ostrel: %s\n", connected.message.c_str());
        engine.reset();
        ActivityLog::instance().set_listener(nullptr);
        return 2;
    }
    if (!connected.ok) {
        engine->disconnect();
        engine.reset();
        log_info("ENGINE", "Headless run stopped before it connected");
        ActivityLog::instance().set_listener(nullptr);
        return 0;
    }
    engine->start_worker(ticks);
    // With a tick limit the worker ends by itself; otherwise only a signal ends the run.
    // Once the first ticks are done and then every minute: how fresh the prices are.
    auto next_quote_line = std::chrono::steady_clock::now() + kFirstQuoteLine;
    TickerChanges changes;
    std::uint64_t ticks_seen = 0;
    while (!g_stop_requested && (ticks == 0 || engine->running())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const std::uint64_t done = engine->ticks_completed();
        if (done != ticks_seen && !options.quiet) print_ticker_lines(changes, *engine);
        ticks_seen = done;
        if (!options.quiet && std::chrono::steady_clock::now() >= next_quote_line) {
            print_line(
                quote_age_line(engine->oldest_quote(), engine->client().stream_status_text()));
            next_quote_line += kQuoteLineEvery;
        }
    }
    if (engine->ticks_completed() != ticks_seen && !options.quiet) {
        print_ticker_lines(changes, *engine);
    }

    // The same order as closing the window: stop the threads, then destroy the engine,
    // which saves settings.json.
    engine->disconnect();
    const std::uint64_t done = engine->ticks_completed();
    engine.reset();
    log_info("ENGINE", "Headless run finished after " + std::to_string(done) +
                           (done == 1 ? " tick" : " ticks"));
    ActivityLog::instance().set_listener(nullptr);
    return 0;
}

}  // namespace ostrel
