// Per-ticker lines of the headless runner.
#include "app/ticker_lines.hpp"

#include <cmath>
#include <cstdio>

namespace ostrel {

std::string format_ticker_line(const SymbolState& s) {
    char head[96];
    std::snprintf(head, sizeof head, "%-6s %-5s %-7s score %.1f  last %.2f  ", s.symbol.c_str(),
                  to_text(s.decision.action).data(), to_text(s.decision.window).data(),
                  s.last_score, s.last_price);
    std::string line = head;
    if (s.qty > 0) {
        char position[48];
        std::snprintf(position, sizeof position, "%d @ %.2f", s.qty, s.avg_price);
        line += position;
    } else {
        line += "flat";
    }
    if (s.order_in_flight && !s.pending_side.empty()) {
        line += "  " + s.pending_side + " " + std::to_string(s.pending_qty) + " pending";
    }
    return line;
}

TickerChanges::Shown TickerChanges::shown_of(const SymbolState& s) {
    Shown shown;
    shown.action = s.decision.action;
    shown.window = s.decision.window;
    shown.price = s.last_price;
    shown.qty = s.qty;
    if (s.order_in_flight) {
        shown.pending_side = s.pending_side;
        shown.pending_qty = s.pending_qty;
    }
    return shown;
}

bool TickerChanges::differs(const Shown& before, const Shown& now) {
    if (before.action != now.action || before.window != now.window) return true;
    if (before.qty != now.qty || before.pending_side != now.pending_side ||
        before.pending_qty != now.pending_qty) {
        return true;
    }
    // The first price after none is news; then only a move out of the band around the last
    // printed price, so a quiet tape does not print a line every tick.
    if (before.price <= 0.0) return now.price > 0.0;
    return std::abs(now.price - before.price) >= kPriceBand * before.price;
}

std::vector<std::string> TickerChanges::changed_lines(const std::vector<SymbolState>& rows) {
    std::vector<std::string> lines;
    // A ticker taken off the list and added again later is news again.
    std::erase_if(shown_, [&rows](const auto& item) {
        for (const SymbolState& row : rows) {
            if (row.symbol == item.first) return false;
        }
        return true;
    });
    for (const SymbolState& row : rows) {
        const Shown now = shown_of(row);
        const auto it = shown_.find(row.symbol);
        if (it != shown_.end() && !differs(it->second, now)) continue;
        shown_[row.symbol] = now;
        lines.push_back(format_ticker_line(row));
    }
    return lines;
}

}  // namespace ostrel
