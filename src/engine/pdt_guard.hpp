// Day-trade protection: remembers every fill and counts same-day round trips in five weekdays.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "broker/fill_journal.hpp"

namespace ostrel {

class PdtGuard {
  public:
    /// `data_dir` holds paper_blotter.jsonl and day_trades.jsonl.
    explicit PdtGuard(std::filesystem::path data_dir);

    /// Replaces the list with the fills of the paper journal, then of the live journal.
    /// A journal that cannot be read, or has lines that cannot be used, is named in one
    /// error line each; every usable line is kept.
    void load();
    /// Remembers a fill made now; a live fill is also appended to day_trades.jsonl.
    void record(const std::string& symbol, const std::string& side, bool live);
    /// Remembers a fill made at `ts_ms` (same journal rule as record).
    void record_at(const std::string& symbol, const std::string& side, std::int64_t ts_ms,
                   bool live);
    /// Day trades in the rolling window of five weekdays ending today.
    int count() const;
    /// The same, for a given "now".
    int count_at(std::int64_t now_ms) const;
    std::vector<FillEvent> events() const;

    /// The usable fill events of one JSON Lines journal; a missing file gives none. `problem`
    /// receives the line saying what could not be read (unchanged when all was well).
    static std::vector<FillEvent> read_journal(const std::filesystem::path& file,
                                               std::string* problem = nullptr);
    /// One day_trades.jsonl line (without the line end), strings JSON-escaped.
    static std::string journal_line(const FillEvent& event);

  private:
    std::filesystem::path data_dir_;
    mutable std::mutex mutex_;
    std::vector<FillEvent> events_;
    JournalAppender journal_;  ///< day_trades.jsonl
};

/// Counts day trades among `events` in the five-weekday window ending on the local date of now.
int count_day_trades(const std::vector<FillEvent>& events, std::int64_t now_ms);

}  // namespace ostrel
