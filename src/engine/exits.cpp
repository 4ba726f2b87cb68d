// The exit decision and the same-day hold.
#include "engine/exits.hpp"

#include <algorithm>
#include <cmath>

#include "engine/session_time.hpp"

namespace ostrel {

int scale_out_quantity(int qty, double scale_out_frac) {
    if (qty < 3) return 0;
    const double raw = std::floor(static_cast<double>(qty) * scale_out_frac);
    int n = raw >= static_cast<double>(qty) ? qty : static_cast<int>(std::max(raw, 0.0));
    n = std::max(n, 1);
    return std::min(n, qty - 1);
}

ExitDecision decide_exit(const SymbolState& s, double p, double atr, const IndicatorSnapshot& daily,
                         const IndicatorSnapshot& trigger, const Settings& cfg) {
    ExitDecision d;
    d.peak = std::max(s.peak_price, p);
    d.stop = s.stop_price;
    if (s.qty <= 0 || p <= 0.0) return d;

    if (d.peak > s.avg_price && atr > 0.0) {
        const double trail = d.peak - atr * cfg.trail_atr_mult;
        d.stop = std::max(d.stop, trail);
        if (s.scaled_out) d.stop = std::max(d.stop, s.avg_price);
    }

    if (d.stop > 0.0 && p <= d.stop) {
        d.quantity = s.qty;
        d.reason = "trail stop";
        return d;
    }

    const bool extended = daily.bb_upper > 0.0 && p >= daily.bb_upper;
    const bool exhausted = trigger.rsi >= 70.0 || extended || daily.pct_b >= 1.0;
    const bool rolling_over =
        (atr > 0.0 && d.peak > 0.0 && p <= d.peak - atr * cfg.wave_giveback_atr) ||
        (trigger.macd_hist_prev > trigger.macd_hist && p < d.peak);

    if (!s.scaled_out && s.qty >= 3) {
        const double risk = atr * cfg.atr_stop_mult;
        const double r =
            (atr > 0.0 && risk > 0.0 && s.avg_price > 0.0) ? (p - s.avg_price) / risk : 0.0;
        const bool enough = r + 1e-9 >= (cfg.min_rr > 0.0 ? cfg.min_rr : 2.0);
        const bool at_target = s.target_price > 0.0 && p >= s.target_price && enough;
        const bool stretched = extended && trigger.rsi >= 60.0 && enough;
        if (at_target || stretched) {
            d.quantity = scale_out_quantity(s.qty, cfg.scale_out_frac);
            d.scale_out = true;
            d.stop = std::max(s.avg_price, d.stop);
            d.reason =
                at_target ? "scale 1/3 (target, keep runner)" : "scale 1/3 (extended, keep runner)";
            return d;
        }
    }

    if (exhausted && rolling_over) {
        d.quantity = s.qty;
        d.reason = "wave rolling over";
    }
    return d;
}

bool same_day_hold(bool protection_on, std::int64_t entry_ts_ms, std::int64_t now,
                   std::string_view reason) {
    if (!protection_on || !same_local_day(entry_ts_ms, now)) return false;
    if (reason.find("trail stop") != std::string_view::npos) return false;
    return reason.find("stop") == std::string_view::npos ||
           reason.find("scale") != std::string_view::npos;
}

}  // namespace ostrel
