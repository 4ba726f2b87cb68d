// settings.json on disk: the candidate search on load and the crash-safe write.
#include "config/settings_file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>

#include "config/data_locations.hpp"
#include "config/settings_json.hpp"
#include "platform/file_replace.hpp"
#include "platform/paths.hpp"
#include "platform/wall_clock.hpp"

namespace ostrel {
namespace {

bool is_plain_file(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

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
                                             const std::string& program_dir, bool fallbacks) {
    std::vector<std::string> out;
    if (!data_dir.empty()) out.push_back(data_dir + "settings.json");
    // A folder the user named is the only place read: a settings.json planted in a parent
    // or working folder must never switch a run to another account or to live trading.
    if (!fallbacks) return out;
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

Settings load_settings(const std::string& data_dir, const std::string& program_dir,
                       bool fallbacks) {
    for (const std::string& path : settings_candidates(data_dir, program_dir, fallbacks)) {
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
    const std::string data_dir = data_directory();
    return load_settings(data_dir, program_directory(), !data_directory_named());
}

Settings SettingsFile::load(const std::string& data_dir, const std::string& program_dir,
                            bool fallbacks) {
    const std::string target = data_dir + "settings.json";
    const auto own = try_candidate(target);
    std::lock_guard lock(mutex_);
    path_ = target;
    env_token_ = platform::environment("TRADIER_ACCESS_TOKEN");
    file_token_ = own ? own->tradier_token : std::string();
    // Only a file is kept aside; a folder in the way makes the save fail with its own error.
    keep_aside_ = !own && is_plain_file(target);
    return load_settings(data_dir, program_dir, fallbacks);
}

std::string SettingsFile::path() const {
    std::lock_guard lock(mutex_);
    return path_;
}

std::expected<void, std::string> SettingsFile::save(const Settings& settings, const Note& note) {
    std::lock_guard lock(mutex_);
    Settings copy = settings;
    // The environment's token lives in memory only; the file keeps the one it held.
    if (!env_token_.empty() && copy.tradier_token == env_token_) copy.tradier_token = file_token_;

    if (keep_aside_) {
        if (is_plain_file(path_)) {
            const std::string aside = unreadable_settings_name(path_, ostrel::now_ms());
            if (std::rename(path_.c_str(), aside.c_str()) != 0) {
                return std::unexpected("Could not keep the unreadable " + path_ + " aside as " +
                                       aside + " — settings not saved");
            }
            if (note) {
                note("settings.json could not be read at start; kept it as " + aside +
                     " before saving the settings in use");
            }
        }
        keep_aside_ = false;
    }
    auto written = write_settings(path_, copy);
    if (written) file_token_ = copy.tradier_token;
    return written;
}

std::string unreadable_settings_name(const std::string& path, std::int64_t now_ms) {
    const std::time_t secs = static_cast<std::time_t>(now_ms / 1000);
    std::tm local{};
    ::localtime_r(&secs, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = path + ".unreadable-" + stamp;
    std::string name = base;
    for (int n = 2; platform::file_exists(name); ++n)
        name = base + "-" + std::to_string(n);
    return name;
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
