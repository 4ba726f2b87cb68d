// The decision's action and window words: the exact upper-case texts, and nothing else read back.
#include <gtest/gtest.h>

#include <sstream>

#include "committees/decision.hpp"

namespace ostrel {
namespace {

TEST(DecisionWords, TextsRoundTripExactly) {
    const std::pair<DecisionAction, const char*> actions[] = {{DecisionAction::buy, "BUY"},
                                                              {DecisionAction::safe, "SAFE"},
                                                              {DecisionAction::wait, "WAIT"},
                                                              {DecisionAction::pass, "PASS"}};
    for (const auto& [word, text] : actions) {
        EXPECT_EQ(to_text(word), text);
        EXPECT_EQ(action_from_text(text), word);
    }
    const std::pair<EntryWindow, const char*> windows[] = {{EntryWindow::fire, "FIRE"},
                                                           {EntryWindow::armed, "ARMED"},
                                                           {EntryWindow::closed, "CLOSED"}};
    for (const auto& [word, text] : windows) {
        EXPECT_EQ(to_text(word), text);
        EXPECT_EQ(window_from_text(text), word);
    }
    std::ostringstream out;
    out << DecisionAction::safe << ' ' << EntryWindow::armed;
    EXPECT_EQ(out.str(), "SAFE ARMED");
}

TEST(DecisionWords, OtherTextsAreNotWords) {
    for (const char* text : {"", "buy", "Buy", "BUY ", " PASS", "FIRE", "HOLD"}) {
        EXPECT_FALSE(action_from_text(text).has_value()) << '"' << text << '"';
    }
    for (const char* text : {"", "fire", "Armed", "CLOSED\n", "BUY", "OPEN"}) {
        EXPECT_FALSE(window_from_text(text).has_value()) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace ostrel
