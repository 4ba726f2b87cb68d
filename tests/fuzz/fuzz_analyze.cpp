// Fuzz target: `ostrel analyze` on its two inputs, a settings file and a daily CSV. The input
// is the settings text, a line holding only "----", then the CSV.
#include <cmath>
#include <nlohmann/json.hpp>

#include "committees/analysis.hpp"
#include "config/settings_json.hpp"
#include "fuzz_input.hpp"
#include "market/bar_csv.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    const std::string_view input = ostrel::fuzz::as_text(data, size);
    const std::size_t cut = input.find("\n----\n");
    const std::string_view settings_text =
        cut == std::string_view::npos ? "" : input.substr(0, cut);
    const std::string_view csv = cut == std::string_view::npos ? input : input.substr(cut + 6);

    Settings settings = default_settings();
    const nlohmann::json json = nlohmann::json::parse(settings_text, nullptr, false);
    if (!json.is_discarded() && !apply_settings_json(json, settings)) return 0;
    auto daily = parse_bar_csv(csv);
    if (!daily) return 0;

    const TriggerSelection selection = select_trigger_series(
        [](std::string_view) -> std::expected<BarSeries, std::string> {
            return std::unexpected(std::string("no intraday bars"));
        },
        [&daily]() -> std::expected<BarSeries, std::string> { return *daily; });
    // Settings from a file must never reach undefined behaviour (sanitizers watch) or a
    // score that is not a number.
    const TickerAnalysis a = analyze_ticker(selection, 0.0, MarketContext{}, "", settings);
    ostrel::fuzz::check(!std::isnan(a.decision.final));
    return 0;
}
