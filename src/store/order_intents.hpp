// Orders we meant to send, kept in the state database from just before the request goes out
// until reconciliation has tied each to an order at the broker or shown it never arrived.
#pragma once

#include <cstdint>
#include <expected>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

namespace ostrel {

/// One order as it was about to be sent, with the client tag that lets the broker's order
/// list name it.
struct OrderIntent {
    std::string tag;  ///< unique per order; sent in the order's tag field
    std::string symbol;
    std::string side;
    int quantity = 0;
    std::string type;  ///< "limit", "stop", ...
    std::string duration;
    std::string order_class;  ///< "equity" or "oco"
    double price = 0.0;
    double stop = 0.0;
    std::int64_t created_ms = 0;
    std::string order_id;  ///< the broker's id once an answer gave it; empty while unknown
};

/// Table `order_intents` of the state database. Thread-safe; every call is one statement.
class OrderIntentStore {
  public:
    OrderIntentStore() = default;
    ~OrderIntentStore();
    OrderIntentStore(const OrderIntentStore&) = delete;
    OrderIntentStore& operator=(const OrderIntentStore&) = delete;

    /// Opens (creating when missing) the database file and the table.
    std::expected<void, std::string> open(const std::string& path);
    /// Writes the intent durably; an error means it is not on disk.
    std::expected<void, std::string> record(const OrderIntent& intent);
    /// Notes the broker's id for an intent.
    std::expected<void, std::string> set_order_id(const std::string& tag,
                                                  const std::string& order_id);
    std::expected<void, std::string> remove(const std::string& tag);
    /// Every recorded intent, oldest first; an unreadable table gives an error.
    std::expected<std::vector<OrderIntent>, std::string> all();

  private:
    std::mutex mutex_;
    sqlite3* db_ = nullptr;
};

}  // namespace ostrel
