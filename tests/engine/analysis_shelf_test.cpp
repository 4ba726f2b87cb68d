// The shelf of kept analyses: one goes out to an evaluation and comes back, and a ticker that
// leaves the list takes its own with it.
#include "engine/analysis_shelf.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

KeptAnalysis kept_with(std::size_t bars, double atr) {
    KeptAnalysis kept;
    kept.daily.bars.resize(bars);
    kept.daily.snapshot.atr = atr;
    kept.trigger_storage.resize(4 * bars);
    return kept;
}

TEST(AnalysisShelf, WhatIsTakenOutIsGoneUntilPutBack) {
    AnalysisShelf shelf;
    shelf.keep_tickers({"AAPL", "MSFT"});
    EXPECT_TRUE(shelf.take("AAPL").daily.bars.empty());  // nothing kept yet

    shelf.put_back("AAPL", kept_with(300, 2.5));
    shelf.put_back("MSFT", kept_with(200, 1.5));
    EXPECT_EQ(shelf.size(), 2u);

    KeptAnalysis out = shelf.take("AAPL");
    EXPECT_EQ(out.daily.bars.size(), 300u);
    EXPECT_EQ(out.trigger_storage.size(), 1200u);
    EXPECT_EQ(out.daily.snapshot.atr, 2.5);
    EXPECT_EQ(shelf.size(), 1u);
    EXPECT_TRUE(shelf.take("AAPL").daily.bars.empty());  // a second evaluation starts from nothing

    out.daily.snapshot.atr = 3.0;
    shelf.put_back("AAPL", std::move(out));
    EXPECT_EQ(shelf.take("AAPL").daily.snapshot.atr, 3.0);
    EXPECT_EQ(shelf.take("MSFT").daily.snapshot.atr, 1.5);
}

TEST(AnalysisShelf, TickersOffTheListLoseWhatWasKeptAndCannotPutItBack) {
    AnalysisShelf shelf;
    shelf.put_back("AAPL", kept_with(300, 2.5));  // no list yet: not kept
    EXPECT_EQ(shelf.size(), 0u);

    shelf.keep_tickers({"AAPL", "MSFT", "NVDA"});
    for (const char* t : {"AAPL", "MSFT", "NVDA"})
        shelf.put_back(t, kept_with(100, 1.0));
    KeptAnalysis out = shelf.take("NVDA");  // mid-evaluation when NVDA leaves

    shelf.keep_tickers({"MSFT", "AAPL"});  // same tickers in another order: nothing dropped
    EXPECT_EQ(shelf.size(), 2u);
    shelf.keep_tickers({"MSFT"});
    EXPECT_EQ(shelf.size(), 1u);
    EXPECT_TRUE(shelf.take("AAPL").daily.bars.empty());
    shelf.put_back("NVDA", std::move(out));
    EXPECT_EQ(shelf.size(), 1u);
    EXPECT_EQ(shelf.take("MSFT").daily.bars.size(), 100u);

    shelf.keep_tickers({"MSFT", "NVDA"});  // back on the list: kept again from now on
    shelf.put_back("NVDA", kept_with(50, 1.0));
    EXPECT_EQ(shelf.size(), 1u);
    EXPECT_EQ(shelf.take("NVDA").daily.bars.size(), 50u);
}

}  // namespace
}  // namespace ostrel
