// SQLite access of the state store: open, save (upsert) and load of one ticker's row.
#include "store/symbol_state_store.hpp"

#include <sqlite3.h>
#include <sys/stat.h>

#include <utility>

namespace ostrel {

namespace {

constexpr const char* kCreateSql =
    "CREATE TABLE IF NOT EXISTS symbols (symbol TEXT PRIMARY KEY,holding INTEGER,qty "
    "INTEGER,avg_price REAL,last_price REAL,last_score REAL,payload TEXT);";

constexpr const char* kUpsertSql =
    "INSERT INTO symbols(symbol,holding,qty,avg_price,last_price,last_score,payload) "
    "VALUES(?,?,?,?,?,?,?) ON CONFLICT(symbol) DO UPDATE SET holding=excluded.holding, "
    "qty=excluded.qty, avg_price=excluded.avg_price, last_price=excluded.last_price, "
    "last_score=excluded.last_score, payload=excluded.payload;";

constexpr const char* kSelectSql =
    "SELECT holding,qty,avg_price,last_price,last_score,payload FROM symbols WHERE symbol=?";

// Another process (or a second copy of the program) may hold the write lock for a moment.
constexpr int kBusyTimeoutMs = 5000;

/// Finalises a prepared statement on every path out.
struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

std::string db_error(sqlite3* db) {
    const char* msg = db ? sqlite3_errmsg(db) : nullptr;
    return msg && *msg ? msg : "sqlite error";
}

}  // namespace

SymbolStateStore::~SymbolStateStore() {
    std::lock_guard lock(mutex_);
    close_locked();
}

void SymbolStateStore::close_locked() {
    sqlite3_finalize(upsert_);
    upsert_ = nullptr;
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
    written_.clear();
}

void SymbolStateStore::set_error_reporter(ErrorReporter reporter) {
    std::lock_guard lock(mutex_);
    reporter_ = std::move(reporter);
}

std::expected<void, std::string> SymbolStateStore::open(const std::string& path) {
    std::lock_guard lock(mutex_);
    close_locked();
    failure_reported_ = false;
    refusal_.clear();
    const std::string name = "State database " + path;
    const std::string fresh =
        " — every ticker starts fresh and nothing of this run is saved; the file is left as it "
        "is";

    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        refusal_ = name + (S_ISDIR(st.st_mode) ? " is a folder, not a file" : " is not a file");
        failure_reported_ = true;  // said once here; every save would only repeat it
        return std::unexpected(refusal_ + fresh);
    }
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        refusal_ = name + " cannot be opened (" + db_error(db_) + ")";
        close_locked();
        failure_reported_ = true;
        return std::unexpected(refusal_ + fresh);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);

    if (std::string why = inspect_locked(path); !why.empty()) {
        refusal_ = why;
        failure_reported_ = true;
        if (!db_) return std::unexpected(why + fresh);
        return std::unexpected(why +
                               " — its rows are read, but nothing of this run is saved to it; "
                               "the file is left as it is");
    }

    // WAL keeps a reader from blocking the saver and survives a killed process; when the file
    // system cannot do WAL the default journal still works, so a failure here is not fatal.
    sqlite3_exec(db_, "PRAGMA journal_mode=WAL;", nullptr, nullptr, nullptr);
    sqlite3_exec(db_, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    char* err = nullptr;
    if (sqlite3_exec(db_, kCreateSql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::string text = err ? err : "sqlite exec failed";
        sqlite3_free(err);
        return std::unexpected(text);
    }
    return {};
}

std::string SymbolStateStore::inspect_locked(const std::string& path) {
    const std::string name = "State database " + path;
    // The first read tells a database from any other file, and finds a lock another program
    // holds; nothing is written before it.
    char* err = nullptr;
    const int read =
        sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, &err);
    std::string detail = err ? err : db_error(db_);
    sqlite3_free(err);
    if (read == SQLITE_NOTADB) {
        close_locked();
        return name + " is not a database (" + detail + ")";
    }
    if (read == SQLITE_BUSY || read == SQLITE_LOCKED) {
        close_locked();
        return name + " is locked by another program (" + detail +
               "); is a second copy of Ostrel using this data folder?";
    }
    if (read != SQLITE_OK) return name + " is damaged (" + detail + ")";

    Statement check;
    if (sqlite3_prepare_v2(db_, "PRAGMA quick_check(1);", -1, &check.stmt, nullptr) == SQLITE_OK) {
        const int rc = sqlite3_step(check.stmt);
        const auto* text = rc == SQLITE_ROW
                               ? reinterpret_cast<const char*>(sqlite3_column_text(check.stmt, 0))
                               : nullptr;
        const std::string verdict = text ? text : db_error(db_);
        if (verdict != "ok") return name + " is damaged (" + verdict + ")";
    }
    if (sqlite3_db_readonly(db_, "main") == 1) return name + " is read-only";

    // Taking the write lock and letting it go changes nothing in the file, and shows whether
    // another program keeps it.
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE;", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string why = db_error(db_);
        return name + " is locked by another program (" + why +
               "); is a second copy of Ostrel using this data folder?";
    }
    sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
    return {};
}

