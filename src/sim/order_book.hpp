// The simulated account: cash, positions and an order book that fills against the market.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/calendar.hpp"
#include "sim/form.hpp"
#include "sim/market.hpp"
#include "sim/sim_records.hpp"

namespace ostrel::sim {

/// One order or OCO leg as the book keeps it.
struct BookOrder {
    std::int64_t id = 0;
    std::int64_t parent_id = 0;
    std::string order_class = "equity";
    std::string symbol;
    std::string side;
    std::string type;
    std::string duration;
    std::string status = "pending";
    std::string tag;
    std::string reason;  ///< reason_description of a rejection
    int quantity = 0;
    double price = 0.0;
    double stop = 0.0;
    int exec_quantity = 0;
    double avg_fill_price = 0.0;
    double last_fill_price = 0.0;
    int last_fill_quantity = 0;
    std::int64_t create_ms = 0;
    std::int64_t transaction_ms = 0;
    DayNumber session_day = 0;  ///< day orders expire at this day's close
    bool triggered = false;     ///< a stop that has been touched
    std::string reject_with;    ///< set: reject on the first match pass with this reason
    std::vector<std::int64_t> legs;
};

struct BookPosition {
    std::int64_t id = 0;
    std::string symbol;
    int quantity = 0;
    double cost_basis = 0.0;
    std::int64_t acquired_ms = 0;
};

/// Balances as the endpoint computes them.
struct Balances {
    AccountType type = AccountType::margin;
    double cash = 0.0;
    double long_market_value = 0.0;
    double short_market_value = 0.0;
    double market_value = 0.0;
    double equity = 0.0;
    double excess = 0.0;
    double stock_buying_power = 0.0;
    double option_buying_power = 0.0;
    int pending_orders = 0;
};

/// Validation failures, in the broker's words: one text or several.
using FormErrors = std::vector<std::string>;

/// Price lookup the book matches against; nullopt for an unknown symbol.
using TouchFn = std::function<std::optional<Touch>(const std::string& symbol)>;

class OrderBook {
  public:
    OrderBook(const SimConfig& config);

    /// Validates an order form. On success the order is booked as pending.
    std::expected<std::int64_t, FormErrors> place(
        const FormFields& form, std::int64_t now_ms,
        const std::function<bool(const std::string&)>& known_symbol);
    /// Validates an order form without booking it (preview=true).
    std::expected<void, FormErrors> validate(
        const FormFields& form, const std::function<bool(const std::string&)>& known_symbol) const;
    /// Applies a change form (type, duration, price, stop) to a working order or leg.
    std::expected<void, std::string> change(std::int64_t id, const FormFields& form,
                                            std::int64_t now_ms);
    /// Cancels a working order; an OCO goes as a whole.
    std::expected<void, std::string> cancel(std::int64_t id, std::int64_t now_ms);

    /// One match pass: pending orders are accepted or rejected, working orders expire or fill.
    void match(std::int64_t now_ms, const TouchFn& touch);

    const std::map<std::int64_t, BookOrder>& orders() const { return orders_; }
    const BookOrder* find(std::int64_t id) const;
    /// Top-level orders (legs appear under their parent).
    std::vector<const BookOrder*> top_level() const;

    /// The positions endpoint's answer: lagging fills stay hidden for their remaining polls.
    std::vector<BookPosition> poll_positions();
    std::vector<BookPosition> positions() const;
    Balances balances(const TouchFn& touch) const;

    double cash() const { return cash_; }
    void set_cash(double cash) { cash_ = cash; }
    AccountType type() const { return type_; }
    void set_type(AccountType type) { type_ = type; }
    void set_position(const std::string& symbol, int quantity, double cost_basis,
                      std::int64_t now_ms);
    /// Refuses the next `count` orders; with `types` given, only orders with a leg of one of
    /// those types ("stop", "limit" ...), the others pass.
    void reject_next(int count, const std::string& reason,
                     const std::vector<std::string>& types = {});

  private:
    std::int64_t next_id() { return next_id_++; }
    BookOrder* find_mut(std::int64_t id);
    std::optional<std::string> acceptance_problem(const BookOrder& o, const TouchFn& touch) const;
    void fill(BookOrder& o, int quantity, double price, std::int64_t now_ms);
    void apply_to_account(const BookOrder& o, int quantity, double price, std::int64_t now_ms);
    void finish_oco(BookOrder& leg, std::int64_t now_ms);
    void set_status(BookOrder& o, const std::string& status, std::int64_t now_ms);

    AccountType type_;
    double cash_;
    std::int64_t next_id_;
    std::int64_t next_position_id_ = 130089;
    int lag_polls_;
    int fill_steps_;
    std::map<std::int64_t, BookOrder> orders_;
    std::map<std::string, BookPosition> positions_;
    std::map<std::string, BookPosition> visible_;  ///< what the endpoint last showed
    std::map<std::string, int> hidden_polls_;      ///< symbol -> polls left before it shows
    int reject_count_ = 0;
    std::string reject_reason_;
    std::vector<std::string> reject_types_;
};

bool is_final_status(const std::string& status);
/// "buy" and "buy_to_cover": the sides that add shares.
bool is_buy(const std::string& side);

}  // namespace ostrel::sim
