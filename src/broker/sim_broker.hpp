// The paper book: an IBroker that fills orders locally and journals each fill.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "broker/broker_records.hpp"
#include "broker/fill_journal.hpp"
#include "broker/ibroker.hpp"

namespace ostrel {

/// One paper fill, one line of paper_blotter.jsonl.
struct PaperFill {
    std::string symbol;
    std::string side;
    int qty = 0;
    double price = 0.0;
    std::string id;  ///< "P" + number
    std::string reason;
    double pnl = 0.0;  ///< realised on a sell; 0 for a buy
    std::int64_t ts_ms = 0;
};

/// One resting paper stop.
struct PaperStop {
    std::string id;  ///< "S" + number
    std::string symbol;
    int quantity = 0;
    double stop_price = 0.0;
    std::string oco_target_id;  ///< the target leg this stop cancels when it fires; may be empty
};

/// The profit-target leg of a paper OCO pair.
struct PaperTarget {
    std::string id;  ///< "O" + number; the id `place` returns for the pair
    std::string symbol;
    int quantity = 0;
    double limit_price = 0.0;
    std::string stop_id;  ///< the pair's stop leg
};

/// What rebuilding the book from its journal found.
struct PaperRestore {
    int fills = 0;        ///< blotter lines replayed
    std::string problem;  ///< one line saying what could not be used; empty when all was well
};

/// The paper fills of a blotter's text, in order. A line without an id, symbol, side, a
/// positive qty and a positive price is counted in `problems`.
std::vector<PaperFill> parse_paper_blotter(std::string_view text, JournalProblems& problems);

/// Fills limit orders at their own price at once; keeps sell stops and OCO target/stop pairs
/// that fire on reported prices.
class SimBroker final : public IBroker {
  public:
    /// `data_dir` receives paper_blotter.jsonl; an empty path keeps no journal.
    explicit SimBroker(std::filesystem::path data_dir, double starting_cash = 25000.0);

    std::string name() const override { return "paper"; }
    std::expected<AccountSnapshot, std::string> account_snapshot() override;
    OrderResult place(const OrderRequest& request) override;
    ActionResult cancel(const std::string& order_id) override;
    ActionResult modify_stop(const std::string& order_id, double new_stop) override;
    /// Always refused: paper limit orders fill at once, there is nothing to change.
    ActionResult modify_limit(const std::string& order_id, double new_limit,
                              const std::string& duration) override;

    /// Records the latest price of a symbol, fires its stops at that price and revalues.
    void mark_price(const std::string& symbol, double price);
    int position_quantity(const std::string& symbol) const;
    double average_cost(const std::string& symbol) const;
    /// The fills of this run, oldest first.
    std::vector<PaperFill> fills() const;
    /// The resting stops (plain and OCO legs), by id.
    std::vector<PaperStop> resting_stops() const;
    /// The resting OCO target legs, by id.
    std::vector<PaperTarget> resting_targets() const;
    /// Every resting order as the broker's order list would show it (status "open").
    std::vector<BrokerOrder> open_orders() const;

    /// Rebuilds cash, positions, average costs, realised P&L and the fills list by replaying
    /// paper_blotter.jsonl on the starting cash, so a lot held overnight is still held; new
    /// ids continue after the highest one in the journal. Call once, before any order.
    PaperRestore restore_from_blotter();
    /// Puts back a stop that rested when the program last ran (its id, kept in the state
    /// database). Refused (false) when the id is not a paper stop id, is already resting, or
    /// the book holds fewer shares.
    bool restore_stop(const PaperStop& stop);
    /// The same for an OCO pair: the target leg and its stop leg.
    bool restore_oco(const PaperTarget& target, double stop_price);
    /// Realised P&L of every sell in the book's journal.
    double realized_pnl() const;

    /// The blotter line of a fill (without the line end); strings are JSON-escaped.
    static std::string blotter_line(const PaperFill& fill);

  private:
    OrderResult fill_locked(const OrderRequest& request);
    /// Books one fill into cash, positions and average costs; an error text when refused.
    std::optional<std::string> book_fill_locked(const std::string& symbol, bool buy, int qty,
                                                double price, double& pnl);
    /// Keeps the id sequence ahead of an id restored from disk ("P12" → next id 13 at least).
    bool claim_id_locked(const std::string& id, char prefix);
    OrderResult rest_oco_locked(const OrderRequest& request);
    void trigger_stops_locked(const std::string& symbol, double price);
    void trigger_targets_locked(const std::string& symbol, double price);
    void revalue_locked();
    std::string next_id_locked(char prefix);

    std::filesystem::path data_dir_;
    double starting_cash_ = 0.0;
    JournalAppender blotter_;  ///< paper_blotter.jsonl
    AccountSnapshot account_;
    double realized_pnl_ = 0.0;
    std::vector<PaperFill> fills_;
    std::map<std::string, int> positions_;
    std::map<std::string, double> average_costs_;
    std::map<std::string, double> last_prices_;
    std::map<std::string, PaperStop> stops_;
    std::map<std::string, PaperTarget> targets_;
    int next_id_ = 1;
    mutable std::mutex mutex_;
};

}  // namespace ostrel
