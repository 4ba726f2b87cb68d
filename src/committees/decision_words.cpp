// Reading the decision's action and window words back from their text.
#include "committees/decision.hpp"

namespace ostrel {

std::optional<DecisionAction> action_from_text(std::string_view text) {
    for (const auto v :
         {DecisionAction::buy, DecisionAction::safe, DecisionAction::wait, DecisionAction::pass}) {
        if (to_text(v) == text) return v;
    }
    return std::nullopt;
}

std::optional<EntryWindow> window_from_text(std::string_view text) {
    for (const auto v : {EntryWindow::fire, EntryWindow::armed, EntryWindow::closed}) {
        if (to_text(v) == text) return v;
    }
    return std::nullopt;
}

}  // namespace ostrel
