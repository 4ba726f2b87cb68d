// Merging scout picks into the Monitor list.
#include <gtest/gtest.h>

#include "scout/picks.hpp"

namespace ostrel {
namespace {

using List = std::vector<std::string>;

std::vector<ScoutCandidate> picks(const List& passing, const List& failing = {}) {
    std::vector<ScoutCandidate> out;
    for (const auto& t : passing)
        out.push_back({t, "", 70.0, 10.0, 0, 0, 0, true});
    for (const auto& t : failing)
        out.push_back({t, "", 30.0, 10.0, 0, 0, 0, false});
    return out;
}

TEST(MergePicks, ByHandKeepsTheListAndAddsNewPassingNames) {
    const PickMerge m =
        merge_picks({"SPY", "AAPL"}, {}, picks({"MSFT", "NVDA", "AAPL"}, {"AMD"}), 8, false);
    EXPECT_EQ(m.list, (List{"SPY", "AAPL", "MSFT", "NVDA"}));
    EXPECT_EQ(m.added, 2);
    EXPECT_EQ(m.dropped, 0);
    EXPECT_EQ(picks_message(m, false, true),
              "Added 2 picks to Monitor. Names are on the list now; scores fill in as history "
              "downloads.");

    const PickMerge none = merge_picks({"SPY", "AAPL"}, {}, picks({"AAPL"}, {"AMD"}), 8, false);
    EXPECT_EQ(none.list, (List{"SPY", "AAPL"}));
    EXPECT_EQ(picks_message(none, false, true),
              "No new YES picks to add (already on Monitor, or none passed).");
    EXPECT_EQ(picks_message(merge_picks({"SPY"}, {}, {}, 8, false), false, false),
              "Run Scout first — nothing to apply.");
}

TEST(MergePicks, AutoPruneDropsDeadLeadsAndKeepsOpenLots) {
    const PickMerge m =
        merge_picks({"SPY", "AAPL", "TSLA"}, {"TSLA"}, picks({"MSFT", "AMD"}), 8, true);
    EXPECT_EQ(m.list, (List{"TSLA", "MSFT", "AMD"}));
    EXPECT_EQ(m.added, 2);
    EXPECT_EQ(m.dropped, 2);
    EXPECT_EQ(picks_message(m, true, true),
              "Auto-scout: added 2, dropped 2 dead leads (open lots kept).");
    const PickMerge one = merge_picks({"SPY", "TSLA"}, {"TSLA"}, {}, 8, true);
    EXPECT_EQ(picks_message(one, true, false),
              "Auto-scout: added 0, dropped 1 dead lead (open lots kept).");

    EXPECT_EQ(merge_picks({"SPY", "AAPL"}, {}, picks({}, {"MSFT"}), 8, true).list, (List{"SPY"}));
    // A protected ticker missing from the list (a lot held elsewhere) is kept as well.
    EXPECT_EQ(merge_picks({"AAPL"}, {"NVDA"}, {}, 8, false).list, (List{"AAPL", "NVDA"}));
}

TEST(MergePicks, LimitsTheNumberAddedAndTheListLength) {
    EXPECT_EQ(merge_picks({}, {}, picks({"A", "B", "C"}), 1, false).list, (List{"A"}));
    EXPECT_EQ(merge_picks({}, {}, picks({"A", "B", "C"}), 0, false).list, (List{"A"}));
    List full;
    for (int i = 0; i < 24; ++i)
        full.push_back("T" + std::to_string(i));
    const PickMerge m = merge_picks(full, {}, picks({"NEW"}), 8, false);
    EXPECT_EQ(m.list, full);
    EXPECT_EQ(m.added, 0);
    List almost(full.begin(), full.end() - 1);
    EXPECT_EQ(merge_picks(almost, {}, picks({"X", "Y"}), 8, false).list.size(), 24u);
    // Empty tickers are never picked.
    EXPECT_EQ(merge_picks({"SPY"}, {}, picks({""}), 8, false).added, 0);
}

}  // namespace
}  // namespace ostrel
