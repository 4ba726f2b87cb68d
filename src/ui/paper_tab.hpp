// The Paper tab: which book trades, the paper equity and cash, and the newest paper fills.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/view_records.hpp"

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

/// The blotter shows this many of the newest fills.
inline constexpr std::size_t kPaperFillsShown = 80;

void draw_paper_tab(Engine& engine);

/// The fills table, newest first, from the fills given oldest first.
void draw_paper_fills(const std::vector<PaperFillRow>& fills);

}  // namespace ostrel::ui
