// Fuzz target: settings.json applied over the defaults, and the saved form read back.
#include <nlohmann/json.hpp>

#include "config/settings_json.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    const nlohmann::json json =
        nlohmann::json::parse(ostrel::fuzz::as_text(data, size), nullptr, false);
    if (json.is_discarded()) return 0;
    Settings settings = default_settings();
    try {
        if (!apply_settings_json(json, settings)) return 0;
    } catch (const std::exception&) {
        std::abort();  // the reader promises results, not exceptions
    }
    ostrel::fuzz::check(settings.pdt_max_day_trades >= 1 && settings.pdt_max_day_trades <= 3);
    ostrel::fuzz::check(settings.auto_scout_interval_min >= 15 &&
                        settings.auto_scout_interval_min <= 120);
    // What a save writes loads back to the same file.
    std::string saved;
    try {
        saved = settings_to_json(settings).dump(2, ' ', false,
                                                nlohmann::json::error_handler_t::replace);
    } catch (const std::exception&) {
        std::abort();
    }
    Settings again = default_settings();
    ostrel::fuzz::check(apply_settings_json(nlohmann::json::parse(saved), again).has_value());
    ostrel::fuzz::check(settings_to_json(again).dump(
                            2, ' ', false, nlohmann::json::error_handler_t::replace) == saved);
    return 0;
}
