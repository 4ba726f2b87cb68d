// The per-ticker state database: one SQLite row per ticker that was ever on the Monitor list.
#pragma once

#include <expected>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "state/symbol_state.hpp"

struct sqlite3;
struct sqlite3_stmt;

namespace ostrel {

/// Keeps lots, pending orders and resting-order ids across restarts in table `symbols`.
class SymbolStateStore {
  public:
    /// Receives the text of a failed save; called once per run of failures, not on every one.
    using ErrorReporter = std::function<void(const std::string&)>;

    SymbolStateStore() = default;
    ~SymbolStateStore();
    SymbolStateStore(const SymbolStateStore&) = delete;
    SymbolStateStore& operator=(const SymbolStateStore&) = delete;

    /// Opens (creating when missing) the database file and the table, in WAL mode. A file
    /// that cannot be used as it is never gets written: one that is not a database, a
    /// folder, or one another program keeps locked gives fresh states; a damaged or
    /// read-only one is only read. The error is then one line saying which and what follows.
    std::expected<void, std::string> open(const std::string& path);

    /// Inserts or replaces the ticker's row. On failure the old row stays and the error is
    /// returned (and handed to the reporter the first time in a row).
    std::expected<void, std::string> save(const SymbolState& state);
    /// save(), except that a row this store last wrote with the very same values is not
    /// written again (the engine saves every ticker on every pass, mostly unchanged).
    std::expected<void, std::string> save_changed(const SymbolState& state);

    /// The stored state of the ticker, or a fresh one. Analysis fields are not read back.
    SymbolState load(const std::string& ticker);

    void set_error_reporter(ErrorReporter reporter);

  private:
    std::expected<void, std::string> save(const SymbolState& state, bool skip_unchanged);
    std::expected<void, std::string> save_locked(const SymbolState& state, bool skip_unchanged);
    /// Looks at an opened file before anything is written to it; the reason it may not be
    /// written, empty when it may.
    std::string inspect_locked(const std::string& path);
    void close_locked();

    /// The values of a row as last written.
    struct WrittenRow {
        bool holding = false;
        int qty = 0;
        double avg_price = 0.0;
        double last_price = 0.0;
        double last_score = 0.0;
        std::string payload;
        bool operator==(const WrittenRow&) const = default;
    };

    std::mutex mutex_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* upsert_ = nullptr;  ///< prepared on the first save, kept until closed
    std::unordered_map<std::string, WrittenRow> written_;  ///< rows written since the open
    std::string refusal_;  ///< why saves are refused this run; empty when the file is written
    ErrorReporter reporter_;
    bool failure_reported_ = false;
};

/// The compact JSON payload column of a state.
std::string state_payload(const SymbolState& state);

/// Reads the persisted payload members into `state`; returns false when the text is not JSON.
bool read_state_payload(const std::string& payload, SymbolState& state);

}  // namespace ostrel
