// Converting Settings to and from the JSON of settings.json.
#pragma once

#include <expected>
#include <nlohmann/json.hpp>
#include <string>

#include "config/settings.hpp"

namespace ostrel {

/// The built-in defaults (a default-constructed record).
inline Settings default_settings() {
    return Settings{};
}

/// The 46 members of settings.json; keys come out in byte order.
nlohmann::json settings_to_json(const Settings& settings);

/// Overlays the members present in `json` onto `settings`, each only when it has the expected
/// type. A non-object leaves the record as it is. Fails only for a SCORING_WEIGHTS member that
/// is not a number; the record may then be partly overlaid and should be dropped.
std::expected<void, std::string> apply_settings_json(const nlohmann::json& json,
                                                     Settings& settings);

}  // namespace ostrel
