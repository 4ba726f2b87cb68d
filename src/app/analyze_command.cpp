// `ostrel analyze`: run the analysis of one ticker on bars from CSV files and print it as JSON.
#include "app/analyze_command.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <expected>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <sstream>
#include <string_view>

#include "committees/analysis.hpp"
#include "config/settings_json.hpp"
#include "market/bar_csv.hpp"
#include "market/timeframes.hpp"

namespace ostrel {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kUsage =
    "usage: ostrel analyze --daily FILE [--intraday FILE] [--price P] [--settings FILE]\n"
    "  --daily FILE     daily bars (CSV with open,high,low,close,volume columns)\n"
    "  --intraday FILE  15-minute bars, same format\n"
    "  --price P        the quote's mark price (default 0: fall back on the bars)\n"
    "  --settings FILE  a settings.json to read instead of the defaults\n";

struct Options {
    std::string daily;
    std::optional<std::string> intraday;
    double price = 0.0;
    std::optional<std::string> settings;
};

std::expected<std::string, std::string> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::unexpected("cannot open " + path + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::unexpected("cannot read " + path);
    return text.str();
}

std::expected<BarSeries, std::string> read_bars(const std::string& path) {
    auto text = read_file(path);
    if (!text) return std::unexpected(text.error());
    auto bars = parse_bar_csv(*text);
    if (!bars) return std::unexpected(path + ": " + bars.error());
    return bars;
}

std::expected<Settings, std::string> read_settings(const std::string& path) {
    auto text = read_file(path);
    if (!text) return std::unexpected(text.error());
    Settings settings = default_settings();
    try {
        const nlohmann::json json = nlohmann::json::parse(*text);
        if (auto applied = apply_settings_json(json, settings); !applied) {
            return std::unexpected(path + ": " + applied.error());
        }
    } catch (const nlohmann::json::exception& e) {
        return std::unexpected(path + ": " + e.what());
    }
    return settings;
}

std::expected<Options, std::string> parse_options(const std::vector<std::string>& args) {
    Options opt;
    bool have_daily = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a != "--daily" && a != "--intraday" && a != "--price" && a != "--settings") {
            return std::unexpected(
                (a.rfind('-', 0) == 0 ? "unknown option '" : "unexpected argument '") + a + "'");
        }
        if (i + 1 >= args.size()) return std::unexpected(a + " needs a value");
        const std::string& value = args[++i];
        if (a == "--daily") {
            opt.daily = value;
            have_daily = true;
        } else if (a == "--intraday") {
            opt.intraday = value;
        } else if (a == "--settings") {
            opt.settings = value;
        } else {
            const auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), opt.price);
            if (ec != std::errc() || end != value.data() + value.size() ||
                !std::isfinite(opt.price)) {
                return std::unexpected("--price needs a number, got '" + value + "'");
            }
        }
    }
    if (!have_daily) return std::unexpected(std::string("--daily FILE is required"));
    return opt;
}

Json zones_json(std::span<const PriceZone> zones) {
    Json out = Json::array();
    for (const PriceZone& z : zones) {
        out.push_back({{"kind", z.kind}, {"upper", z.upper}, {"lower", z.lower}});
    }
    return out;
}

