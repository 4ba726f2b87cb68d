// The engine's kept daily analyses: taken out for an evaluation, put back after it.
#include "engine/daily_cache_shelf.hpp"

#include <algorithm>
#include <utility>

namespace ostrel {

void DailyCacheShelf::keep_tickers(const std::vector<std::string>& tickers) {
    {
        // The list is the same from tick to tick nearly always.
        std::lock_guard lock(mutex_);
        const auto listed = [this](const std::string& t) { return tickers_.contains(t); };
        if (tickers.size() == tickers_.size() &&
            std::all_of(tickers.begin(), tickers.end(), listed))
            return;
    }
    std::unordered_set<std::string> listed(tickers.begin(), tickers.end());
    std::unordered_map<std::string, DailyAnalysisCache> dropped;
    {
        std::lock_guard lock(mutex_);
        for (auto it = caches_.begin(); it != caches_.end();) {
            if (listed.contains(it->first)) {
                ++it;
            } else {
                auto node = caches_.extract(it++);
                dropped.insert(std::move(node));
            }
        }
        tickers_.swap(listed);
    }
    // The dropped bars and the old list are freed here, after the lock.
}

DailyAnalysisCache DailyCacheShelf::take(const std::string& ticker) {
    std::lock_guard lock(mutex_);
    const auto it = caches_.find(ticker);
    if (it == caches_.end()) return {};
    // The entry stays, emptied, so putting the cache back allocates nothing.
    DailyAnalysisCache cache = std::move(it->second);
    it->second = DailyAnalysisCache{};
    return cache;
}

void DailyCacheShelf::put_back(const std::string& ticker, DailyAnalysisCache cache) {
    std::lock_guard lock(mutex_);
    if (!tickers_.contains(ticker)) return;
    caches_.insert_or_assign(ticker, std::move(cache));
}

std::size_t DailyCacheShelf::size() const {
    std::lock_guard lock(mutex_);
    std::size_t kept = 0;
    for (const auto& [ticker, cache] : caches_)
        kept += cache.bars.empty() ? 0 : 1;
    return kept;
}

}  // namespace ostrel
