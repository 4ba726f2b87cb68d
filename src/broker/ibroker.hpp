// The broker interface the engine trades through, and the records that cross it.
#pragma once

#include <expected>
#include <string>
#include <string_view>

namespace ostrel {

/// One order as the engine asks for it.
struct OrderRequest {
    std::string symbol;
    std::string side;  ///< "buy" or "sell"
    int quantity = 0;
    double price = 0.0;            ///< limit price (for an OCO exit: the profit-target limit)
    double stop = 0.0;             ///< stop price (for an OCO exit: the stop leg)
    std::string type = "limit";    ///< "limit", "market", "stop" or "stop_limit"; empty means limit
    std::string duration = "day";  ///< "day" or "gtc"; empty means day
    std::string order_class = "equity";  ///< exactly "oco" for an OCO pair, else a single order
    std::string reason;  ///< why the order is placed; shown in log lines and the paper blotter
    std::string tag;     ///< client tag sent with the order (letters, digits, dashes); may be empty
};

/// The broker's order id, or the error text of a refused or unsent order.
using OrderResult = std::expected<std::string, std::string>;

/// Start of the error text of a placement whose outcome is unknown: the request may have
/// reached the broker (a timeout, a dropped connection, a 5xx, a 2xx nobody can read), so the
/// order may be working although no id came back.
inline constexpr std::string_view kOutcomeUnknownPrefix = "Outcome unknown: ";

/// True when a placement failed in a way that does not show the order was not placed.
inline bool outcome_unknown(const OrderResult& result) {
    return !result && std::string_view(result.error()).starts_with(kOutcomeUnknownPrefix);
}

/// Outcome of cancel and modify calls.
struct ActionResult {
    bool ok = false;
    std::string message;  ///< empty when ok, the error text otherwise
};

/// Account values in dollars.
struct AccountSnapshot {
    double equity = 0.0;
    double buying_power = 0.0;
    double cash = 0.0;
};

/// The live brokerage account and the paper book behind one interface.
class IBroker {
  public:
    virtual ~IBroker() = default;
    /// "tradier" or "paper".
    virtual std::string name() const = 0;
    virtual std::expected<AccountSnapshot, std::string> account_snapshot() = 0;
    virtual OrderResult place(const OrderRequest& request) = 0;
    virtual ActionResult cancel(const std::string& order_id) = 0;
    virtual ActionResult modify_stop(const std::string& order_id, double new_stop) = 0;
    virtual ActionResult modify_limit(const std::string& order_id, double new_limit,
                                      const std::string& duration) = 0;
};

}  // namespace ostrel