Json snapshot_json(const IndicatorSnapshot& s) {
    return {{"valid", s.valid},
            {"rsi", s.rsi},
            {"rsi_fast", s.rsi_fast},
            {"macd", s.macd},
            {"macd_signal", s.macd_signal},
            {"macd_hist", s.macd_hist},
            {"macd_hist_prev", s.macd_hist_prev},
            {"stoch_k", s.stoch_k},
            {"stoch_d", s.stoch_d},
            {"williams_r", s.williams_r},
            {"atr", s.atr},
            {"adx", s.adx},
            {"plus_di", s.plus_di},
            {"minus_di", s.minus_di},
            {"rvol", s.rvol},
            {"rvol_fast", s.rvol_fast},
            {"kalman", s.kalman},
            {"hurst", s.hurst},
            {"entropy", s.entropy},
            {"flow_toxicity", s.flow_toxicity},
            {"sma50", s.sma50},
            {"sma200", s.sma200},
            {"bb_upper", s.bb_upper},
            {"bb_lower", s.bb_lower},
            {"pct_b", s.pct_b},
            {"coherence", s.coherence},
            {"squeeze", s.squeeze},
            {"three_bar", s.three_bar},
            {"dragon", s.dragon},
            {"wolfe", s.wolfe},
            {"qm_level", s.qm_level},
            {"coherence_flags", s.coherence_flags},
            {"absorption", s.absorption},
            {"pocket_pivot", s.pocket_pivot},
            {"sweep_reclaim", s.sweep_reclaim},
            {"zones", zones_json({s.zones.data(), s.zones.size()})}};
}

Json decision_json(const FinalDecision& d) {
    return {{"momentum_score", d.momentum_score},
            {"trend_score", d.trend_score},
            {"volatility_score", d.volatility_score},
            {"flow_score", d.flow_score},
            {"pattern_score", d.pattern_score},
            {"macro_score", d.macro_score},
            {"momentum_label", d.momentum_label},
            {"trend_label", d.trend_label},
            {"volatility_label", d.volatility_label},
            {"flow_label", d.flow_label},
            {"pattern_label", d.pattern_label},
            {"macro_label", d.macro_label},
            {"reasons", d.reasons},
            {"final", d.final},
            {"action", to_text(d.action)},
            {"window", to_text(d.window)},
            {"thesis", d.thesis},
            {"setup", d.setup},
            {"logic", d.logic},
            {"risk", d.risk},
            {"bulls", d.bulls},
            {"bears", d.bears},
            {"neutrals", d.neutrals},
            {"size_mult", d.size_mult},
            {"trigger", d.trigger},
            {"permission", d.permission}};
}

int fail(const std::string& message) {
    std::cerr << "ostrel analyze: " << message << "\n";
    return 2;
}

}  // namespace

int run_analyze_command(const std::vector<std::string>& args) {
    if (std::ranges::any_of(args,
                            [](const std::string& a) { return a == "--help" || a == "-h"; })) {
        std::cout << kUsage;
        return 0;
    }
    const auto opt = parse_options(args);
    if (!opt) {
        std::cerr << "ostrel analyze: " << opt.error() << "\nTry 'ostrel analyze --help'.\n";
        return 2;
    }
    Settings settings = default_settings();
    if (opt->settings) {
        auto loaded = read_settings(*opt->settings);
        if (!loaded) return fail(loaded.error());
        settings = std::move(*loaded);
    }
    auto daily = read_bars(opt->daily);
    if (!daily) return fail(daily.error());
    std::optional<BarSeries> intraday;
    if (opt->intraday) {
        auto bars = read_bars(*opt->intraday);
        if (!bars) return fail(bars.error());
        intraday = std::move(*bars);
    }

    // The intraday file plays the 15-minute fetch; there are never 5-minute bars here.
    const TriggerSelection selection = select_trigger_series(
        [&intraday](std::string_view interval) -> std::expected<BarSeries, std::string> {
            if (interval == "15min" && intraday) return *intraday;
            return std::unexpected(std::string("no ") + std::string(interval) + " bars");
        },
        [&daily]() -> std::expected<BarSeries, std::string> { return *daily; });
    const TickerAnalysis a = analyze_ticker(selection, opt->price, MarketContext{}, "", settings);

    Json out = {{"trigger_note", a.trigger_note},
                {"strategy", a.strategy},
                {"price", a.price},
                {"trigger_snapshot", snapshot_json(a.trigger_snapshot)},
                {"daily_snapshot", snapshot_json(a.daily_snapshot)},
                {"decision", decision_json(a.decision)}};
    std::cout << out.dump(2) << "\n";
    return std::cout.good() ? 0 : 1;
}

}  // namespace ostrel
