// The thesis line and the three trade-card lines of a decision.
#include "committees/trade_card.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

namespace ostrel {

namespace {

const char* action_suffix(DecisionAction action) {
    switch (action) {
        case DecisionAction::wait:
            return "  (daily permission, waiting for 1H trigger)";
        case DecisionAction::safe:
            return "  (trigger open, half size)";
        case DecisionAction::buy:
            return "  (permission + trigger)";
        case DecisionAction::pass:
            break;
    }
    return "  (no permission)";
}

/// Appends the integer part of the score; `final` is clamped to 0..100, so it always fits.
void append_score_integer(std::string& out, double final) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", std::isfinite(final) ? std::trunc(final) + 0.0 : 0.0);
    out += buf;
}

/// Appends "%.2f" of `v`, cut at 63 characters as a 64-byte snprintf buffer would be. The
/// exact conversion writes the same digits as printf, without its locale and stream machinery.
void append_two_decimals(std::string& out, double v) {
    char buf[400];  // the longest fixed form of a double with two decimals is 312 characters
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    out.append(buf, std::min<std::size_t>(static_cast<std::size_t>(r.ptr - buf), 63));
}

/// Appends `v` as a default-formatted stream writes it (six significant digits, "%g").
void append_stream_number(std::string& out, double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
    out.append(buf, r.ptr);
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

    // Each line is written into one buffer reserved up front, so it costs one allocation.
    std::string thesis;
    thesis.reserve(96);
    thesis += to_text(d.action);
    thesis += "  ";
    thesis += to_text(d.window);
    thesis += action_suffix(d.action);
    if (d.trigger) {
        thesis += "  · ";
        thesis += d.momentum_label;
    }
    d.thesis = std::move(thesis);

    std::string setup;
    setup.reserve(192);
    setup += "LONG  entry ~";
    append_two_decimals(setup, f.price);
    if (stop > 0.0) {
        setup += "  |  SL ";
        append_two_decimals(setup, stop);
        setup += " (";
        append_two_decimals(setup, cfg.atr_stop_mult);
        setup += " ATR)";
    }
    if (target > 0.0) {
        setup += "  |  TP1 ";
        append_two_decimals(setup, target);
        setup += " (";
        append_two_decimals(setup, reward);
        setup += "R scale 1/3)";
    }
    setup += "  |  TP2 trail peak-";
    append_two_decimals(setup, cfg.trail_atr_mult);
    setup += " ATR";
    setup += "  |  risk ";
    append_two_decimals(setup, cfg.max_dollar_risk_pct);
    setup += "%–";
    append_two_decimals(setup, cfg.max_trade_risk_pct);
    setup += "% equity";
    d.setup = std::move(setup);

    std::string logic;
    logic.reserve(256);
    logic += "Daily ";
    logic += d.trend_label;
    logic += " / ";
    logic += f.strategy;
    logic += ". Trigger ";
    logic += d.momentum_label;
    logic += " on RSI/MACD/stoch or liquidity reclaim. Location ";
    logic += d.volatility_label;
    logic += ", flow ";
    logic += d.flow_label;
    logic += ", pattern ";
    logic += d.pattern_label;
    logic += ". Score ";
    append_score_integer(logic, d.final);
    logic += ".";
    d.logic = std::move(logic);

    std::string risk;
    risk.reserve(192);
    risk +=
        "Invalidation: trail/ATR stop, death cross vs 200-DMA, chaos/entropy, or BEAR_VOLATILE. ";
    if (f.toxic) risk += "VPIN elevated. ";
    if (f.systemic) risk += "Systemic risk. ";
    if (f.incoherent) risk += "Tape incoherent. ";
    risk += "Do not scale before ";
    append_stream_number(risk, cfg.min_rr > 0.0 ? cfg.min_rr : 2.0);
    risk += "R.";
    d.risk = std::move(risk);

    d.reasons.insert(d.reasons.begin(), d.thesis);
}

}  // namespace ostrel
