// The headless runner's per-ticker lines: what the bot thinks of each ticker, printed when it
// changes.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "state/symbol_state.hpp"

namespace ostrel {

/// "AAPL   BUY   FIRE    score 71.4  last 187.34  10 @ 185.20": the ticker, the decision and
/// its window, the final score, the last price and the position ("flat", "10 @ 185.20", with
/// "  buy 5 pending" while an order of ours works).
std::string format_ticker_line(const SymbolState& state);

/// Remembers what was last printed for each ticker and says which rows changed since.
class TickerChanges {
  public:
    /// A price moving by less than this fraction of the last printed one is not news.
    static constexpr double kPriceBand = 0.005;

    /// Lines, in the rows' order, for each ticker seen for the first time or whose decision,
    /// window, price band or position changed since its last line.
    std::vector<std::string> changed_lines(const std::vector<SymbolState>& rows);

  private:
    struct Shown {
        DecisionAction action = DecisionAction::pass;
        EntryWindow window = EntryWindow::closed;
        double price = 0.0;
        int qty = 0;
        std::string pending_side;
        int pending_qty = 0;
    };
    static Shown shown_of(const SymbolState& state);
    static bool differs(const Shown& before, const Shown& now);

    std::map<std::string, Shown> shown_;
};

}  // namespace ostrel
