// Reading and appending the JSON Lines fill journals.
#include "broker/fill_journal.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "log/activity_log.hpp"
#include "platform/durable_append.hpp"

namespace ostrel {

using nlohmann::json;

JournalProblems for_each_journal_object(std::string_view text,
                                        const std::function<bool(const json&, int)>& each) {
    JournalProblems problems;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        const json j = json::parse(line, nullptr, false);
        if (j.is_discarded() || !j.is_object() || !each(j, number)) problems.add(number);
    }
    return problems;
}

std::int64_t journal_ms(const json& v) {
    if (v.is_number_unsigned()) {
        const auto u = v.get<std::uint64_t>();
        return u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(u);
    }
    if (v.is_number_integer()) return v.get<std::int64_t>();
    if (!v.is_number()) return 0;
    const double d = v.get<double>();
    if (!(d > 0.0)) return 0;
    if (d >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(d);
}

std::vector<FillEvent> parse_fill_events(std::string_view text, JournalProblems& problems) {
    std::vector<FillEvent> out;
    problems = for_each_journal_object(text, [&](const json& j, int) {
        FillEvent e;
        if (auto it = j.find("symbol"); it != j.end() && it->is_string()) e.symbol = *it;
        if (auto it = j.find("side"); it != j.end() && it->is_string()) e.side = *it;
        if (auto it = j.find("ts_ms"); it != j.end() && it->is_number()) e.ts_ms = journal_ms(*it);
        if (e.symbol.empty() || e.side.empty() || e.ts_ms <= 0) return false;
        out.push_back(std::move(e));
        return true;
    });
    return out;
}

std::expected<std::optional<std::string>, std::string> read_journal_text(
    const std::filesystem::path& file) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found) return std::nullopt;
    if (ec) return std::unexpected(file.string() + ": " + ec.message());
    if (std::filesystem::is_directory(status)) {
        return std::unexpected(file.string() + " is a folder, not a journal");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::unexpected(file.string() + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::unexpected(file.string() + ": read failed");
    return text.str();
}

std::string journal_problem_line(const std::string& name, const JournalProblems& p) {
    return name + ": " + std::to_string(p.bad_lines) + " unreadable line" +
           (p.bad_lines == 1 ? "" : "s") + " skipped (first at line " +
           std::to_string(p.first_bad_line) + "); the file is left as it is";
}

std::expected<void, std::string> append_journal_line(const std::filesystem::path& file,
                                                     std::string_view line) {
    auto appended = platform::append_line_durably(file.string(), line);
    if (!appended)
        return std::unexpected("Could not append to " + file.string() + ": " + appended.error());
    return {};
}

JournalAppender::JournalAppender(std::filesystem::path file, std::string tag)
    : file_(std::move(file)), tag_(std::move(tag)) {}

bool JournalAppender::append(std::string_view line, const std::string& what) {
    std::lock_guard lock(mutex_);
    const auto written = append_journal_line(file_, line);
    if (written) {
        failing_ = false;
        return true;
    }
    if (!failing_) {
        failing_ = true;
        log_error(tag_, written.error() + " — " + what +
                            " not journalled; further failures are not logged until a write "
                            "succeeds");
    }
    return false;
}

}  // namespace ostrel
