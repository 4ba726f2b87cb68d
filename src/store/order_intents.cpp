// SQLite access of the order intents: record, note the id, remove, list.
#include "store/order_intents.hpp"

#include <sqlite3.h>

namespace ostrel {

namespace {

constexpr const char* kCreateSql =
    "CREATE TABLE IF NOT EXISTS order_intents (tag TEXT PRIMARY KEY,symbol TEXT,side TEXT,"
    "quantity INTEGER,type TEXT,duration TEXT,order_class TEXT,price REAL,stop REAL,"
    "created_ms INTEGER,order_id TEXT);";

constexpr const char* kInsertSql =
    "INSERT OR REPLACE INTO order_intents(tag,symbol,side,quantity,type,duration,order_class,"
    "price,stop,created_ms,order_id) VALUES(?,?,?,?,?,?,?,?,?,?,?);";

constexpr const char* kSelectSql =
    "SELECT tag,symbol,side,quantity,type,duration,order_class,price,stop,created_ms,order_id "
    "FROM order_intents ORDER BY created_ms, rowid;";

constexpr int kBusyTimeoutMs = 5000;

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

std::string db_error(sqlite3* db) {
    const char* msg = db ? sqlite3_errmsg(db) : nullptr;
    return msg && *msg ? msg : "sqlite error";
}

std::string column_text(sqlite3_stmt* st, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(st, column)))
                : std::string();
}

void bind(sqlite3_stmt* st, int index, const std::string& text) {
    sqlite3_bind_text(st, index, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace

OrderIntentStore::~OrderIntentStore() {
    std::lock_guard lock(mutex_);
    if (db_) sqlite3_close_v2(db_);
}

std::expected<void, std::string> OrderIntentStore::open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
        const std::string error = db_error(db_);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        return std::unexpected(error);
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    char* err = nullptr;
    if (sqlite3_exec(db_, kCreateSql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::string text = err ? err : "sqlite exec failed";
        sqlite3_free(err);
        return std::unexpected(text);
    }
    return {};
}

std::expected<void, std::string> OrderIntentStore::record(const OrderIntent& i) {
    std::lock_guard lock(mutex_);
    if (!db_) return std::unexpected(std::string("state database not open"));
    Statement st;
    if (sqlite3_prepare_v2(db_, kInsertSql, -1, &st.stmt, nullptr) != SQLITE_OK)
        return std::unexpected(db_error(db_));
    bind(st.stmt, 1, i.tag);
    bind(st.stmt, 2, i.symbol);
    bind(st.stmt, 3, i.side);
    sqlite3_bind_int(st.stmt, 4, i.quantity);
    bind(st.stmt, 5, i.type);
    bind(st.stmt, 6, i.duration);
    bind(st.stmt, 7, i.order_class);
    sqlite3_bind_double(st.stmt, 8, i.price);
    sqlite3_bind_double(st.stmt, 9, i.stop);
    sqlite3_bind_int64(st.stmt, 10, i.created_ms);
    bind(st.stmt, 11, i.order_id);
    if (sqlite3_step(st.stmt) != SQLITE_DONE) return std::unexpected(db_error(db_));
    return {};
}

std::expected<void, std::string> OrderIntentStore::set_order_id(const std::string& tag,
                                                                const std::string& order_id) {
    std::lock_guard lock(mutex_);
    if (!db_) return std::unexpected(std::string("state database not open"));
    Statement st;
    if (sqlite3_prepare_v2(db_, "UPDATE order_intents SET order_id=? WHERE tag=?;", -1, &st.stmt,
                           nullptr) != SQLITE_OK)
        return std::unexpected(db_error(db_));
    bind(st.stmt, 1, order_id);
    bind(st.stmt, 2, tag);
    if (sqlite3_step(st.stmt) != SQLITE_DONE) return std::unexpected(db_error(db_));
    return {};
}

std::expected<void, std::string> OrderIntentStore::remove(const std::string& tag) {
    std::lock_guard lock(mutex_);
    if (!db_) return std::unexpected(std::string("state database not open"));
    Statement st;
    if (sqlite3_prepare_v2(db_, "DELETE FROM order_intents WHERE tag=?;", -1, &st.stmt, nullptr) !=
        SQLITE_OK)
        return std::unexpected(db_error(db_));
    bind(st.stmt, 1, tag);
    if (sqlite3_step(st.stmt) != SQLITE_DONE) return std::unexpected(db_error(db_));
    return {};
}

std::expected<std::vector<OrderIntent>, std::string> OrderIntentStore::all() {
    std::lock_guard lock(mutex_);
    std::vector<OrderIntent> out;
    if (!db_) return out;
    Statement st;
    if (sqlite3_prepare_v2(db_, kSelectSql, -1, &st.stmt, nullptr) != SQLITE_OK)
        return std::unexpected(db_error(db_));
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st.stmt)) == SQLITE_ROW) {
        OrderIntent i;
        i.tag = column_text(st.stmt, 0);
        i.symbol = column_text(st.stmt, 1);
        i.side = column_text(st.stmt, 2);
        i.quantity = sqlite3_column_int(st.stmt, 3);
        i.type = column_text(st.stmt, 4);
        i.duration = column_text(st.stmt, 5);
        i.order_class = column_text(st.stmt, 6);
        i.price = sqlite3_column_double(st.stmt, 7);
        i.stop = sqlite3_column_double(st.stmt, 8);
        i.created_ms = sqlite3_column_int64(st.stmt, 9);
        i.order_id = column_text(st.stmt, 10);
        out.push_back(std::move(i));
    }
    if (rc != SQLITE_DONE) return std::unexpected(db_error(db_));
    return out;
}

}  // namespace ostrel
