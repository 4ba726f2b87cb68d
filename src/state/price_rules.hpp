// Prices read from a quote for one side, and the cent rules every order price goes through.
#pragma once

#include <string_view>

#include "market/bar.hpp"

namespace ostrel {

/// Ask for "buy", bid for "sell" when present; else last, midpoint, bid, ask, then the fallback.
double side_price(const Quote& quote, std::string_view side, double fallback);

/// floor(x*100 + 1e-9)/100; 0 for x <= 0. Stops and buy limits round down.
double cent_floor(double x);
/// ceil(x*100 - 1e-9)/100; 0 for x <= 0. Profit-target limits round up.
double cent_ceiling(double x);
/// The smaller cent floor of a and b, ignoring a value <= 0; 0 when both are.
double lower_cent(double a, double b);
/// Moves a buy cap down to the reference's cent floor, never up.
double ratchet(double cap, double reference);

}  // namespace ostrel
