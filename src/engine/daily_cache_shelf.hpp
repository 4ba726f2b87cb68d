// The daily analyses the engine keeps from one evaluation of a ticker to the next. Daily bars
// change a few times a day at most, so from the second pass on an evaluation finds its daily
// snapshot and gaps already worked out and only compares the bars.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "committees/analysis.hpp"

namespace ostrel {

/// One cache per Monitor ticker, behind a lock of its own. An evaluation takes its ticker's
/// cache off the shelf, works with it unlocked and puts it back.
class DailyCacheShelf {
  public:
    /// The tickers (distinct) whose caches are kept; the others' are dropped now, and are put
    /// back no more.
    void keep_tickers(const std::vector<std::string>& tickers);
    /// The ticker's cache, which the caller now owns; an empty one when none is kept.
    DailyAnalysisCache take(const std::string& ticker);
    /// Keeps the cache again unless the ticker left the list while it was out.
    void put_back(const std::string& ticker, DailyAnalysisCache cache);
    /// Caches on the shelf that hold bars (those taken out are not counted).
    std::size_t size() const;

  private:
    mutable std::mutex mutex_;
    std::unordered_set<std::string> tickers_;                     ///< mutex_
    std::unordered_map<std::string, DailyAnalysisCache> caches_;  ///< mutex_
};

}  // namespace ostrel
