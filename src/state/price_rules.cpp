// Side price and the cent rules.
#include "state/price_rules.hpp"

#include <algorithm>
#include <cmath>

namespace ostrel {

double side_price(const Quote& quote, std::string_view side, double fallback) {
    if (side == "buy" && quote.ask > 0.0) return quote.ask;
    if (side == "sell" && quote.bid > 0.0) return quote.bid;
    if (quote.last > 0.0) return quote.last;
    if (quote.bid > 0.0 && quote.ask > 0.0) return (quote.bid + quote.ask) / 2.0;
    if (quote.bid > 0.0) return quote.bid;
    if (quote.ask > 0.0) return quote.ask;
    return fallback;
}

double cent_floor(double x) {
    if (!(x > 0.0)) return 0.0;
    return std::floor(x * 100.0 + 1e-9) / 100.0;
}

double cent_ceiling(double x) {
    if (!(x > 0.0)) return 0.0;
    return std::ceil(x * 100.0 - 1e-9) / 100.0;
}

double lower_cent(double a, double b) {
    const double fa = cent_floor(a);
    const double fb = cent_floor(b);
    if (fa > 0.0 && fb > 0.0) return std::min(fa, fb);
    if (fa > 0.0) return fa;
    return fb;  // 0 when both are missing
}

double ratchet(double cap, double reference) {
    if (reference > 0.0) {
        const double c = cent_floor(reference);
        if (c > 0.0 && (cap <= 0.0 || cap > c)) return c;
    }
    return cent_floor(cap);
}

}  // namespace ostrel
