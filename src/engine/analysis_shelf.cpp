// The engine's kept analyses: taken out for an evaluation, put back after it.
#include "engine/analysis_shelf.hpp"

#include <algorithm>
#include <utility>

namespace ostrel {

void AnalysisShelf::keep_tickers(const std::vector<std::string>& tickers) {
    {
        // The list is the same from tick to tick nearly always.
        std::lock_guard lock(mutex_);
        const auto listed = [this](const std::string& t) { return tickers_.contains(t); };
        if (tickers.size() == tickers_.size() &&
            std::all_of(tickers.begin(), tickers.end(), listed))
            return;
    }
    std::unordered_set<std::string> listed(tickers.begin(), tickers.end());
    std::unordered_map<std::string, KeptAnalysis> dropped;
    {
        std::lock_guard lock(mutex_);
        for (auto it = analyses_.begin(); it != analyses_.end();) {
            if (listed.contains(it->first)) {
                ++it;
            } else {
                auto node = analyses_.extract(it++);
                dropped.insert(std::move(node));
            }
        }
        tickers_.swap(listed);
    }
    // The dropped bars and the old list are freed here, after the lock.
}

KeptAnalysis AnalysisShelf::take(const std::string& ticker) {
    std::lock_guard lock(mutex_);
    const auto it = analyses_.find(ticker);
    if (it == analyses_.end()) return {};
    // The entry stays, emptied, so putting the analysis back allocates nothing.
    KeptAnalysis kept = std::move(it->second);
    it->second = KeptAnalysis{};
    return kept;
}

void AnalysisShelf::put_back(const std::string& ticker, KeptAnalysis kept) {
    std::lock_guard lock(mutex_);
    if (!tickers_.contains(ticker)) return;
    analyses_.insert_or_assign(ticker, std::move(kept));
}

std::size_t AnalysisShelf::size() const {
    std::lock_guard lock(mutex_);
    std::size_t kept = 0;
    for (const auto& [ticker, analysis] : analyses_)
        kept += analysis.daily.bars.empty() ? 0 : 1;
    return kept;
}

}  // namespace ostrel
