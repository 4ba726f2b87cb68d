// The JSON Lines fill journals (paper_blotter.jsonl, day_trades.jsonl): reading them line by
// line without losing the good lines to a bad one, and appending a line safely.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace ostrel {

/// One fill of the account, as far as day-trade counting needs it.
struct FillEvent {
    std::string symbol;
    std::string side;  ///< "buy", "sell", "buy_to_cover", "sell_short"
    std::int64_t ts_ms = 0;
};

/// Lines of a journal that could not be used.
struct JournalProblems {
    int bad_lines = 0;       ///< not JSON, not an object, or missing what the reader needs
    int first_bad_line = 0;  ///< 1-based number of the first one, 0 when none
    void add(int line_number) {
        if (bad_lines++ == 0) first_bad_line = line_number;
    }
};

/// Calls `each` with every non-empty line of `text` that is a JSON object (LF or CR LF line
/// ends) and its line number; `each` returns false for an object it cannot use. Lines that
/// are not objects, and those refused, are counted.
JournalProblems for_each_journal_object(
    std::string_view text, const std::function<bool(const nlohmann::json&, int)>& each);

/// The usable fill events of a journal's text: "symbol" and "side" non-empty strings and a
/// positive number "ts_ms". Other keys (the paper journal's id, qty, price, ...) are ignored.
std::vector<FillEvent> parse_fill_events(std::string_view text, JournalProblems& problems);

/// A number member as a 64-bit millisecond count (0 when it is not a positive number).
std::int64_t journal_ms(const nlohmann::json& value);

/// The whole file; nullopt when it does not exist; an error text when it exists but cannot
/// be read (a folder, no permission).
std::expected<std::optional<std::string>, std::string> read_journal_text(
    const std::filesystem::path& file);

/// The one line that says what a read skipped, e.g. "day_trades.jsonl: 2 unreadable lines
/// skipped (first at line 7); the file is left as it is".
std::string journal_problem_line(const std::string& name, const JournalProblems& problems);

/// Appends `line` and a line end as one write. When the file's last byte is not a line end
/// (a line cut off by a crash or a full disk) a line end goes first, so the new line is
/// never glued to it. A short write is cut back off, so no half line stays. Errors name the
/// file and the reason.
std::expected<void, std::string> append_journal_line(const std::filesystem::path& file,
                                                     std::string_view line);

/// Appends lines to one journal and says once, in the activity log, when a line could not
/// be written; after a success a later failure is reported again.
class JournalAppender {
  public:
    /// `tag` is the log tag of the failure line.
    JournalAppender(std::filesystem::path file, std::string tag);
    /// False when the line was lost (already logged, at most once in a row).
    bool append(std::string_view line, const std::string& what);

  private:
    std::filesystem::path file_;
    std::string tag_;
    std::mutex mutex_;
    bool failing_ = false;
};

}  // namespace ostrel
