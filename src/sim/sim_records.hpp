// The simulator's records: its configuration, clock, faults, received requests and the views of
// its book, account and quotes that tests and the control routes read.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ostrel::sim {

/// Kind of brokerage account; decides which balances sub-object is sent and how buying power works.
enum class AccountType { cash, margin, pdt };

/// The broker's rate-limit groups.
enum class LimitGroup { standard, market, trading };

/// Everything fixed when the simulator is built. Defaults give a margin account with $100,000.
struct SimConfig {
    std::uint64_t seed = 42;
    int symbol_count = 3000;  ///< universe size (the well-known names are always included)
    AccountType account_type = AccountType::margin;
    double starting_cash = 100000.0;
    /// Account numbers of the profile; one gives a bare object, several an array.
    std::vector<std::string> account_numbers = {"VA10000001"};
    /// The bearer token that is accepted; empty accepts any non-empty token.
    std::string token;
    /// Polls of the positions endpoint that pass after a fill before the position shows it.
    int position_lag_polls = 0;
    /// Match steps a marketable order needs to fill completely (1 = at once; 3 = thirds).
    int partial_fill_steps = 1;
    /// Match the book before every request (orders placed by one request fill on the next).
    bool auto_match = true;
    /// Write money and quantities with the broker's long decimal tails ("50.00000000").
    bool long_tails = true;
    /// Send a premarket_price member in quotes while the clock reads premarket.
    bool premarket_price_field = true;
    /// Send empty positions and orders lists as JSON null instead of the string "null".
    bool empty_lists_as_json_null = false;
    /// Write every price of quotes and bars as a JSON string ("187.25") instead of a number.
    bool numbers_as_strings = false;
    /// First trading day of the generated price history (YYYY-MM-DD).
    std::string history_start = "2018-01-02";
    /// Per-minute request limits of the three groups.
    int standard_limit = 120;
    int market_limit = 120;
    int trading_limit = 60;
    /// The clock the per-minute windows run on, in milliseconds; empty: the system clock.
    /// A benchmark hands the simulator the same simulated clock its client's budget waits on.
    std::function<std::int64_t()> limit_clock_ms;
    /// Answer sent when a limit is exceeded.
    int limit_status = 429;
    std::string limit_body =
        R"({"fault":{"faultstring":"Rate limit quota violation. Quota limit exceeded.","detail":{"errorcode":"policies.ratelimit.QuotaViolation"}}})";
    /// Id of the first order placed; later orders and legs count up from it.
    std::int64_t first_order_id = 7781001;
};

/// The market clock's four states.
enum class ClockState { premarket, open, postmarket, closed };

/// What the clock endpoint reports, plus the simulated Eastern wall time.
struct ClockView {
    std::string date;   ///< YYYY-MM-DD, Eastern
    std::string time;   ///< HH:MM:SS, Eastern
    std::string state;  ///< "premarket", "open", "postmarket" or "closed"
    std::string next_state;
    std::string next_change;  ///< HH:MM
    std::string description;
    std::int64_t timestamp = 0;  ///< epoch seconds
    bool real_time = false;      ///< true while the clock follows the system clock
};

/// Kinds of fault that can be injected into the next requests.
enum class FaultKind {
    status,        ///< answer `status` with `body` (5xx faults, 403, ...)
    rate_limited,  ///< answer 429 (or `status` when set) with the configured limit body
    unauthorized,  ///< answer 401 with `body` (default "Invalid Access Token")
    slow,          ///< answer normally after `delay_ms`
    truncated,     ///< announce the full length, send half the body, close the connection
    malformed,     ///< send a body that is not valid JSON with status 200
    errors_200,    ///< status 200 with an "errors" member and no effect (order actions)
    drop,          ///< close the connection without answering
};

/// One fault, applied to each of the next `count` requests whose path starts with `path_prefix`.
struct Fault {
    Fault(FaultKind kind_ = FaultKind::status, int count_ = 1, std::string path_prefix_ = {},
          int status_ = 0, std::string body_ = {}, int delay_ms_ = 0)
        : kind(kind_),
          count(count_),
          path_prefix(std::move(path_prefix_)),
          status(status_),
          body(std::move(body_)),
          delay_ms(delay_ms_) {}

    FaultKind kind = FaultKind::status;
    int count = 1;
    std::string path_prefix;  ///< relative to /v1, e.g. "/markets/quotes"; empty matches all
    int status = 0;           ///< 0 picks the kind's usual status
    std::string body;         ///< empty picks the kind's usual body
    int delay_ms = 0;         ///< for `slow`
};

/// One HTTP request as the simulator received it.
struct RequestRecord {
    std::string method;
    std::string target;  ///< path and query exactly as sent
    std::string path;    ///< path without the query
    std::string body;    ///< the raw body, byte for byte
    std::string authorization;
    std::string accept;
    std::string content_type;
    int status = 0;          ///< status answered
    std::uint64_t seq = 0;   ///< 1, 2, 3 ... in the order received; never reused
    std::int64_t at_ms = 0;  ///< wall-clock time it was answered, ms since the epoch
};

/// One order (or one leg) of the simulated book.
struct OrderView {
    std::int64_t id = 0;
    std::int64_t parent_id = 0;  ///< for a leg: its OCO parent; 0 otherwise
    std::string order_class;     ///< "equity" or "oco"
    std::string symbol;
    std::string side;
    std::string type;
    std::string duration;
    std::string status;
    int quantity = 0;
    double price = 0.0;
    double stop = 0.0;
    int exec_quantity = 0;
    double avg_fill_price = 0.0;
    double last_fill_price = 0.0;
    int last_fill_quantity = 0;
    std::string reason_description;
    std::string tag;                 ///< the client tag it was placed with; empty when none
    std::vector<std::int64_t> legs;  ///< leg ids of an OCO parent
};

/// One holding of the simulated account.
struct PositionView {
    std::string symbol;
    int quantity = 0;
    double cost_basis = 0.0;  ///< total cost in dollars
};

/// Account values as the balances endpoint would compute them now.
struct AccountView {
    AccountType type = AccountType::margin;
    double cash = 0.0;
    double market_value = 0.0;
    double equity = 0.0;
    double stock_buying_power = 0.0;  ///< cash_available for a cash account
};

/// A symbol's quote as the quotes endpoint would send it now.
struct QuoteView {
    std::string symbol;
    std::string description;
    double last = 0.0;
    double bid = 0.0;
    double ask = 0.0;
    double open = 0.0;  ///< open, high and low are 0 before the session opens
    double high = 0.0;
    double low = 0.0;
    double close = 0.0;  ///< 0 until the session has closed
    double prevclose = 0.0;
    double premarket_price = 0.0;  ///< 0 outside premarket
    std::int64_t volume = 0;
    std::int64_t average_volume = 0;
};

/// Parses "cash", "margin" or "pdt".
std::optional<AccountType> parse_account_type(const std::string& text);
std::string to_string(AccountType type);
std::optional<ClockState> parse_clock_state(const std::string& text);

}  // namespace ostrel::sim
