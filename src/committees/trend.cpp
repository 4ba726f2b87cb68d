// Trend committee: the daily tape against Kalman, directional movement, averages and Hurst.
#include <string>
#include <utility>

#include "committees/committees.hpp"
#include "committees/verdict_text.hpp"

namespace ostrel {

CommitteeVerdict trend_committee(const CommitteeInputs& in, const Settings& cfg,
                                 bool with_reasons) {
    CommitteeVerdict v;
    const IndicatorSnapshot& tape =
        in.daily_snapshot.valid ? in.daily_snapshot : in.trigger_snapshot;
    const double price = in.price;
    const double kalman = tape.kalman == 0.0 ? price : tape.kalman;
    const double adx = in.daily_snapshot.adx == 0.0 ? tape.adx : in.daily_snapshot.adx;
    const double hurst = tape.hurst == 0.0 ? in.trigger_snapshot.hurst : tape.hurst;
    const bool btd = in.strategy == kStrategyBuyTheDip;

    double s = 50.0;
    std::string label = "WEAK/CHOP";
    ReasonList reasons(v.reasons, with_reasons);

    if (price > kalman) {
        s = 65.0;
        reasons.push_back("Price > Kalman");
        label = "UPTREND";
    } else if (price > 0.0) {
        if ((kalman - price) / price < 0.001) {
            reasons.push_back("Testing Kalman (Neutral)");
        } else {
            s = 40.0;
            label = "DOWNTREND";
        }
    }
    if (adx > cfg.SCORE_ADX_TREND) {
        s += 10.0;
        reasons.push_back("Strong Trend (ADX)");
        if (label == "UPTREND") label = "STRONG UP";
    }
    if (tape.plus_di > 0.0 && tape.minus_di > 0.0) {
        if (tape.plus_di > tape.minus_di) {
            s += 10.0;
            reasons.push_back("+DI > -DI");
            if (label == "WEAK/CHOP") label = "UPTREND";
        } else {
            s -= 10.0;
            reasons.push_back("-DI > +DI");
            if (label == "UPTREND" || label == "STRONG UP") label = "WEAK TREND";
        }
    }
    if (tape.sma50 > 0.0) {
        if (price > tape.sma50) {
            s += 10.0;
        } else {
            s -= 10.0;
            if (label != "DOWNTREND") reasons.push_back("Below SMA50");
        }
    }
    if (tape.sma200 > 0.0 && tape.sma200 > price && btd) {
        label = "BELOW 200";
        s -= 20.0;
        reasons.push_back("Below SMA200 — no swing longs");
    }
    if (cfg.SCORE_HURST_FILTER > hurst && btd && cfg.enable_hurst_filter) {
        if (hurst < 0.4) {
            s -= 30.0;
            reasons.push_back("Critical Mean Reversion (Hurst) (-30)");
            label = "CHAOS";
        } else {
            s -= 15.0;
            reasons.push_back("Weak Persistence (Hurst) (-15)");
            label = "WEAK TREND";
        }
    }
    v.trend_score = clamp_score(s);
    v.trend_label = std::move(label);
    return v;
}

}  // namespace ostrel
