// What the engine keeps from one evaluation of a ticker to the next. Daily bars change a few
// times a day at most, so from the second pass on an evaluation finds its daily snapshot and
// gaps already worked out and only compares the bars; and the bars of each pass are copied
// into the storage of the last pass's, so a pass allocates no bar buffers.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "committees/analysis.hpp"
#include "market/bar.hpp"

namespace ostrel {

/// One ticker's kept analysis and bar storage.
struct KeptAnalysis {
    DailyAnalysisCache daily;
    BarSeries trigger_storage;  ///< the last pass's trigger bars, to be written over
    BarSeries daily_storage;    ///< the last pass's daily bars, likewise
};

/// One KeptAnalysis per Monitor ticker, behind a lock of its own. An evaluation takes its
/// ticker's off the shelf, works with it unlocked and puts it back.
class AnalysisShelf {
  public:
    /// The tickers (distinct) whose analyses are kept; the others' are dropped now, and are put
    /// back no more.
    void keep_tickers(const std::vector<std::string>& tickers);
    /// The ticker's kept analysis, which the caller now owns; an empty one when none is kept.
    KeptAnalysis take(const std::string& ticker);
    /// Keeps it again unless its ticker is off the list.
    void put_back(const std::string& ticker, KeptAnalysis kept);
    /// Tickers with a daily analysis on the shelf (those taken out are not counted).
    std::size_t size() const;

  private:
    mutable std::mutex mutex_;
    std::unordered_set<std::string> tickers_;                 ///< mutex_
    std::unordered_map<std::string, KeptAnalysis> analyses_;  ///< mutex_
};

}  // namespace ostrel
