// Starting the in-process market simulator for --demo and pointing an engine at it.
#include "app/demo.hpp"

#include <stdlib.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "config/data_locations.hpp"
#include "engine/engine.hpp"
#include "sim/simulator.hpp"

namespace ostrel {
namespace {

constexpr const char* kDemoToken = "demo-token";

// A demo Monitor list with a few liquid names, written only when the folder has no settings.
constexpr const char* kDemoSettings =
    R"({"watchlist": ["SPY", "AAPL", "MSFT", "NVDA"], "live_trading": false})";

}  // namespace

std::string demo_data_directory() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
#ifdef _WIN32
    // The temporary folder already belongs to the user alone.
    return (base / "ostrel-demo").string() + "/";
#else
    return (base / ("ostrel-demo-" + std::to_string(::getuid()))).string() + "/";
#endif
}

DemoMarket::DemoMarket() = default;

DemoMarket::~DemoMarket() {
    if (sim_) sim_->stop();
}

std::expected<void, std::string> DemoMarket::start(const std::optional<std::string>& data_dir) {
    // OSTREL_DATA_DIR is not followed: it may name the folder of real trading.
    data_dir_ = data_dir ? with_trailing_separator(*data_dir) : demo_data_directory();
    std::error_code ec;
    std::filesystem::create_directories(data_dir_, ec);
    if (ec) return std::unexpected("Could not create the demo folder " + data_dir_);
    if (!data_dir && !std::filesystem::exists(data_dir_ + "settings.json")) {
        std::ofstream(data_dir_ + "settings.json") << kDemoSettings;
    }
    set_data_directory_override(data_dir_);

    sim::SimConfig config;
    config.symbol_count = 300;
    config.starting_cash = 25000.0;
    sim_ = std::make_unique<sim::Simulator>(config);
    // The session runs from a weekday morning in real time, so the demo always has an open
    // market to trade in.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    int back = local.tm_wday == 0 ? 2 : local.tm_wday == 6 ? 1 : 0;
    const std::time_t day = now - back * 86400;
    localtime_r(&day, &local);
    char date[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    if (auto clock = sim_->set_clock(date, "10:00"); !clock) return std::unexpected(clock.error());
    const std::int64_t open_at = sim_->clock().timestamp;
    sim_->run_real_time();
    sim_->advance_clock(
        std::chrono::seconds(open_at - static_cast<std::int64_t>(std::time(nullptr))));
    const auto port = sim_->start();
    if (!port) return std::unexpected("Demo market did not start: " + port.error());
    // The simulator's session names no wss:// address: the quote stream falls back to this one.
    const std::string stream_url = "ws://127.0.0.1:" + std::to_string(*port) + "/v1/markets/events";
#ifdef _WIN32
    ::_putenv_s("OSTREL_STREAM_URL", stream_url.c_str());
#else
    ::setenv("OSTREL_STREAM_URL", stream_url.c_str(), 1);
#endif
    return {};
}

void DemoMarket::attach(Engine& engine) const {
    engine.client().set_rest_url_override(sim_->base_url());
    engine.set_session_token(kDemoToken);
}

std::string DemoMarket::base_url() const {
    return sim_ ? sim_->base_url() : std::string();
}

}  // namespace ostrel
