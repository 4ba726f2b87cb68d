// The data folder: found from the executable (or an override) and created on demand.
#include "config/data_locations.hpp"

#include <array>
#include <atomic>
#include <mutex>

#include "platform/paths.hpp"

namespace ostrel {
namespace {

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

std::mutex& override_mutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<std::string>& override_dir() {
    static std::optional<std::string> dir;
    return dir;
}

// Files an earlier installation may have left next to the data folder.
constexpr std::array<const char*, 5> kMigratedFiles = {
    "settings.json", "imgui.ini", "ostrel_state.db", "paper_blotter.jsonl", "day_trades.jsonl"};

}  // namespace

std::string with_trailing_separator(std::string path) {
    if (path.empty() || !is_separator(path.back())) path.push_back('/');
    return path;
}

std::string program_directory() {
    const std::string exe = platform::executable_path();
    const auto cut = exe.find_last_of("/\\");
    if (exe.empty() || cut == std::string::npos) return {};
    return exe.substr(0, cut + 1);
}

std::string parent_directory(const std::string& path) {
    if (path.size() <= 1) return {};
    std::string trimmed = path;
    while (!trimmed.empty() && is_separator(trimmed.back()))
        trimmed.pop_back();
    const auto cut = trimmed.find_last_of("/\\");
    if (cut == std::string::npos) return {};
    return trimmed.substr(0, cut + 1);
}

bool data_directory_named() {
    {
        std::lock_guard lock(override_mutex());
        if (override_dir() && !override_dir()->empty()) return true;
    }
    return !platform::environment("OSTREL_DATA_DIR").empty();
}

void set_data_directory_override(std::optional<std::string> dir) {
    std::lock_guard lock(override_mutex());
    override_dir() = std::move(dir);
}

void migrate_data_files(const std::string& data_dir) {
    const std::string sources[] = {parent_directory(data_dir), data_dir + "bin/"};
    for (const char* name : kMigratedFiles) {
        for (const std::string& source : sources) {
            if (source.empty() || source == data_dir) continue;
            if (platform::file_exists(data_dir + name)) continue;
            if (platform::file_exists(source + name)) {
                platform::move_file(source + name, data_dir + name);  // failure: start without it
            }
        }
    }
}

std::string user_data_directory() {
#ifdef _WIN32
    // The user's own, unroamed application data: %LOCALAPPDATA%\Ostrel\ (a drive or a
    // network path; anything relative is ignored).
    const std::string local = platform::environment("LOCALAPPDATA");
    const bool absolute = local.size() >= 3 && ((local[1] == ':' && is_separator(local[2])) ||
                                                local.starts_with("\\\\"));
    if (!absolute) return {};
    std::string dir = local;
    if (!is_separator(dir.back())) dir.push_back('\\');
    return dir + "Ostrel\\";
#else
    const std::string xdg = platform::environment("XDG_DATA_HOME");
    // Relative values are invalid and ignored, as the XDG base-directory rules say.
    if (!xdg.empty() && xdg.front() == '/') return with_trailing_separator(xdg) + "ostrel/";
    const std::string home = platform::environment("HOME");
    if (home.empty()) return {};
    return with_trailing_separator(home) + ".local/share/ostrel/";
#endif
}

std::string data_directory_for(const std::string& program_dir) {
    const std::string dir = program_dir.empty() ? "./" : program_dir;
    if (platform::writable_folder_problem(dir).empty()) return dir;
    const std::string user = user_data_directory();
    return user.empty() ? dir : user;
}

std::expected<std::string, std::string> usable_data_directory() {
    const std::string dir = data_directory();
    const std::string problem = platform::writable_folder_problem(dir);
    if (!problem.empty())
        return std::unexpected("cannot use the data folder " + dir + ": " + problem);
    return dir;
}

std::string data_directory() {
    std::optional<std::string> chosen;
    {
        std::lock_guard lock(override_mutex());
        chosen = override_dir();
    }
    if (!chosen || chosen->empty()) {
        const std::string from_env = platform::environment("OSTREL_DATA_DIR");
        if (!from_env.empty()) chosen = from_env;
    }
    if (chosen && !chosen->empty()) {
        // A folder named explicitly is used as it is: adopting files from its parent could
        // pull in another installation's settings (a temp folder's parent is /tmp).
        std::string dir = with_trailing_separator(*chosen);
        platform::create_folder(dir);
        return dir;
    }

    // The program folder does not move while the process runs: decide once where data lives.
    static const std::string program_dir = program_directory();
    static const std::string dir = data_directory_for(program_dir);
    platform::create_folder(dir);
    // Older installations only ever kept files beside the program; the user's data folder has
    // no such neighbours (its parent is ~/.local/share).
    static std::atomic<bool> migrated{false};
    const bool portable = dir == (program_dir.empty() ? "./" : program_dir);
    if (portable && !migrated.exchange(true)) migrate_data_files(dir);
    return dir;
}

}  // namespace ostrel
