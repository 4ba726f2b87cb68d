// `ostrel backtest`: options, the source of bars, the replay, and the report's outputs.
#include "app/backtest_command.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <expected>
#include <fstream>
#include <optional>

#include "backtest/broker_history.hpp"
#include "backtest/chart_png.hpp"
#include "backtest/history.hpp"
#include "backtest/replay.hpp"
#include "backtest/report.hpp"
#include "broker/tradier_client.hpp"
#include "config/data_locations.hpp"
#include "config/settings_file.hpp"

namespace ostrel {

namespace {

constexpr const char* kUsage =
    "usage: ostrel backtest (--demo | --data DIR | --broker) [options]\n"
    "Replays history through the trading rules on a paper book and prints the report.\n"
    "  --demo               bars of the built-in simulated market\n"
    "  --data DIR           SYMBOL.daily.csv (date column) and SYMBOL.15min.csv (time column)\n"
    "  --broker             the broker's daily and 15-minute history with the saved token,\n"
    "                       kept in the data folder's backtest-cache/ for later runs\n"
    "  --symbols A,B,C      symbols to trade (demo: AAPL,MSFT,NVDA; data: every file)\n"
    "  --days N             trading days to replay (default 250)\n"
    "  --end YYYY-MM-DD     last day of the demo market's history (default 2025-12-31)\n"
    "  --daily-only         the demo without 15-minute bars\n"
    "  --cash N             starting cash (default 25000)\n"
    "  --commission X       dollars per order (default 0)\n"
    "  --slippage C         cents per share against each fill (default 1)\n"
    "  --slippage-bps B     basis points per fill instead of cents\n"
    "  --json FILE          every figure, every trade and the daily equity curve\n"
    "  --csv FILE           the trades\n"
    "  --chart FILE.png     equity curve, SPY buy and hold, drawdown\n"
    "  --data-dir DIR       the data folder whose settings.json holds the rules' settings\n";

struct Options {
    bool demo = false;
    bool broker = false;
    std::string data;
    std::vector<std::string> symbols;
    int days = 250;
    std::string end = "2025-12-31";
    bool intraday = true;
    backtest::ReplayOptions replay;
    std::string json, csv, chart;
    std::optional<std::string> data_dir;
    bool help = false;
};

std::vector<std::string> split_symbols(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (char ch : text + ",") {
        if (ch == ',') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else if (ch != ' ') {
            cur += ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
        }
    }
    return out;
}

std::optional<double> number(const std::string& s) {
    try {
        std::size_t used = 0;
        const double v = std::stod(s, &used);
        if (used != s.size() || !std::isfinite(v)) return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

std::expected<Options, std::string> parse(const std::vector<std::string>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
            return o;
        }
        if (a == "--demo") {
            o.demo = true;
            continue;
        }
        if (a == "--broker") {
            o.broker = true;
            continue;
        }
        if (a == "--daily-only") {
            o.intraday = false;
            continue;
        }
        static const std::vector<std::string> kValueOptions = {
            "--data",     "--symbols",      "--days", "--end", "--cash",  "--commission",
            "--slippage", "--slippage-bps", "--json", "--csv", "--chart", "--data-dir"};
        if (std::find(kValueOptions.begin(), kValueOptions.end(), a) == kValueOptions.end()) {
            return std::unexpected(
                (a.rfind('-', 0) == 0 ? "unknown option '" : "unexpected argument '") + a + "'");
        }
        if (i + 1 >= args.size()) return std::unexpected(a + " needs a value");
        const std::string& v = args[++i];
        const auto positive = [&](double min) -> std::expected<double, std::string> {
            const auto n = number(v);
            if (!n || *n < min) return std::unexpected(a + " needs a number, got '" + v + "'");
            return *n;
        };
        if (a == "--data") {
            o.data = v;
        } else if (a == "--symbols") {
            o.symbols = split_symbols(v);
        } else if (a == "--days") {
            const auto n = positive(1);
            if (!n || *n != std::floor(*n) || *n > 100000) {
                return std::unexpected("--days needs a whole number of days, got '" + v + "'");
            }
            o.days = static_cast<int>(*n);
        } else if (a == "--end") {
            o.end = v;
        } else if (a == "--cash") {
            const auto n = positive(1);
            if (!n) return std::unexpected(n.error());
            o.replay.starting_cash = *n;
        } else if (a == "--commission") {
            const auto n = positive(0);
            if (!n) return std::unexpected(n.error());
            o.replay.costs.commission = *n;
        } else if (a == "--slippage" || a == "--slippage-bps") {
            const auto n = positive(0);
            if (!n) return std::unexpected(n.error());
            o.replay.costs.slippage = *n;
            o.replay.costs.in_bps = a == "--slippage-bps";
        } else if (a == "--json") {
            o.json = v;
        } else if (a == "--csv") {
            o.csv = v;
        } else if (a == "--chart") {
            o.chart = v;
        } else if (a == "--data-dir") {
            o.data_dir = v;
        } else {
            return std::unexpected(
                (a.rfind('-', 0) == 0 ? "unknown option '" : "unexpected argument '") + a + "'");
        }
    }
    if (static_cast<int>(o.demo) + static_cast<int>(!o.data.empty()) + static_cast<int>(o.broker) !=
        1) {
        return std::unexpected(
            std::string("name one source of bars: --demo, --data DIR or --broker"));
    }
    if (o.broker && o.symbols.empty()) {
        return std::unexpected(std::string("--broker needs --symbols"));
    }
    if (o.demo && o.symbols.empty()) o.symbols = {"AAPL", "MSFT", "NVDA"};
    return o;
}

std::expected<void, std::string> write_text(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return std::unexpected("cannot write " + path);
    out << text;
    out.flush();
    if (!out) return std::unexpected("cannot finish writing " + path);
    return {};
}

/// Draws "[#####.....] 42%" on standard error once the run has taken more than a second.
class ProgressBar {
  public:
    void operator()(std::size_t done, std::size_t total) {
        const auto elapsed = std::chrono::steady_clock::now() - start_;
        if (elapsed < std::chrono::seconds(1) || total == 0) return;
        const int width = 40;
        const int filled = static_cast<int>(width * done / total);
        std::fprintf(stderr, "\r[%s%s] %3d%%  %zu/%zu symbol-bars",
                     std::string(filled, '#').c_str(), std::string(width - filled, '.').c_str(),
                     static_cast<int>(100 * done / total), done, total);
        std::fflush(stderr);
        shown_ = true;
    }
    /// Ends the bar's line so the report starts on a fresh one.
    void finish() {
        if (shown_) std::fputc('\n', stderr);
        shown_ = false;
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    bool shown_ = false;
};

}  // namespace

int run_backtest_command(const std::vector<std::string>& args) {
    auto options = parse(args);
    if (!options) {
        std::fprintf(stderr, "ostrel backtest: %s\nTry 'ostrel backtest --help'.\n",
                     options.error().c_str());
        return 2;
    }
    Options& o = *options;
    if (o.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (o.data_dir) set_data_directory_override(*o.data_dir);
    o.replay.settings = load_settings();

    std::expected<backtest::History, std::string> history;
    if (o.demo) {
        history = backtest::demo_history(o.symbols, o.days, o.end, o.intraday);
    } else if (o.broker) {
        if (o.replay.settings.tradier_token.empty()) {
            history = std::unexpected(
                std::string("--broker needs the broker token: save it in the window or set "
                            "TRADIER_ACCESS_TOKEN"));
        } else {
            TradierClient client;  // OSTREL_REST_URL, when set, names another REST base
            client.configure(o.replay.settings.tradier_token, o.replay.settings.production);
            history = backtest::broker_history(client, o.symbols, o.days,
                                               data_directory() + "backtest-cache/");
        }
    } else {
        history = backtest::load_csv_history(o.data, o.symbols, o.days);
    }
    if (!history) {
        std::fprintf(stderr, "ostrel backtest: %s\n", history.error().c_str());
        return 2;
    }
    ProgressBar bar;
    o.replay.progress = [&bar](std::size_t done, std::size_t total) { bar(done, total); };
    const backtest::ReplayResult result = backtest::replay(*history, o.replay);
    o.replay.progress = nullptr;
    const backtest::Report report = backtest::make_report(*history, o.replay, result);
    bar.finish();

    std::fputs(backtest::report_text(report).c_str(), stdout);
    int status = 0;
    const auto fail = [&status](const std::string& message) {
        std::fprintf(stderr, "ostrel backtest: %s\n", message.c_str());
        status = 1;
    };
    if (!o.json.empty()) {
        if (auto w = write_text(o.json, backtest::report_json(report)); !w) fail(w.error());
    }
    if (!o.csv.empty()) {
        if (auto w = write_text(o.csv, backtest::trades_csv(report)); !w) fail(w.error());
    }
    if (!o.chart.empty()) {
        if (auto w = backtest::write_png(backtest::draw_chart(report), o.chart); !w) {
            fail(w.error());
        }
    }
    return status;
}

}  // namespace ostrel
