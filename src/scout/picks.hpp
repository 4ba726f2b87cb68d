// Merging a scout's passing picks into the Monitor list, with or without pruning dead leads.
#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "scout/scout_candidate.hpp"

namespace ostrel {

/// The Monitor list never grows past this many tickers through picks.
inline constexpr std::size_t kMaxPickedWatchlist = 24;

struct PickMerge {
    std::vector<std::string> list;
    int added = 0;
    int dropped = 0;
};

/// The new Monitor list. By hand it keeps the whole `watchlist`; with `auto_prune` it keeps
/// only the `protected_tickers` (open lots and orders), which are always kept either way. Then
/// passing picks not yet listed are appended, at most `limit` of them and never past 24
/// tickers. An empty result becomes ["SPY"].
PickMerge merge_picks(const std::vector<std::string>& watchlist,
                      const std::vector<std::string>& protected_tickers,
                      const std::vector<ScoutCandidate>& results, int limit, bool auto_prune);

/// The message shown after applying picks; `had_results` tells "Run Scout first" apart.
std::string picks_message(const PickMerge& merge, bool auto_prune, bool had_results);

}  // namespace ostrel
