// One whole frame of the window with the Monitor tab in front, drawn without a renderer over an
// engine whose 24 tickers all hold a decision and most a paper lot. The engine lock is taken
// only for the copies the frame reads, and the frame makes no request.
#include <benchmark/benchmark.h>
#include <imgui.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "committees/analysis.hpp"
#include "engine/engine.hpp"
#include "recent_weekday.hpp"
#include "sim/simulator.hpp"
#include "ui/main_window.hpp"
#include "ui/style.hpp"

namespace {

using namespace ostrel;

constexpr int kTickers = 24;

using bench::recent_weekday;

struct MonitorScene {
    MonitorScene() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ostrel-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir = pattern + "/";
        sim::SimConfig config;
        config.symbol_count = 200;
        config.market_limit = config.standard_limit = config.trading_limit = 1 << 20;
        simulator = std::make_unique<sim::Simulator>(config);
        if (!simulator->start()) std::abort();
        // A frozen morning of a recent weekday: the client asks for bars of recent days.
        (void)simulator->set_clock(recent_weekday(), "10:30");
        const std::string ws =
            "ws://127.0.0.1:" + std::to_string(simulator->port()) + "/v1/markets/events";
        ::setenv("OSTREL_STREAM_URL", ws.c_str(), 1);

        std::string list;
        const std::vector<std::string> symbols = simulator->symbols();
        for (int i = 0; i < kTickers; ++i)
            list += (i ? ",\"" : "\"") + symbols[static_cast<std::size_t>(i)] + "\"";
        std::ofstream(dir + "settings.json")
            << R"({"tradier_token": "bench", "enable_pdt_protection": false, "live_trading": false,)"
            << R"( "max_position_pct": 3.5, "watchlist": [)" << list << "]}";

        engine = std::make_unique<Engine>(dir);
        engine->client().set_rest_url_override(simulator->base_url());
        engine->set_analysis_hook([](const std::string& ticker, TickerAnalysis& a) {
            a.decision.action = DecisionAction::buy;
            a.decision.window = EntryWindow::fire;
            a.decision.size_mult = 1.0;
            a.decision.final = 80.0;
            a.decision.thesis = "BUY  FIRE  (permission + trigger)  · " + ticker;
            a.decision.setup = "LONG  entry ~market  |  SL 2.00 ATR  |  TP1 2.00R scale 1/3";
            a.decision.logic = "Daily UPTREND / Standard. Trigger on RSI/MACD. Location COILING.";
            a.decision.risk = "Invalidation: trail/ATR stop, death cross vs 200-DMA.";
        });
        if (!engine->connect().ok) std::abort();
        (void)engine->client().quotes(symbols_of(list));
        engine->tick();

        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1600.0f, 900.0f);
        io.DeltaTime = 1.0f / 60.0f;
        unsigned char* pixels = nullptr;
        int width = 0;
        int height = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
        ui::apply_style();
        state.select_monitor = true;
        for (int i = 0; i < 3; ++i)
            frame();
    }
    ~MonitorScene() {
        ImGui::DestroyContext();
        engine.reset();
        simulator->stop();
        ::unsetenv("OSTREL_STREAM_URL");
        std::filesystem::remove_all(dir);
    }
    static std::vector<std::string> symbols_of(const std::string& list) {
        std::vector<std::string> out;
        std::string current;
        for (char c : list) {
            if (c == '"') continue;
            if (c == ',') {
                out.push_back(current);
                current.clear();
            } else {
                current += c;
            }
        }
        out.push_back(current);
        return out;
    }
    void frame() {
        ImGui::NewFrame();
        ui::draw_main_window(*engine, state);
        ImGui::Render();
    }

    std::string dir;
    std::unique_ptr<sim::Simulator> simulator;
    std::unique_ptr<Engine> engine;
    ui::UiState state;
};

void BM_MonitorTabFrame(benchmark::State& bench) {
    MonitorScene scene;
    int lots = 0;
    for (const SymbolState& row : scene.engine->monitor_rows())
        lots += row.qty > 0 ? 1 : 0;
    const std::size_t requests_before = scene.simulator->requests().size();
    for (auto _ : bench)
        scene.frame();
    bench.counters["tickers"] = static_cast<double>(scene.engine->monitor_rows().size());
    bench.counters["lots"] = lots;
    bench.counters["requests"] =
        static_cast<double>(scene.simulator->requests().size() - requests_before);
}
BENCHMARK(BM_MonitorTabFrame)->Unit(benchmark::kMicrosecond)->Repetitions(5);

}  // namespace

BENCHMARK_MAIN();
