// The shelf of kept daily analyses: a cache goes out to one evaluation and comes back, and a
// ticker that leaves the list takes its cache with it.
#include "engine/daily_cache_shelf.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

DailyAnalysisCache cache_of(std::size_t bars, double atr) {
    DailyAnalysisCache cache;
    cache.bars.resize(bars);
    cache.snapshot.atr = atr;
    return cache;
}

TEST(DailyCacheShelf, ACacheTakenOutIsGoneUntilPutBack) {
    DailyCacheShelf shelf;
    shelf.keep_tickers({"AAPL", "MSFT"});
    EXPECT_TRUE(shelf.take("AAPL").bars.empty());  // nothing kept yet

    shelf.put_back("AAPL", cache_of(300, 2.5));
    shelf.put_back("MSFT", cache_of(200, 1.5));
    EXPECT_EQ(shelf.size(), 2u);

    DailyAnalysisCache out = shelf.take("AAPL");
    EXPECT_EQ(out.bars.size(), 300u);
    EXPECT_EQ(out.snapshot.atr, 2.5);
    EXPECT_EQ(shelf.size(), 1u);
    EXPECT_TRUE(shelf.take("AAPL").bars.empty());  // a second evaluation starts from nothing

    out.snapshot.atr = 3.0;
    shelf.put_back("AAPL", std::move(out));
    EXPECT_EQ(shelf.take("AAPL").snapshot.atr, 3.0);
    EXPECT_EQ(shelf.take("MSFT").snapshot.atr, 1.5);
}

TEST(DailyCacheShelf, TickersOffTheListLoseTheirCachesAndCannotPutOneBack) {
    DailyCacheShelf shelf;
    shelf.put_back("AAPL", cache_of(300, 2.5));  // no list yet: not kept
    EXPECT_EQ(shelf.size(), 0u);

    shelf.keep_tickers({"AAPL", "MSFT", "NVDA"});
    for (const char* t : {"AAPL", "MSFT", "NVDA"})
        shelf.put_back(t, cache_of(100, 1.0));
    DailyAnalysisCache out = shelf.take("NVDA");  // mid-evaluation when NVDA leaves

    shelf.keep_tickers({"MSFT", "AAPL"});  // same tickers in another order: nothing dropped
    EXPECT_EQ(shelf.size(), 2u);
    shelf.keep_tickers({"MSFT"});
    EXPECT_EQ(shelf.size(), 1u);
    EXPECT_TRUE(shelf.take("AAPL").bars.empty());
    shelf.put_back("NVDA", std::move(out));
    EXPECT_EQ(shelf.size(), 1u);
    EXPECT_EQ(shelf.take("MSFT").bars.size(), 100u);

    shelf.keep_tickers({"MSFT", "NVDA"});  // back on the list: kept again from now on
    shelf.put_back("NVDA", cache_of(50, 1.0));
    EXPECT_EQ(shelf.size(), 1u);
    EXPECT_EQ(shelf.take("NVDA").bars.size(), 50u);
}

}  // namespace
}  // namespace ostrel
