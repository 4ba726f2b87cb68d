// Position sizing.
#include "engine/sizing.hpp"

#include <algorithm>
#include <cmath>

namespace ostrel {

double regime_multiplier(std::string_view regime) {
    if (regime.find("BULL_QUIET") != std::string_view::npos) return 1.25;
    if (regime.find("BULL_VOLATILE") != std::string_view::npos) return 0.8;
    if (regime.find("BEAR_VOLATILE") != std::string_view::npos) return 0.0;
    return regime.find("CHOPPY") != std::string_view::npos ? 0.5 : 1.0;
}

namespace {

SizeResult refuse(SizeResult r, const char* message) {
    r.quantity = 0;
    r.refused = true;
    r.message = message;
    return r;
}

}  // namespace

SizeResult size_position(double equity, double final_score, double atr, double entry_price,
                         std::string_view regime, const Settings& settings, double size_fraction,
                         double buying_power) {
    SizeResult r;
    if (entry_price <= 0.0 || atr <= 0.0 || equity <= 0.0) {
        return refuse(r, "Missing price/ATR/equity");
    }
    if (size_fraction <= 0.0) return refuse(r, "Committee wait/pass - no size");

    const double rr =
        settings.atr_stop_mult > 0.0 ? settings.atr_profit_mult / settings.atr_stop_mult : 0.0;
    if (settings.min_rr > 0.0 && settings.min_rr > rr + 1e-9) {
        return refuse(r, "R:R below 1:2 — TP1 must be at least 2x the ATR stop");
    }

    const double score_mult = final_score >= 75.0 ? 1.5 : (final_score < 40.0 ? 0.5 : 1.0);
    const double bonus = final_score > 85.0 ? 1.5 : 1.0;
    r.risk_dollars = (settings.max_dollar_risk_pct / 100.0) * equity * regime_multiplier(regime) *
                     score_mult * bonus * size_fraction;
    const double cap_pct = settings.max_trade_risk_pct > 0.0 ? settings.max_trade_risk_pct : 2.0;
    const double cap = cap_pct * equity / 100.0;
    if (cap > 0.0) r.risk_dollars = std::min(cap, r.risk_dollars);

    r.risk_per_share = atr * settings.atr_stop_mult;
    if (r.risk_per_share <= 0.0 || r.risk_dollars <= 0.0) {
        return refuse(r, "Zero risk budget (regime or ATR)");
    }

    // Doubles this large do not fit a share count; saturating keeps the caps below meaningful.
    auto to_shares = [](double v) {
        return static_cast<int>(std::clamp(std::floor(v), -2147483648.0, 2147483647.0));
    };
    int quantity = to_shares(r.risk_dollars / r.risk_per_share);

    const double pos = settings.max_position_pct > 0.0
                           ? std::min(settings.max_position_pct / 100.0 * equity, equity)
                           : equity;
    const double money = buying_power > 0.0 ? std::min(0.98 * buying_power, pos) : pos;
    const int max_quantity = to_shares(money / entry_price);
    if (max_quantity < quantity) quantity = std::max(max_quantity, 0);

    r.quantity = quantity;
    r.notional = quantity * entry_price;
    if (quantity >= 1) return r;
    return refuse(r, max_quantity < 1 ? "Not enough buying power" : "Size rounded to 0");
}

}  // namespace ostrel