std::expected<void, std::string> SymbolStateStore::save(const SymbolState& state) {
    return save(state, false);
}

std::expected<void, std::string> SymbolStateStore::save_changed(const SymbolState& state) {
    return save(state, true);
}

std::expected<void, std::string> SymbolStateStore::save(const SymbolState& state,
                                                        bool skip_unchanged) {
    std::lock_guard lock(mutex_);
    auto result = save_locked(state, skip_unchanged);
    if (result) {
        failure_reported_ = false;
    } else if (!failure_reported_) {
        failure_reported_ = true;
        if (reporter_) {
            reporter_(result.error() +
                      " — the stored row keeps its previous values; further failures are not "
                      "logged until a save succeeds");
        }
    }
    return result;
}

std::expected<void, std::string> SymbolStateStore::save_locked(const SymbolState& state,
                                                               bool skip_unchanged) {
    if (!refusal_.empty()) return std::unexpected(refusal_ + ": " + state.symbol + " not saved");
    if (!db_) return {};  // never opened: nothing to write to, as before the engine starts
    WrittenRow row{state.holding,    state.qty,        state.avg_price,
                   state.last_price, state.last_score, state_payload(state)};
    if (const auto it = written_.find(state.symbol);
        skip_unchanged && it != written_.end() && it->second == row)
        return {};
    if (!upsert_ && sqlite3_prepare_v2(db_, kUpsertSql, -1, &upsert_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(upsert_);
        upsert_ = nullptr;
        return std::unexpected("State save failed for " + state.symbol + ": " + db_error(db_));
    }
    sqlite3_stmt* st = upsert_;
    sqlite3_bind_text(st, 1, state.symbol.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 2, row.holding ? 1 : 0);
    sqlite3_bind_int(st, 3, row.qty);
    sqlite3_bind_double(st, 4, row.avg_price);
    sqlite3_bind_double(st, 5, row.last_price);
    sqlite3_bind_double(st, 6, row.last_score);
    sqlite3_bind_text(st, 7, row.payload.c_str(), static_cast<int>(row.payload.size()),
                      SQLITE_TRANSIENT);
    const int rc = sqlite3_step(st);
    const std::string error = rc == SQLITE_DONE ? std::string() : db_error(db_);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (rc != SQLITE_DONE) {
        written_.erase(state.symbol);  // the row on disk is whatever was there before
        return std::unexpected("State save failed for " + state.symbol + ": " + error);
    }
    written_[state.symbol] = std::move(row);
    return {};
}

SymbolState SymbolStateStore::load(const std::string& ticker) {
    std::lock_guard lock(mutex_);
    SymbolState state;
    state.symbol = ticker;
    if (!db_) return state;
    Statement st;
    if (sqlite3_prepare_v2(db_, kSelectSql, -1, &st.stmt, nullptr) != SQLITE_OK) return state;
    sqlite3_bind_text(st.stmt, 1, ticker.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st.stmt) != SQLITE_ROW) return state;
    state.holding = sqlite3_column_int64(st.stmt, 0) != 0;
    state.qty = sqlite3_column_int(st.stmt, 1);
    state.avg_price = sqlite3_column_double(st.stmt, 2);
    state.last_price = sqlite3_column_double(st.stmt, 3);
    state.last_score = sqlite3_column_double(st.stmt, 4);
    if (sqlite3_column_type(st.stmt, 5) != SQLITE_NULL) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.stmt, 5));
        const int len = sqlite3_column_bytes(st.stmt, 5);
        if (text && read_state_payload(std::string(text, static_cast<std::size_t>(len)), state)) {
            state.order_in_flight = !state.pending_order_id.empty();
        }
    }
    return state;
}

}  // namespace ostrel
