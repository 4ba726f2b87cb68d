// Momentum committee: RSI against the strategy, oscillator extremes, MACD, bands and coherence.
#include <string>
#include <utility>

#include "committees/committees.hpp"
#include "committees/verdict_text.hpp"

namespace ostrel {

namespace {

bool is_neutral_or_bullish(const std::string& label) {
    return label == "NEUTRAL" || label == "BULLISH";
}

}  // namespace

CommitteeVerdict momentum_committee(const CommitteeInputs& in, const Settings& cfg,
                                    bool with_reasons) {
    CommitteeVerdict v;
    const IndicatorSnapshot& t = in.trigger_snapshot;
    if (!t.valid) {
        v.momentum_score = 0.0;
        v.momentum_label = "NO DATA";
        v.reasons = {"BLOCKED: No Data"};
        return v;
    }
    const bool btd = in.strategy == kStrategyBuyTheDip;
    const bool mr = in.strategy == kStrategyMeanReversion;
    double s = 50.0;
    std::string label = "NEUTRAL";
    ReasonList reasons(v.reasons, with_reasons);
    reasons.reserve(10);
    auto relabel = [&label](const char* word) {
        if (label == "NEUTRAL") label = word;
    };

    const double rsi = t.rsi;
    if (btd) {
        if (cfg.SCORE_RSI_OS <= rsi && rsi <= 45.0) {
            s = 70.0;
            reasons.push_back("Dip in uptrend (timing window)");
            label = "PULLBACK";
        } else if (cfg.SCORE_RSI_BULL < rsi && rsi < cfg.SCORE_RSI_STRONG) {
            s = 60.0;
            reasons.push_back("RSI Bull Trend");
            label = "BULLISH";
        } else if (rsi > cfg.SCORE_RSI_OB && !cfg.trend_mode_ignore_rsi_ob) {
            s = 40.0;
            reasons.push_back("RSI OB");
            label = "OVERBOUGHT";
        }
    } else if (mr) {
        if (rsi < cfg.SCORE_RSI_OS) {
            s = 70.0;
            reasons.push_back("RSI Oversold");
            label = "OVERSOLD";
        } else if (rsi > 60.0) {
            s = 25.0;
            if (reasons.kept()) reasons.push_back("RSI Too High (" + truncated_text(rsi) + ")");
            label = "OVERBOUGHT (BAD)";
        }
    }

    const double k = t.stoch_k;
    if (k < cfg.stoch_oversold) {
        s += 10.0;
        if (reasons.kept()) reasons.push_back("Stoch Oversold (" + truncated_text(k) + ")");
        relabel("OVERSOLD");
    } else if (k > cfg.stoch_overbought && !btd) {
        s -= 10.0;
        reasons.push_back("Stoch Overbought");
    }
    if (k > t.stoch_d && k < 50.0) {
        s += 5.0;
        reasons.push_back("Stoch Bull Cross");
        relabel("TURN");
    }

    const double w = t.williams_r;
    if (w < cfg.willr_oversold) {
        s += 10.0;
        if (reasons.kept()) reasons.push_back("Will%R Oversold (" + truncated_text(w) + ")");
    } else if (w > cfg.willr_overbought && !btd) {
        s -= 5.0;
        reasons.push_back("Will%R Overbought");
    }

    if (rsi < 35.0 && k < cfg.stoch_oversold && w < cfg.willr_oversold) {
        s += 15.0;
        reasons.push_back("**TRIPLE OVERSOLD SYNERGY**");
        label = "HYPER-OVERSOLD";
    }

    const double fast_rsi = in.fast_snapshot.rsi_fast;
    if (mr && fast_rsi < 25.0) {
        s += 10.0;
        reasons.push_back("1m RSI Turbo Oversold");
        if (is_neutral_or_bullish(label)) label = "OVERSOLD";
    } else if (btd && fast_rsi > 0.0 && fast_rsi < 40.0) {
        s += 12.0;
        reasons.push_back("1m dip window");
        if (is_neutral_or_bullish(label)) label = "PULLBACK";
    }

    if (t.sweep_reclaim) {
        s += 12.0;
        reasons.push_back("Liquidity sweep reclaim");
        if (is_neutral_or_bullish(label)) label = "PULLBACK";
    }
    if (t.macd > t.macd_signal) {
        s += 10.0;
        reasons.push_back("MACD Bull");
        relabel("MOMENTUM UP");
    }
    if (t.macd_hist > 0.0 && t.macd_hist > t.macd_hist_prev) {
        s += 8.0;
        reasons.push_back("MACD hist turning up");
        relabel("TURN");
    }
    if (t.bb_upper > t.bb_lower) {
        if (t.pct_b <= 0.05) {
            s += 12.0;
            reasons.push_back("At lower Bollinger");
            if (is_neutral_or_bullish(label)) label = mr ? "OVERSOLD" : "PULLBACK";
        } else if (t.pct_b >= 1.0 && !btd) {
            s -= 10.0;
            reasons.push_back("Above upper Bollinger");
        }
    }

    if (cfg.min_coherence > t.coherence) {
        v.momentum_score = 0.0;
        v.momentum_label = "INCOHERENT";
        v.reasons = {"Low Coherence: " + t.coherence_flags};
        return v;
    }
    v.momentum_score = clamp_score(s);
    v.momentum_label = std::move(label);
    return v;
}

}  // namespace ostrel
