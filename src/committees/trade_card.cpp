// The thesis line and the three trade-card lines of a decision.
#include "committees/trade_card.hpp"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "market/number_text.hpp"

namespace ostrel {

namespace {

const char* action_suffix(const std::string& action) {
    if (action == "WAIT") return "  (daily permission, waiting for 1H trigger)";
    if (action == "SAFE") return "  (trigger open, half size)";
    if (action == "BUY") return "  (permission + trigger)";
    if (action == "PASS") return "  (no permission)";
    return "";
}

std::string score_integer(double final) {
    // `final` is clamped to 0..100, so the integer part always fits.
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", std::isfinite(final) ? std::trunc(final) + 0.0 : 0.0);
    return buf;
}

}  // namespace

void write_trade_card(FinalDecision& d, const CardFacts& f, const Settings& cfg) {
    double stop = 0.0;
    double target = 0.0;
    if (f.price > 0.0 && f.atr > 0.0) {
        stop = f.price - f.atr * cfg.atr_stop_mult;
        target = f.price + f.atr * cfg.atr_profit_mult;
    }
    const double reward = cfg.atr_stop_mult > 0.0 ? cfg.atr_profit_mult / cfg.atr_stop_mult : 0.0;

    d.thesis = d.action + "  " + d.window + action_suffix(d.action);
    if (d.trigger) d.thesis += "  · " + d.momentum_label;

    std::string setup = "LONG  entry ~" + two_decimals(f.price);
    if (stop > 0.0)
        setup += "  |  SL " + two_decimals(stop) + " (" + two_decimals(cfg.atr_stop_mult) + " ATR)";
    if (target > 0.0)
        setup += "  |  TP1 " + two_decimals(target) + " (" + two_decimals(reward) + "R scale 1/3)";
    setup += "  |  TP2 trail peak-" + two_decimals(cfg.trail_atr_mult) + " ATR";
    setup += "  |  risk " + two_decimals(cfg.max_dollar_risk_pct) + "%–" +
             two_decimals(cfg.max_trade_risk_pct) + "% equity";
    d.setup = std::move(setup);

    d.logic = "Daily " + d.trend_label + " / " + f.strategy + ". Trigger " + d.momentum_label +
              " on RSI/MACD/stoch or liquidity reclaim. Location " + d.volatility_label +
              ", flow " + d.flow_label + ", pattern " + d.pattern_label + ". Score " +
              score_integer(d.final) + ".";

    std::string risk =
        "Invalidation: trail/ATR stop, death cross vs 200-DMA, chaos/entropy, or BEAR_VOLATILE. ";
    if (f.toxic) risk += "VPIN elevated. ";
    if (f.systemic) risk += "Systemic risk. ";
    if (f.incoherent) risk += "Tape incoherent. ";
    risk += "Do not scale before " + stream_number(cfg.min_rr > 0.0 ? cfg.min_rr : 2.0) + "R.";
    d.risk = std::move(risk);

    d.reasons.insert(d.reasons.begin(), d.thesis);
}

}  // namespace ostrel
