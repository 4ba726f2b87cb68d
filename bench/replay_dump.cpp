// Prints a replay of the demo market, every fill and every point of the equity curve in hex
// floats (%a), so two builds can be compared bit for bit with a plain diff:
//
//   replay_dump > before.txt   (on one build)
//   replay_dump > after.txt    (on the other)
//   diff before.txt after.txt
//
// Arguments: symbols (4), trading days (252), and "daily" for daily bars only.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "backtest/history.hpp"
#include "backtest/replay.hpp"

int main(int argc, char** argv) {
    using namespace ostrel::backtest;
    const int symbols = argc > 1 ? std::atoi(argv[1]) : 4;
    const int days = argc > 2 ? std::atoi(argv[2]) : 252;
    const bool intraday = !(argc > 3 && std::string(argv[3]) == "daily");
    const auto history = demo_history(demo_symbols(symbols), days, "2025-12-31", intraday);
    if (!history) {
        std::fprintf(stderr, "%s\n", history.error().c_str());
        return 1;
    }
    const ReplayResult r = replay(*history, ReplayOptions{});
    std::printf("evaluations %zu commissions %a\n", r.evaluations, r.commissions);
    for (const FillRecord& f : r.fills) {
        std::printf("fill %s %s %d %a %a %a %s %lld %a\n", f.symbol.c_str(), f.side.c_str(), f.qty,
                    f.price, f.pnl, f.commission, f.reason.c_str(),
                    static_cast<long long>(f.time_ms), f.stop_after);
    }
    for (const EquityPoint& p : r.curve)
        std::printf("equity %lld %a\n", static_cast<long long>(p.time_ms), p.equity);
    for (const auto& [symbol, kinds] : r.trigger_series)
        std::printf("series %s %s\n", symbol.c_str(), kinds.c_str());
    for (const auto& [symbol, qty] : r.open_positions)
        std::printf("open %s %d\n", symbol.c_str(), qty);
    return 0;
}
