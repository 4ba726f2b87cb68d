// The Scout's liquidity filter, ranking and candidate score.
#include "scout/screen.hpp"

#include <algorithm>
#include <cmath>

#include "scout/universe.hpp"

namespace ostrel {

double scout_price(const Quote& q) {
    if (q.last > 0.0) return q.last;
    if (q.bid > 0.0 && q.ask > 0.0) return (q.bid + q.ask) / 2.0;
    if (q.bid > 0.0) return q.bid;
    return q.ask;
}

std::optional<LiquidName> liquid_name(const Quote& quote, const Settings& settings) {
    if (is_toxic(quote.symbol)) return std::nullopt;
    const double price = scout_price(quote);
    // Written so a NaN price or volume fails every test.
    if (!(price >= settings.scout_min_price && price <= settings.scout_max_price)) {
        return std::nullopt;
    }
    const double dollar_volume = price * std::max(quote.average_volume, quote.volume);
    if (!(dollar_volume >= settings.scout_min_dollar_vol)) return std::nullopt;
    return LiquidName{quote.symbol, price, dollar_volume};
}

std::vector<LiquidName> rank_by_dollar_volume(std::vector<LiquidName> names, std::size_t keep) {
    std::stable_sort(names.begin(), names.end(), [](const LiquidName& a, const LiquidName& b) {
        return a.dollar_volume > b.dollar_volume;
    });
    if (names.size() > keep) names.resize(keep);
    return names;
}

double twenty_bar_return(const BarSeries& bars) {
    const std::size_t n = bars.size();
    if (n < 21) return 0.0;
    const double base = bars[n - 21].close;
    if (!(base > 0.0)) return 0.0;
    return bars[n - 1].close / base - 1.0;
}

ScoutCandidate score_candidate(const ScoreInputs& in, const Settings& settings) {
    ScoutCandidate c;
    c.symbol = in.symbol;
    c.price = in.price;
    c.dollar_volume = in.dollar_volume;
    c.rs_vs_spy = in.own_return - in.spy_return;
    c.atr_pct = (in.atr > 0.0 && in.price > 0.0) ? in.atr / in.price * 100.0 : 0.0;

    const auto reject = [&c](const char* why) {
        c.verdict = why;
        return c;
    };
    if (is_toxic(in.symbol)) return reject("toxic / leveraged / crypto / bond");
    if (in.price < settings.scout_min_price || in.price > settings.scout_max_price) {
        return reject("price outside swing band");
    }
    if (in.dollar_volume < settings.scout_min_dollar_vol) return reject("not enough dollar volume");
    if (in.sma200 > 0.0 && in.price < in.sma200) {
        return reject("below 200-day — no swing permission");
    }
    if (in.rsi >= 80.0) return reject("daily RSI blown off");
    if (c.atr_pct > 0.0 && c.atr_pct < settings.scout_min_atr_pct) {
        return reject("too quiet to swing");
    }
    if (c.atr_pct > settings.scout_max_atr_pct) return reject("too violent");

    double f = 40.0;
    std::vector<const char*> passed;
    if (in.sma200 > 0.0 && in.price > in.sma200) {
        f = 60.0;
        passed.push_back("above 200DMA");
    }
    if (in.sma50 > 0.0 && in.price > in.sma50) {
        f += 12.0;
        passed.push_back("above 50DMA");
    }
    if (in.adx >= settings.SCORE_ADX_TREND && in.plus_di > in.minus_di) {
        f += 15.0;
        passed.push_back("ADX uptrend");
    }
    if (c.rs_vs_spy > 0.0) {
        f += 12.0;
        passed.push_back("beating SPY");
        if (c.rs_vs_spy > 0.03) f += 5.0;
    }
    if (in.rsi >= 40.0 && in.rsi <= 62.0) {
        f += 10.0;
        passed.push_back("RSI has room");
    } else if (in.rsi > 70.0) {
        f -= 12.0;
        passed.push_back("extended");
    }
    if (c.atr_pct >= 2.0 && c.atr_pct <= 5.0) {
        f += 8.0;
        passed.push_back("ATR in swing range");
    }
    if (in.dollar_volume > 0.0) {
        const double floor = std::max(settings.scout_min_dollar_vol, 1.0);
        f += std::min(5.0 * std::log10(in.dollar_volume / floor), 10.0);
    }
    c.score = std::isnan(f) ? 0.0 : std::clamp(f, 0.0, 100.0);
    c.pass = c.score >= 55.0;
    if (passed.empty()) {
        c.verdict = "liquid uptrend candidate";
    } else {
        for (std::size_t i = 0; i < passed.size(); ++i) {
            if (i > 0) c.verdict += ", ";
            c.verdict += passed[i];
        }
    }
    return c;
}

void order_candidates(std::vector<ScoutCandidate>& candidates) {
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const ScoutCandidate& a, const ScoutCandidate& b) {
                         if (a.pass != b.pass) return a.pass;
                         return a.score > b.score;
                     });
}

}  // namespace ostrel
