// Merging scout picks into the Monitor list.
#include "scout/picks.hpp"

#include <algorithm>

namespace ostrel {
namespace {

bool listed(const std::vector<std::string>& list, const std::string& t) {
    return std::find(list.begin(), list.end(), t) != list.end();
}

}  // namespace

PickMerge merge_picks(const std::vector<std::string>& watchlist,
                      const std::vector<std::string>& protected_tickers,
                      const std::vector<ScoutCandidate>& results, int limit, bool auto_prune) {
    PickMerge m;
    const int max_added = std::max(limit, 1);
    for (const std::string& t : watchlist) {
        if (!auto_prune || listed(protected_tickers, t)) m.list.push_back(t);
    }
    for (const std::string& t : protected_tickers) {
        if (!listed(m.list, t)) m.list.push_back(t);
    }
    for (const ScoutCandidate& c : results) {
        if (!c.pass || c.symbol.empty() || listed(m.list, c.symbol)) continue;
        if (m.added >= max_added || m.list.size() >= kMaxPickedWatchlist) break;
        m.list.push_back(c.symbol);
        ++m.added;
    }
    for (const std::string& t : watchlist) {
        if (!listed(m.list, t)) ++m.dropped;
    }
    if (m.list.empty()) m.list.push_back("SPY");
    return m;
}

std::string picks_message(const PickMerge& m, bool auto_prune, bool had_results) {
    if (auto_prune) {
        return "Auto-scout: added " + std::to_string(m.added) + ", dropped " +
               std::to_string(m.dropped) + " dead lead" + (m.dropped == 1 ? "" : "s") +
               " (open lots kept).";
    }
    if (m.added == 0) {
        return had_results ? "No new YES picks to add (already on Monitor, or none passed)."
                           : "Run Scout first — nothing to apply.";
    }
    return "Added " + std::to_string(m.added) +
           " picks to Monitor. Names are on the list now; scores fill in as history downloads.";
}

}  // namespace ostrel
