// The strategy choice and the final decision: penalties, weighted score, votes, entry model.
#include "committees/decide.hpp"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "committees/committees.hpp"
#include "committees/trade_card.hpp"

namespace ostrel {

namespace {

enum class Vote { kNone, kBull, kBear };

void penalty_step(double& score, const std::string& name, double& penalty,
                  std::vector<std::string>& reasons) {
    if (score != 0.0) return;
    score = 50.0;
    penalty += 15.0;
    std::string text;
    text.reserve(name.size() + 16);
    text += "PENALTY: ";
    text += name;
    text += " (-15)";
    reasons.push_back(std::move(text));
}

Vote raw_vote(double score, const Settings& cfg) {
    if (score >= cfg.committee_bull_score) return Vote::kBull;
    if (score <= cfg.committee_bear_score) return Vote::kBear;
    return Vote::kNone;
}

FinalDecision no_tape_decision() {
    FinalDecision d;
    d.final = 0.0;
    d.action = DecisionAction::pass;
    d.size_mult = 0.0;
    d.thesis = "PASS  CLOSED  (no tape)";
    d.setup = "No entry. Waiting for a populated Daily + 1H tape.";
    d.logic = "Committees need at least 20 bars before permission or trigger can fire.";
    d.risk = "Do not size a blank chart.";
    d.window = EntryWindow::closed;
    d.reasons = {d.thesis, "BLOCKED: No Data"};
    d.momentum_label = "NO DATA";
    return d;
}

bool is_one_of(const std::string& s, std::initializer_list<const char*> words) {
    for (const char* w : words) {
        if (s == w) return true;
    }
    return false;
}

void set_entry(FinalDecision& d, DecisionAction action, double size, EntryWindow window) {
    d.action = action;
    d.size_mult = size;
    d.window = window;
}

void quorum_model(FinalDecision& d, const Settings& cfg) {
    const int half_size_agree = std::max(cfg.min_committee_agree - 1, 2);
    const bool few_conflicts = d.bears <= cfg.max_signal_conflicts;
    if (d.final >= cfg.min_score && d.bulls >= cfg.min_committee_agree && few_conflicts) {
        set_entry(d, DecisionAction::buy, 1.0, EntryWindow::fire);
    } else if (d.final >= cfg.min_score && d.bulls >= half_size_agree && few_conflicts) {
        set_entry(d, DecisionAction::safe, 0.5, EntryWindow::fire);
    } else if (d.bulls >= 2 && few_conflicts && d.final >= 0.8 * cfg.min_score) {
        set_entry(d, DecisionAction::wait, 0.0, EntryWindow::armed);
    } else {
        set_entry(d, DecisionAction::pass, 0.0, EntryWindow::closed);
    }
    d.trigger = false;
    d.permission = false;
}

void score_only_model(FinalDecision& d, const Settings& cfg) {
    const bool go = d.final >= cfg.min_score;
    if (go) {
        set_entry(d, DecisionAction::buy, 1.0, EntryWindow::fire);
    } else {
        set_entry(d, DecisionAction::pass, 0.0, EntryWindow::closed);
    }
    d.trigger = go;
    d.permission = go;
}

/// Daily permission, intraday trigger. The final score does not gate this model.
void permission_trigger_model(FinalDecision& d, const CommitteeInputs& in, const Settings& cfg,
                              bool toxic, bool systemic, bool incoherent) {
    const IndicatorSnapshot& daily = in.daily_snapshot;
    const bool pattern_trigger =
        d.pattern_label != "NONE" && !d.pattern_label.empty() && d.pattern_score >= 60.0;
    const bool momentum_trigger =
        d.momentum_score >= 55.0 &&
        is_one_of(d.momentum_label,
                  {"OVERSOLD", "HYPER-OVERSOLD", "PULLBACK", "BULLISH", "MOMENTUM UP", "TURN"});
    d.trigger = momentum_trigger || pattern_trigger;

    const double hurst = daily.hurst != 0.0 ? daily.hurst : in.trigger_snapshot.hurst;
    const bool persistent_downtrend =
        d.trend_label == "DOWNTREND" && daily.adx > cfg.SCORE_ADX_TREND && hurst >= 0.5;
    const bool mean_reversion = in.strategy == kStrategyMeanReversion;

    bool closed = false;
    if (systemic || incoherent) {
        closed = true;
    } else if (is_one_of(d.volatility_label, {"CHAOS", "AT SUPPLY", "AT UPPER BAND"})) {
        closed = true;
    } else if (d.trend_label == "BELOW 200") {
        closed = true;
    } else if (!mean_reversion && daily.sma50 > 0.0 && daily.sma200 > 0.0 &&
               daily.sma200 > daily.sma50) {
        d.trend_label = "BELOW 200";
        closed = true;
    } else if (mean_reversion && persistent_downtrend) {
        closed = true;
    } else if (!mean_reversion && (d.trend_label == "CHAOS" || d.trend_label == "DOWNTREND")) {
        closed = true;
    }
    if (closed) {
        d.permission = false;
        set_entry(d, DecisionAction::pass, 0.0, EntryWindow::closed);
        return;
    }
    d.permission = true;
    if (!d.trigger) {
        set_entry(d, DecisionAction::wait, 0.0, EntryWindow::armed);
        return;
    }
    const bool confirmed =
        is_one_of(d.flow_label, {"VOL SURGE", "ABSORPTION"}) || d.flow_score >= 60.0 ||
        is_one_of(d.volatility_label, {"AT DEMAND", "COILING", "EXPLOSION", "AT LOWER BAND"}) ||
        pattern_trigger;
    if (confirmed && !toxic) {
        set_entry(d, DecisionAction::buy, 1.0, EntryWindow::fire);
    } else {
        set_entry(d, DecisionAction::safe, 0.5, EntryWindow::fire);
    }
}

}  // namespace

std::string_view choose_strategy(const IndicatorSnapshot& daily, double price,
                                 const Settings& cfg) {
    if (daily.adx >= cfg.SCORE_ADX_TREND && daily.plus_di > daily.minus_di &&
        (daily.sma50 <= 0.0 || price > daily.sma50)) {
        return kStrategyBuyTheDip;
    }
    return kStrategyMeanReversion;
}

FinalDecision decide(const CommitteeInputs& in, const Settings& cfg) {
    CommitteeVerdicts v;
    // The combination reads only scores and labels (and the momentum reasons of an incoherent
    // tape, which that verdict always carries), so the committees skip their reason texts.
    v.momentum = momentum_committee(in, cfg, false);
    if (v.momentum.momentum_label == "NO DATA") return no_tape_decision();
    v.trend = trend_committee(in, cfg, false);
    v.volatility = volatility_committee(in, cfg, false);
    v.flow = flow_committee(in, cfg, false);
    v.pattern = pattern_committee(in, false);
    v.macro = macro_committee(in, cfg, false);
    return combine_verdicts(v, in, cfg);
}

FinalDecision combine_verdicts(const CommitteeVerdicts& v, const CommitteeInputs& in,
                               const Settings& cfg) {
    if (v.momentum.momentum_label == "NO DATA") return no_tape_decision();
    const CommitteeVerdict& momentum = v.momentum;
    const CommitteeVerdict& trend = v.trend;
    const CommitteeVerdict& vol = v.volatility;
    const CommitteeVerdict& flow = v.flow;
    const CommitteeVerdict& pattern = v.pattern;
    const CommitteeVerdict& macro = v.macro;

    FinalDecision d;
    d.reasons.reserve(12);  // penalties, six votes, synergy and the thesis
    const bool toxic = flow.flow_label == "TOXIC";
    const bool systemic = macro.macro_label == "SYSTEMIC RISK";
    const bool incoherent = momentum.momentum_label == "INCOHERENT";

    double penalty = 0.0;
    double m = momentum.momentum_score;
    double t = trend.trend_score;
    double f = flow.flow_score;
    double x = macro.macro_score;
    if (incoherent) {
        m = 50.0;
        penalty = 15.0;
        for (const std::string& r : momentum.reasons)
            d.reasons.push_back(r);
        d.reasons.push_back("PENALTY: INCOHERENT (-15)");
    } else {
        penalty_step(m, momentum.momentum_label, penalty, d.reasons);
    }
    if (toxic) penalty_step(f, "Toxic Flow", penalty, d.reasons);
    if (systemic) penalty_step(x, "Systemic Risk", penalty, d.reasons);
    if (t == 0.0) penalty_step(t, "Trend Collapse", penalty, d.reasons);

    d.momentum_score = m;
    d.trend_score = t;
    d.volatility_score = vol.volatility_score;
    d.flow_score = f;
    d.pattern_score = pattern.pattern_score;
    d.macro_score = x;
    d.momentum_label = momentum.momentum_label;
    d.trend_label = trend.trend_label;
    d.volatility_label = vol.volatility_label;
    d.flow_label = flow.flow_label;
    d.pattern_label = pattern.pattern_label;
    d.macro_label = macro.macro_label;

    const double weights = cfg.weight_momentum + cfg.weight_trend + cfg.weight_volatility +
                           cfg.weight_volume_flow + cfg.weight_pattern + cfg.weight_macro;
    const double avg =
        (cfg.weight_momentum * d.momentum_score + cfg.weight_trend * d.trend_score +
         cfg.weight_volatility * d.volatility_score + cfg.weight_volume_flow * d.flow_score +
         cfg.weight_pattern * d.pattern_score + cfg.weight_macro * d.macro_score) /
        weights;
    const double synergy =
        d.momentum_score > 65.0 && d.trend_score > 60.0 && d.pattern_score > 50.0 ? 1.25 : 1.0;
    double final = synergy * avg - penalty;
    if (std::isnan(final)) final = 0.0;
    d.final = final < 0.0 ? 0.0 : (final > 100.0 ? 100.0 : final);

    struct Seat {
        const char* name;
        double score;
        const std::string& label;
    };
    const Seat seats[] = {
        {"Mom", d.momentum_score, d.momentum_label},     {"Trend", d.trend_score, d.trend_label},
        {"Vol", d.volatility_score, d.volatility_label}, {"Flow", d.flow_score, d.flow_label},
        {"Pat", d.pattern_score, d.pattern_label},       {"Macro", d.macro_score, d.macro_label}};
    for (int i = 0; i < 6; ++i) {
        const Seat& seat = seats[i];
        Vote vote = Vote::kNone;
        if (i == 4) {
            // The pattern committee only ever votes for a trade, and abstains without a pattern.
            if (seat.label != "NONE" && !seat.label.empty() &&
                seat.score >= cfg.committee_bull_score) {
                vote = Vote::kBull;
            }
        } else {
            vote = raw_vote(seat.score, cfg);
        }
        if (cfg.enable_strategy_isolation && vote == Vote::kBear) {
            if (i == 1 && in.strategy == kStrategyMeanReversion) vote = Vote::kNone;
            if (i == 0 && in.strategy == kStrategyBuyTheDip && cfg.trend_mode_ignore_rsi_ob &&
                seat.label.find("OVERBOUGHT") != std::string::npos) {
                vote = Vote::kNone;
            }
        }
        if (vote == Vote::kBull || vote == Vote::kBear) {
            const bool bull = vote == Vote::kBull;
            ++(bull ? d.bulls : d.bears);
            // Reserved to the exact length, so a short vote stays in the string's own buffer.
            std::string text;
            text.reserve(std::char_traits<char>::length(seat.name) + (bull ? 1 : 11) +
                         seat.label.size());
            text += seat.name;
            text += bull ? " " : " against (";
            text += seat.label;
            if (!bull) text += ")";
            d.reasons.push_back(std::move(text));
        } else {
            ++d.neutrals;
        }
    }
    if (synergy > 1.0) d.reasons.push_back("HIGH CONVICTION SYNERGY (x1.25)");

    if (cfg.entry_model == "quorum" || cfg.require_committee_quorum) {
        quorum_model(d, cfg);
    } else if (cfg.entry_model == "score_only") {
        score_only_model(d, cfg);
    } else {
        permission_trigger_model(d, in, cfg, toxic, systemic, incoherent);
    }

    CardFacts facts;
    facts.price = in.price;
    facts.atr = in.daily_snapshot.atr > 0.0 ? in.daily_snapshot.atr : in.trigger_snapshot.atr;
    facts.strategy = in.strategy;
    facts.toxic = toxic;
    facts.systemic = systemic;
    facts.incoherent = incoherent;
    write_trade_card(d, facts, cfg);
    return d;
}

}  // namespace ostrel
