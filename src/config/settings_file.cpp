// settings.json on disk: the candidate search on load and the crash-safe write.
#include "config/settings_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool write_all(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Makes a finished rename survive a power cut; a failure here loses nothing already written.
void sync_folder(const std::string& path) {
    const std::string dir = parent_directory(path);
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
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
    // mkstemp creates the file with mode 0600: the token inside is never readable by others,
    // not even for the moment before the rename.
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return std::unexpected("Could not write " + path);

    const bool written = write_all(fd, text) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return std::unexpected("Could not finish writing " + path);
    }
    sync_folder(path);
    return {};
}

}  // namespace ostrel
