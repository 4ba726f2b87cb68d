// settings.json on disk: the candidate search on load and the crash-safe write.
#include "config/settings_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>

#include "config/data_locations.hpp"
#include "config/settings_json.hpp"
#include "platform/file_replace.hpp"
#include "platform/paths.hpp"

namespace ostrel {
namespace {

void apply_environment_token(Settings& settings) {
    const std::string token = platform::environment("TRADIER_ACCESS_TOKEN");
    if (!token.empty()) settings.tradier_token = token;
}

// Parses one candidate file; nullopt when it cannot be opened, parsed or applied.
std::optional<Settings> try_candidate(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    try {
        const nlohmann::json json = nlohmann::json::parse(in);
        Settings settings = default_settings();
        if (!apply_settings_json(json, settings)) return std::nullopt;
        return settings;
    } catch (const std::exception&) {
        return std::nullopt;  // a malformed file is skipped without a message
    }
}

std::mutex& write_mutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

std::vector<std::string> settings_candidates(const std::string& data_dir,
                                             const std::string& program_dir) {
    std::vector<std::string> out;
    if (!data_dir.empty()) out.push_back(data_dir + "settings.json");
    if (!program_dir.empty()) {
        out.push_back(program_dir + "settings.json");
        out.push_back(program_dir + "default.json");
        const std::string above = parent_directory(program_dir);
        if (!above.empty()) {
            out.push_back(above + "settings.json");
            out.push_back(above + "default.json");
        }
    }
    out.push_back("settings.json");
    out.push_back("default.json");
    return out;
}

Settings load_settings(const std::string& data_dir, const std::string& program_dir) {
    for (const std::string& path : settings_candidates(data_dir, program_dir)) {
        if (auto settings = try_candidate(path)) {
            apply_environment_token(*settings);
            return *settings;
        }
    }
    Settings settings = default_settings();
    apply_environment_token(settings);
    return settings;
}

Settings load_settings() {
    return load_settings(data_directory(), program_directory());
}

std::expected<void, std::string> write_settings(const std::string& path, const Settings& settings) {
    const std::string text = settings_to_json(settings).dump(2);

    std::lock_guard lock(write_mutex());
    switch (platform::replace_file(path, text)) {
        case platform::ReplaceOutcome::done:
            break;
        case platform::ReplaceOutcome::not_started:
            return std::unexpected("Could not write " + path);
        case platform::ReplaceOutcome::not_finished:
            return std::unexpected("Could not finish writing " + path);
    }
    return {};
}

}  // namespace ostrel
